#pragma once

// The generated controls of the window 站点状态. Files outside the window's
// own library (tests) include this rather than ui_SiteStatus.h, whose form
// file the code generator would otherwise look for beside them.
#include "ui_SiteStatus.h"
