#include "net/SocketWindow.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include "net/Psock.h"
#include "net/ThreadTimer.h"
#include "net/Winsock.h"

namespace net {

TWindowMessage::TWindowMessage(uint32_t AMsg, uintptr_t AWParam, intptr_t ALParam, uint64_t ATicket)
    : QEvent(EventType()), Msg(AMsg), WParam(AWParam), LParam(ALParam), Ticket(ATicket) {}

QEvent::Type TWindowMessage::EventType() {
    // One event type for every window message, registered once per process.
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostWindowMessage(QObject* Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam,
                       uint64_t Ticket) {
    if (Window == nullptr)
        return;
    QCoreApplication::postEvent(Window, new TWindowMessage(Msg, WParam, LParam, Ticket));
}

bool TSocketWindow::event(QEvent* Event) {
    if (Event->type() != TWindowMessage::EventType())
        return QObject::event(Event);
    auto* message = static_cast<TWindowMessage*>(Event);
    // A message of a socket closed meanwhile, or of a cancelled lookup, would
    // act on whatever the session holds now: drop it.
    if (!WSAMessageIsCurrent(*message))
        return true;
    FCurrent = Event;
    SocketWindowProc(*this, message->Msg, message->WParam, message->LParam);
    FCurrent = nullptr;
    return true;
}

intptr_t TSocketWindow::DefWindowProc(uint32_t, uintptr_t, intptr_t) {
    if (FCurrent)
        QObject::event(FCurrent);
    return 0;
}

intptr_t SocketWindowProc(TSocketWindow& Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
    TPowersock* owner = Window.Owner;
    if (owner != nullptr && Msg >= WM_SOCKETEVENT) {
        TMessage message{Msg, WParam, LParam, 0};
        owner->HandleSocketMessage(message);
        return 0;
    }
    return Window.DefWindowProc(Msg, WParam, LParam);
}

bool TTimerWindow::event(QEvent* Event) {
    if (Event->type() == QEvent::Timer) {
        auto* tick = static_cast<QTimerEvent*>(Event);
        if (tick->timerId() != FTimerId || FTimerId == 0)
            return QObject::event(Event);
        FCurrent = Event;
        TimerWindowProc(*this, WM_TIMER, 1, 0);
        FCurrent = nullptr;
        return true;
    }
    if (Event->type() == TWindowMessage::EventType()) {
        auto* message = static_cast<TWindowMessage*>(Event);
        FCurrent = Event;
        TimerWindowProc(*this, message->Msg, message->WParam, message->LParam);
        FCurrent = nullptr;
        return true;
    }
    return QObject::event(Event);
}

intptr_t TTimerWindow::DefWindowProc(uint32_t, uintptr_t, intptr_t) {
    if (FCurrent)
        QObject::event(FCurrent);
    return 0;
}

bool TTimerWindow::SetTimer(uint32_t Interval) {
    KillTimer();
    if (Interval > static_cast<uint32_t>(INT32_MAX))
        return false;
    FTimerId = startTimer(static_cast<int>(Interval), Qt::PreciseTimer);
    return FTimerId != 0;
}

void TTimerWindow::KillTimer() {
    if (FTimerId != 0)
        killTimer(FTimerId);
    FTimerId = 0;
}

intptr_t TimerWindowProc(TTimerWindow& Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
    TThreadTimer* owner = Window.Owner;
    if (owner == nullptr)
        return Window.DefWindowProc(Msg, WParam, LParam);
    if (Msg == WM_ACTIVATEAPP)
        return 0;
    TMessage message{Msg, WParam, LParam, 0};
    return owner->HandleTimerMessage(message);
}

std::unique_ptr<TSocketWindow> CreateSocketWindow(TPowersock* Owner) {
    auto window = std::make_unique<TSocketWindow>();
    window->setObjectName(QStringLiteral("PsockWindowClass"));
    window->Owner = Owner;
    return window;
}

std::unique_ptr<TTimerWindow> CreateTimerWindow(TThreadTimer* Owner) {
    auto window = std::make_unique<TTimerWindow>();
    window->setObjectName(QStringLiteral("TmrWindowClass"));
    window->Owner = Owner;
    return window;
}

}  // namespace net
