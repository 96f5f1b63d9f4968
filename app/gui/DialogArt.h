#pragma once

#include <QPixmap>

class QWidget;

namespace app {

// The watcher's dialogs use a 12-pixel Song face; machines without it fall back
// to a proportional CJK face, whose Latin text is narrower still, so the layouts
// measured for Song fit.
void ApplyFormFont(QWidget& form);

// The pictures of the small dialogs, drawn here so no image file is needed.
QPixmap DrawClockPicture();    // 32 x 32, the interval dialog's icon
QPixmap DrawProgramPicture();  // 32 x 32, the program icon in the About box

}  // namespace app
