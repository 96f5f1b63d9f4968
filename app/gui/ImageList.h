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

// 16 x 16 pictures, painted once (also at 1.5, 2 and 3 times the pixels, for
// scaled screens) and kept for the run.
QIcon MenuIcon(MenuImage image);

// The banner picture of the main window, 423 x 76 layout pixels, drawn for a
// screen with the given device pixel ratio.
inline constexpr int BannerWidth = 423;
inline constexpr int BannerHeight = 76;
QPixmap BannerPicture(qreal devicePixelRatio);

// The window icon, the bird at the sizes title bars and task bars ask for.
QIcon WindowIcon();

}  // namespace app
