#pragma once

class QString;
class QWidget;

namespace app {

// How wide a top-level window must be for its title bar to show `caption`
// whole: the caption measured in the desktop's title font and in the window's
// own (whichever is wider), bold as window managers draw an active title,
// plus room for the title bar's icon and buttons. Never more than the
// available width of the window's screen, which is all a title bar can have.
int CaptionWidth(const QString& caption, const QWidget& window);

}  // namespace app
