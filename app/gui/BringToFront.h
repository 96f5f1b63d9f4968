#pragma once

class QWidget;

namespace app {

// Shows a window the user asked for: restored when minimised, raised and
// activated. A modal box open over it (an alert, a dialog) comes to the front
// too, as that is what waits for the user's answer. Without a window (it is
// still being built) only the box is raised.
void BringToFront(QWidget* window);

}  // namespace app
