#include "app/Unit1.h"

namespace app {

// The in-place site and target editors (Button1Click ... Button10Click,
// ComboBox1Click), the selection copies (ListBox1Click, ListBox2Click) and the
// select-all / clear-all commands (A1Click, mnuTrayCleanClick).
void TForm1::ConnectEditorHandlers() {}

}  // namespace app
