#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace app {

// The watch timer. Setting Enabled or Interval to the value it already has does
// nothing; changing the interval of a running timer restarts it, and enabling it
// starts a fresh interval, so the first tick comes one whole interval later.
class TTimer {
public:
    TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    // Milliseconds between ticks; 0 stops the ticks while Enabled stays as set.
    int Interval() const { return FInterval; }
    void SetInterval(int milliseconds);

    // Raised on every tick; exceptions go to the application's error report.
    std::function<void()> OnTimer;

private:
    void Restart();

    QTimer FTimer;
    bool FEnabled = true;
    int FInterval = 1000;
};

}  // namespace app
