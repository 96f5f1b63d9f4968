#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "app/watch/WatchState.h"

namespace Ui {
class TForm2;
}

namespace app {

class TUpDown;
enum class TUDBtnType;

// The interval dialog: the seconds between two watch cycles, chosen with an
// up-down control from 3 to 60. OK stores the value in WatchState and hands the
// new timer interval (in milliseconds) to SetTimerInterval; cancel and the
// close button change nothing.
class TForm2 : public QDialog {
    Q_OBJECT

public:
    using TimerIntervalSetter = std::function<void(int milliseconds)>;

    TForm2(QWidget* owner, WatchState& state, TimerIntervalSetter setTimerInterval);
    ~TForm2() override;

    // The range the dialog offers.
    static constexpr int MinSeconds = 3;
    static constexpr int MaxSeconds = 60;

    void FormCreate(QObject* sender);
    void UpDown1Click(QObject* sender, TUDBtnType button);
    void setyesClick(QObject* sender);
    void setnoClick(QObject* sender);

private:
    void PlaceIntervalControls();

    std::unique_ptr<Ui::TForm2> FUi;
    WatchState& FState;
    TimerIntervalSetter FSetTimerInterval;
};

}  // namespace app
