#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

// The menu images, numbered as the menus use them.
enum class MenuImage {
    StartImmediately = 1,
    StartMonitoring = 2,
    PauseMonitoring = 3,
    SoundOn = 4,
    SoundOff = 5,
    ClearAll = 6,
    SelectAll = 7,
};

// 16 x 16 pictures, painted once and kept for the run.
QIcon MenuIcon(MenuImage image);

// The banner picture of the main window, 423 x 76.
QPixmap BannerPicture();

// The window icon.
QIcon WindowIcon();

}  // namespace app
