#pragma once

// The generated controls of the main window. Files outside the window's own
// library (tests) include this rather than ui_Unit1.h, whose form file the code
// generator would otherwise look for beside them.
#include "ui_Unit1.h"
