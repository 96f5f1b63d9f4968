#include "net/ThreadTimer.h"

#include "rtl/ErrorReport.h"
#include "rtl/Exceptions.h"

namespace net {

TThreadTimer::TThreadTimer() : FWindowHandle(CreateTimerWindow(this)) {}

TThreadTimer::~TThreadTimer() {
    FEnabled = false;
    if (FWindowHandle)
        FWindowHandle->KillTimer();
}

void TThreadTimer::SetEnabled(bool Value) {
    if (Value == FEnabled)
        return;
    FEnabled = Value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(uint32_t Value) {
    if (Value == FInterval)
        return;
    FInterval = Value;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent Value) {
    FOnTimer = std::move(Value);
    UpdateTimer();
}

bool TThreadTimer::Running() const {
    return FWindowHandle && FWindowHandle->HasTimer();
}

void TThreadTimer::UpdateTimer() {
    if (!FWindowHandle)
        return;
    FWindowHandle->KillTimer();
    if (FInterval != 0 && FEnabled && FOnTimer) {
        if (!FWindowHandle->SetTimer(FInterval))
            throw rtl::Exception("No Timer");
    }
}

void TThreadTimer::Timer() {
    if (FOnTimer) {
        // A copy: the handler may assign OnTimer and so destroy the one running.
        TNotifyEvent handler = FOnTimer;
        handler(*this);
    }
}

intptr_t TThreadTimer::HandleTimerMessage(TMessage& Message) {
    if (Message.Msg == WM_TIMER) {
        // The timer keeps ticking whatever a handler throws.
        rtl::SafeCall([this] { Timer(); });
        Message.Result = 0;
        return 0;
    }
    return FWindowHandle ? FWindowHandle->DefWindowProc(Message.Msg, Message.WParam, Message.LParam)
                         : 0;
}

}  // namespace net
