#pragma once

#include <QIcon>

#include "app/watch/SiteHealth.h"

namespace app {

// The state mark of a site row: a grey ring (not checked yet), a green dot
// (the last check was good), an orange dot (it failed) and a red dot with a
// white bar (BrokenStreak failures or more in a row). Painted once per size
// and kept for the run; sharp on a display that doubles its pixels too.
QIcon HealthMark(HealthState state);

}  // namespace app
