#include "net/NMExtstr.h"

#include <algorithm>

#include "rtl/Exceptions.h"

namespace net {

namespace {
unsigned char Fold(char c) noexcept {
    const auto b = static_cast<unsigned char>(c);
    return (b >= 'a' && b <= 'z') ? static_cast<unsigned char>(b - 'a' + 'A') : b;
}

// Order of a sorted list: by name first, so that lines of one name are adjacent
// and the name search can bisect, then by the whole line to make it total.
bool LineBefore(const std::string& a, const std::string& b) {
    const int byName = CompareText(LineName(a), LineName(b));
    if (byName != 0)
        return byName < 0;
    return CompareText(a, b) < 0;
}
}  // namespace

int CompareText(const std::string& a, const std::string& b) noexcept {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(a[i]);
        const unsigned char y = Fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string LineName(const std::string& line) {
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(0, colon);
}

void TExStringList::SetSorted(bool sorted) {
    if (sorted && !FSorted)
        std::stable_sort(FLines.begin(), FLines.end(), LineBefore);
    FSorted = sorted;
}

void TExStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw rtl::ERangeError("List index out of bounds");
}

const std::string& TExStringList::operator[](int index) const {
    CheckIndex(index);
    return FLines[static_cast<size_t>(index)];
}

int TExStringList::SortedPlace(const std::string& line) const {
    const auto place = std::upper_bound(FLines.begin(), FLines.end(), line, LineBefore);
    return static_cast<int>(place - FLines.begin());
}

void TExStringList::Put(int index, const std::string& line) {
    CheckIndex(index);
    if (!FSorted) {
        FLines[static_cast<size_t>(index)] = line;
        return;
    }
    Delete(index);
    Add(line);
}

int TExStringList::Add(const std::string& line) {
    if (!FSorted) {
        FLines.push_back(line);
        return Count() - 1;
    }
    const int place = SortedPlace(line);
    FLines.insert(FLines.begin() + place, line);
    return place;
}

void TExStringList::Delete(int index) {
    CheckIndex(index);
    FLines.erase(FLines.begin() + index);
}

std::string TExStringList::Text() const {
    size_t total = 0;
    for (const auto& line : FLines)
        total += line.size() + 2;
    std::string text;
    text.reserve(total);
    for (const auto& line : FLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

int TExStringList::IndexOfName(const std::string& name) const {
    // Lines without ':' sort under the empty name but never match one, so an
    // empty name is searched line by line even in a sorted list.
    if (!FSorted || name.empty()) {
        for (int i = 0; i < Count(); ++i) {
            const std::string& line = FLines[static_cast<size_t>(i)];
            const size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            if (CompareText(line.substr(0, colon), name) == 0)
                return i;
        }
        return -1;
    }
    int low = 0;
    int high = Count() - 1;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        const int order = CompareText(LineName(FLines[static_cast<size_t>(middle)]), name);
        if (order == 0) {
            // Several lines may share a name; report the first, as the linear
            // search of an unsorted list does.
            int first = middle;
            while (first > 0 &&
                   CompareText(LineName(FLines[static_cast<size_t>(first - 1)]), name) == 0)
                --first;
            return first;
        }
        if (order < 0)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}

void TExStringList::SetValue(const std::string& name, const std::string& value) {
    const int index = IndexOfName(name);
    if (value.empty()) {
        if (index != -1)
            Delete(index);
        return;
    }
    const std::string line = name + ": " + value;
    if (index == -1)
        Add(line);
    else
        Put(index, line);
}

}  // namespace net
