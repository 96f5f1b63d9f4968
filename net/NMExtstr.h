#pragma once

#include <string>
#include <vector>

namespace net {

// A list of text lines, kept either in the order they were added or sorted.
// Lines of the form "Name: value" can be looked up and set by name; the HTTP
// client keeps its request header lines in one.
class TExStringList {
public:
    // A sorted list keeps its lines ordered by name (case-insensitive) and then by
    // the whole line, so the binary search of IndexOfName always finds a present
    // name. Switching Sorted on sorts the current lines.
    bool Sorted() const noexcept { return FSorted; }
    void SetSorted(bool sorted);

    int Count() const noexcept { return static_cast<int>(FLines.size()); }
    // Indexed access; an index outside 0 .. Count - 1 raises rtl::ERangeError.
    const std::string& operator[](int index) const;
    const std::string& Strings(int index) const { return (*this)[index]; }
    // Replaces a line in place. A sorted list moves the line to its sorted place.
    void Put(int index, const std::string& line);

    // Appends (unsorted) or inserts at the sorted place; returns the line's index.
    int Add(const std::string& line);
    void Delete(int index);
    void Clear() noexcept { FLines.clear(); }

    // Every line followed by CR LF.
    std::string Text() const;

    // Index of the first line whose name (the exact text before its first ':')
    // equals Name, compared case-insensitively; -1 when there is none.
    int IndexOfName(const std::string& name) const;

    // Makes the list hold "Name: Value" (in place of an existing line of that name),
    // or removes the named line when Value is empty.
    void SetValue(const std::string& name, const std::string& value);

private:
    void CheckIndex(int index) const;
    int SortedPlace(const std::string& line) const;

    std::vector<std::string> FLines;
    bool FSorted = false;
};

// Byte-wise case-insensitive comparison (ASCII letters fold; other bytes compare
// by value): <0, 0 or >0.
int CompareText(const std::string& a, const std::string& b) noexcept;

// The name of a header line: the text before its first ':'; empty without ':'.
std::string LineName(const std::string& line);

}  // namespace net
