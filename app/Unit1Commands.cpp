#include "app/Unit1.h"

namespace app {

// The interval dialog and About box commands, the help, mail and home-page
// commands, the banner click and the hover hints (the *MouseMove handlers).
void TForm1::ConnectCommandHandlers() {}

}  // namespace app
