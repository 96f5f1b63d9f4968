#include "app/TargetMatch.h"

namespace app {

bool TargetPresent(const TargetSlot& target, std::string_view pageText) {
    return target.Selected != 0 && !target.Name.empty() &&
           pageText.find(target.Name) != std::string_view::npos;
}

std::vector<int> PresentTargets(const WatchState& state, std::string_view pageText) {
    std::vector<int> found;
    for (int i = 0; i <= MaxTargetIndex; ++i)
        if (TargetPresent(state.Targets[i], pageText))
            found.push_back(i);
    return found;
}

}  // namespace app
