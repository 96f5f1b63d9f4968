#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/page/TargetMatch.h"
#include "app/watch/WatchState.h"

namespace app {

// The names the watch cycle looks for, one per target slot in slot order: the
// slot's name when it is watched (any non-zero flag), else an empty name,
// which matches nothing. The views point into state.
std::vector<std::string_view> WatchedNames(const WatchState& state);

// A target counts as present when it is watched (any non-zero flag), has a
// name, and that name occurs on a character boundary, case-sensitively, in the
// stripped page text or in its copy with character references decoded
// (decoded may be null when the page holds no references).
bool TargetPresent(const TargetSlot& target, TSearchText& pageText, TSearchText* decoded = nullptr);
bool TargetPresent(const TargetSlot& target, std::string_view pageText);

// The indices of all present targets, in index order.
std::vector<int> PresentTargets(const WatchState& state, std::string_view pageText,
                                const std::string* decodedText = nullptr);

}  // namespace app
