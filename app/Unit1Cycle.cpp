#include "app/Unit1.h"

namespace app {

// The watch cycle: Timer1Timer and its wiring to Timer1.
void TForm1::ConnectCycleHandlers() {}

}  // namespace app
