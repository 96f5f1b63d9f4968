#pragma once

// The hidden event windows: a socket session's and a timer's. A window is a
// QObject whose event() is its window procedure; window messages are custom
// events carrying the message number and the two parameters.

#include <QEvent>
#include <QObject>

#include <cstdint>
#include <memory>

namespace net {

class TPowersock;
class TThreadTimer;

inline constexpr uint32_t WM_ACTIVATEAPP = 0x001C;
inline constexpr uint32_t WM_TIMER = 0x0113;
inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t WM_SOCKETEVENT = WM_USER + 101;
inline constexpr uint32_t WM_HOSTLOOKUP = WM_USER + 102;

// The message record a window procedure hands on.
struct TMessage {
    uint32_t Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

// A posted window message. Ticket identifies the socket registration or lookup
// that posted it (0 for none), so messages of a closed socket can be dropped.
class TWindowMessage : public QEvent {
public:
    TWindowMessage(uint32_t Msg, uintptr_t WParam, intptr_t LParam, uint64_t Ticket = 0);
    static QEvent::Type EventType();
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
    uint64_t Ticket;
};

// Posts a message to a window's queue; it is handled when the GUI thread next
// processes its events.
void PostWindowMessage(QObject* Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam,
                       uint64_t Ticket = 0);

class TSocketWindow : public QObject {
public:
    // Per-window storage: the session the window serves (null until stored).
    TPowersock* Owner = nullptr;
    bool event(QEvent* Event) override;
    intptr_t DefWindowProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam);

private:
    QEvent* FCurrent = nullptr;
};

class TTimerWindow : public QObject {
public:
    TThreadTimer* Owner = nullptr;
    bool event(QEvent* Event) override;
    intptr_t DefWindowProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam);

    // The window's one system timer (identifier 1). SetTimer replaces a running
    // one; both return false when the system refuses.
    bool SetTimer(uint32_t Interval);
    void KillTimer();
    bool HasTimer() const { return FTimerId != 0; }

private:
    int FTimerId = 0;
    QEvent* FCurrent = nullptr;
};

intptr_t SocketWindowProc(TSocketWindow& Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam);
intptr_t TimerWindowProc(TTimerWindow& Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam);

// Null on failure (no exception), as nothing later depends on the window.
std::unique_ptr<TSocketWindow> CreateSocketWindow(TPowersock* Owner);
std::unique_ptr<TTimerWindow> CreateTimerWindow(TThreadTimer* Owner);

}  // namespace net
