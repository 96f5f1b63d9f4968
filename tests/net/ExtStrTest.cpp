#include "net/NMExtstr.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"

using net::TExStringList;

namespace {
TExStringList ListOf(std::initializer_list<const char*> lines, bool sorted = false) {
    TExStringList list;
    list.SetSorted(sorted);
    for (const char* line : lines)
        list.Add(line);
    return list;
}
}  // namespace

TEST(ExStringList, EmptyListHasNoName) {
    EXPECT_EQ(ListOf({}).IndexOfName("Host"), -1);
    EXPECT_EQ(ListOf({}, true).IndexOfName("Host"), -1);
}

TEST(ExStringList, NameIsTheExactTextBeforeTheFirstColonAnyCase) {
    for (bool sorted : {false, true}) {
        const auto list =
            ListOf({"GET / HTTP/1.0", "Host : a", "Content-Length: 7", "X: a:b"}, sorted);
        EXPECT_NE(list.IndexOfName("content-length"), -1) << sorted;
        EXPECT_EQ(list[list.IndexOfName("CONTENT-LENGTH")], "Content-Length: 7");
        EXPECT_EQ(list.IndexOfName("Host"), -1) << "a blank before the colon is part of the name";
        EXPECT_NE(list.IndexOfName("Host "), -1);
        EXPECT_EQ(list.IndexOfName("X: a"), -1) << "only the first colon ends the name";
        EXPECT_EQ(list.IndexOfName("GET / HTTP/1.0"), -1) << "a line without ':' has no name";
        EXPECT_EQ(list.IndexOfName(""), -1);
    }
}

TEST(ExStringList, UnsortedSearchFindsTheFirstOfEqualNames) {
    const auto list = ListOf({"a", "Cookie: 1", "cookie: 2"});
    EXPECT_EQ(list.IndexOfName("COOKIE"), 1);
}

TEST(ExStringList, SortedSearchFindsEveryNameWhateverTheLineTexts) {
    // Sorting by the whole line would put "ab-c: 1" before "ab: 2" ('-' < ':') while the
    // names order the other way, and a bisection by name would then miss one of them.
    TExStringList list = ListOf({"zz: 1", "ab: 2", "ab-c: 1", "B: x", "noname", "ab-:3"}, true);
    for (const char* name : {"zz", "ab", "ab-c", "b", "ab-"})
        EXPECT_NE(list.IndexOfName(name), -1) << name;
    EXPECT_EQ(list.IndexOfName("abc"), -1);
    EXPECT_EQ(list.IndexOfName("a"), -1);
    for (int i = 1; i < list.Count(); ++i)
        EXPECT_LE(net::CompareText(net::LineName(list[i - 1]), net::LineName(list[i])), 0);
}

TEST(ExStringList, SetValueReplacesInPlaceAndKeepsTheCallersCase) {
    TExStringList list = ListOf({"GET / HTTP/1.0", "host: old", "Accept: */*"});
    list.SetValue("Host", "one");
    list.SetValue("HOST", "two");
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[1], "HOST: two");
    list.SetValue("Cookie", "c=1");
    EXPECT_EQ(list[3], "Cookie: c=1") << "a new name goes to the end";
}

TEST(ExStringList, SetValueWithEmptyValueRemovesOnlyThatLine) {
    TExStringList list = ListOf({"A: 1", "B: 2", "C: 3"});
    list.SetValue("b", "");
    EXPECT_EQ(list.Text(), "A: 1\r\nC: 3\r\n");
    list.SetValue("Missing", "");
    EXPECT_EQ(list.Text(), "A: 1\r\nC: 3\r\n");
}

TEST(ExStringList, SetValueOnASortedListKeepsItSearchable) {
    TExStringList list = ListOf({"M: 1", "C: 2"}, true);
    list.SetValue("A", "x");
    list.SetValue("m", "2");
    list.SetValue("Z", "y");
    EXPECT_EQ(list.Text(), "A: x\r\nC: 2\r\nm: 2\r\nZ: y\r\n");
    list.SetValue("C", "");
    EXPECT_EQ(list.IndexOfName("m"), 1);
}

TEST(ExStringList, TextAndIndexBounds) {
    TExStringList list;
    EXPECT_EQ(list.Text(), "");
    list.Add("");
    list.Add("x");
    EXPECT_EQ(list.Text(), "\r\nx\r\n");
    EXPECT_THROW(list[2], rtl::ERangeError);
    EXPECT_THROW(list.Delete(-1), rtl::ERangeError);
    list.Delete(0);
    EXPECT_EQ(list.Text(), "x\r\n");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}
