#include "app/Unit1.h"

namespace app {

// The link submenu built from Message.ini (mnuTray4Click, Myclick) and the
// prompt-file editor command (mnuTrayEditClick).
void TForm1::ConnectLinkHandlers() {}

}  // namespace app
