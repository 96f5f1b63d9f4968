#include "app/page/TargetMatch.h"

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

bool TSearchText::StartsAt(size_t position, std::string_view name) {
    return FText.size() - position >= name.size() &&
           std::memcmp(FText.data() + position, name.data(), name.size()) == 0 &&
           IsCharStart(position);
}

void FindNames(TSearchText& text, const std::vector<std::string_view>& names,
               std::vector<bool>& found) {
    found.resize(names.size(), false);
    // The names to look for under each pair of first bytes; a one-byte name
    // stands under every pair that begins with its byte.
    std::vector<uint64_t> pairs(65536 / 64, 0);
    std::vector<std::vector<uint16_t>> candidates;
    std::vector<uint16_t> slotOf(65536, 0);  // 0: none, else index + 1 into candidates
    size_t missing = 0;
    const auto add = [&](unsigned pair, size_t name) {
        pairs[pair / 64] |= uint64_t{1} << (pair % 64);
        if (slotOf[pair] == 0) {
            candidates.emplace_back();
            slotOf[pair] = static_cast<uint16_t>(candidates.size());
        }
        candidates[slotOf[pair] - 1].push_back(static_cast<uint16_t>(name));
    };
    for (size_t i = 0; i < names.size(); ++i) {
        if (found[i] || names[i].empty() || names[i].size() > text.Text().size())
            continue;
        ++missing;
        const auto first = static_cast<unsigned char>(names[i][0]);
        if (names[i].size() == 1) {
            for (unsigned second = 0; second < 256; ++second)
                add(first << 8 | second, i);
        } else {
            add(first << 8 | static_cast<unsigned char>(names[i][1]), i);
        }
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.Text().data());
    const size_t size = text.Text().size();
    const auto check = [&](unsigned pair, size_t position) {
        for (const uint16_t name : candidates[slotOf[pair] - 1])
            if (!found[name] && text.StartsAt(position, names[name])) {
                found[name] = true;
                --missing;
            }
    };
    for (size_t position = 0; missing > 0 && position + 1 < size; ++position) {
        const unsigned pair = bytes[position] << 8 | bytes[position + 1];
        if ((pairs[pair / 64] >> (pair % 64)) & 1)
            check(pair, position);
    }
    // The last byte can only start a one-byte name.
    if (missing > 0 && size > 0) {
        const unsigned pair = bytes[size - 1] << 8;
        if ((pairs[pair / 64] >> (pair % 64)) & 1)
            check(pair, size - 1);
    }
}

}  // namespace app
