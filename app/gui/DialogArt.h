#pragma once

#include <QPixmap>

class QWidget;

namespace app {

// The watcher's dialogs use a 12-pixel Song face; machines without it fall back
// to a proportional CJK face, whose Latin text is narrower still, so the layouts
// measured for Song fit.
void ApplyFormFont(QWidget& form);

// The pictures of the small dialogs and message boxes, drawn here so no image
// file is needed. Each is 32 x 32 in layout pixels and is drawn for the given
// device pixel ratio, so it stays sharp on a scaled screen (QT_SCALE_FACTOR=2)
// instead of being blown up from a small bitmap.
QPixmap DrawClockPicture(qreal devicePixelRatio);    // the interval dialog's icon
QPixmap DrawProgramPicture(qreal devicePixelRatio);  // the program's bird, for the About box

enum class MessageIcon { Information, Question, Critical };
QPixmap DrawMessageIcon(MessageIcon kind, qreal devicePixelRatio);

}  // namespace app
