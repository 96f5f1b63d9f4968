#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/WatchState.h"

namespace app {

// A target counts as present when it is watched (any non-zero flag), has a
// name, and that name occurs in the stripped page text as an exact,
// case-sensitive byte substring.
bool TargetPresent(const TargetSlot& target, std::string_view pageText);

// The indices of all present targets, in index order.
std::vector<int> PresentTargets(const WatchState& state, std::string_view pageText);

}  // namespace app
