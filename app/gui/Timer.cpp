#include "app/gui/Timer.h"

#include "rtl/ErrorReport.h"

namespace app {

TTimer::TTimer() {
    FTimer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
        rtl::SafeCall([this] {
            if (OnTimer)
                OnTimer();
        });
    });
    Restart();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == FEnabled)
        return;
    FEnabled = enabled;
    Restart();
}

void TTimer::SetInterval(int milliseconds) {
    if (milliseconds < 0)
        milliseconds = 0;
    if (milliseconds == FInterval)
        return;
    FInterval = milliseconds;
    Restart();
}

void TTimer::Restart() {
    FTimer.stop();
    if (FEnabled && FInterval > 0)
        FTimer.start(FInterval);
}

}  // namespace app
