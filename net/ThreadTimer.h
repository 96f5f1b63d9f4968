#pragma once

// A window-message timer: its ticks arrive through the owning thread's event
// queue (it starts no thread), so OnTimer runs only while that thread processes
// events, re-entrantly inside a waiting operation.

#include <cstdint>
#include <functional>
#include <memory>

#include "net/SocketWindow.h"

namespace net {

class TThreadTimer {
public:
    using TNotifyEvent = std::function<void(TThreadTimer& Sender)>;

    TThreadTimer();
    virtual ~TThreadTimer();
    TThreadTimer(const TThreadTimer&) = delete;
    TThreadTimer& operator=(const TThreadTimer&) = delete;

    bool Enabled() const { return FEnabled; }
    uint32_t Interval() const { return FInterval; }
    const TNotifyEvent& OnTimer() const { return FOnTimer; }

    // Enabled and Interval act only on a change: assigning the current value
    // neither restarts the countdown nor re-checks the timer. Assigning OnTimer
    // always re-evaluates. Each raises rtl::Exception "No Timer" when the system
    // timer cannot be set.
    void SetEnabled(bool Value);
    void SetInterval(uint32_t Value);
    void SetOnTimer(TNotifyEvent Value);

    // Whether a system timer is running now (enabled, interval and handler set).
    bool Running() const;

    // Fires OnTimer; overridable.
    virtual void Timer();
    intptr_t HandleTimerMessage(TMessage& Message);

private:
    void UpdateTimer();

    bool FEnabled = true;
    uint32_t FInterval = 1000;
    TNotifyEvent FOnTimer;
    std::unique_ptr<TTimerWindow> FWindowHandle;
};

}  // namespace net
