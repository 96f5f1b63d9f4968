#include "app/watch/TargetPresence.h"

namespace app {

std::vector<std::string_view> WatchedNames(const WatchState& state) {
    std::vector<std::string_view> names(state.Targets.size());
    for (size_t i = 0; i < names.size(); ++i)
        if (state.Targets[i].Selected != 0)
            names[i] = state.Targets[i].Name;
    return names;
}

bool TargetPresent(const TargetSlot& target, TSearchText& pageText, TSearchText* decoded) {
    if (target.Selected == 0 || target.Name.empty())
        return false;
    return pageText.Contains(target.Name) || (decoded != nullptr && decoded->Contains(target.Name));
}

bool TargetPresent(const TargetSlot& target, std::string_view pageText) {
    TSearchText text(pageText);
    return TargetPresent(target, text);
}

std::vector<int> PresentTargets(const WatchState& state, std::string_view pageText,
                                const std::string* decodedText) {
    TSearchText text(pageText);
    TSearchText decoded(decodedText != nullptr ? std::string_view(*decodedText)
                                               : std::string_view());
    std::vector<int> found;
    for (int i = 0; i <= MaxTargetIndex; ++i)
        if (TargetPresent(state.Targets[i], text, decodedText != nullptr ? &decoded : nullptr))
            found.push_back(i);
    return found;
}

}  // namespace app
