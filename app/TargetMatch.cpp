#include "app/TargetMatch.h"

#include <cstring>

namespace app {

namespace {
bool IsAscii(std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    for (; end - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; p < end; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    return true;
}

bool InRange(unsigned char b, unsigned char low, unsigned char high) {
    return b >= low && b <= high;
}
}  // namespace

size_t GbCharLength(std::string_view text, size_t position) {
    const auto at = [&](size_t i) { return static_cast<unsigned char>(text[position + i]); };
    const size_t left = text.size() - position;
    if (!InRange(at(0), 0x81, 0xFE) || left < 2)
        return 1;
    if (InRange(at(1), 0x40, 0x7E) || InRange(at(1), 0x80, 0xFE))
        return 2;
    if (InRange(at(1), 0x30, 0x39) && left >= 4 && InRange(at(2), 0x81, 0xFE) &&
        InRange(at(3), 0x30, 0x39))
        return 4;
    return 1;  // a lead byte that starts nothing stands alone
}

TSearchText::TSearchText(std::string_view text) : FText(text), FAscii(IsAscii(text)) {}

bool TSearchText::IsCharStart(size_t position) {
    if (FAscii || position == 0)
        return true;
    if (FStarts.empty())
        FStarts.assign(FText.size() / 64 + 1, 0);
    // Walk on from the last known boundary; each byte is walked once per text.
    while (FWalked <= position && FWalked < FText.size()) {
        FStarts[FWalked / 64] |= uint64_t{1} << (FWalked % 64);
        FWalked += GbCharLength(FText, FWalked);
    }
    return (FStarts[position / 64] >> (position % 64)) & 1;
}

bool TSearchText::Contains(std::string_view name) {
    if (name.empty() || name.size() > FText.size())
        return false;
    const char* base = FText.data();
    const char* from = base;
    const char* end = base + FText.size();
    while (static_cast<size_t>(end - from) >= name.size()) {
        const void* hit = ::memmem(from, static_cast<size_t>(end - from), name.data(), name.size());
        if (hit == nullptr)
            return false;
        const auto position = static_cast<size_t>(static_cast<const char*>(hit) - base);
        if (IsCharStart(position))
            return true;
        from = base + position + 1;
    }
    return false;
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
