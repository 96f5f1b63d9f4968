#pragma once

#include "app/gui/StartupNotice.h"

class QWidget;

namespace app {

// Shows a window the user asked for: restored when minimised, raised and
// activated. A modal box open over it (an alert, a dialog) comes to the front
// too, as that is what waits for the user's answer, and it takes the keyboard
// even if it was shown without. Without a window (it is still being built)
// only the box is raised. When a later start asked, `token` is what its
// launcher gave it: the activation uses it, and the launcher's start-up
// feedback ends.
void BringToFront(QWidget* window, const StartupToken& token = {});

}  // namespace app
