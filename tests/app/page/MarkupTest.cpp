#include "app/page/Markup.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/app/page/MarkupReference.h"

using app::StripMarkup;

TEST(StripMarkup, RemovesTagsAndStrayClosers) {
    EXPECT_EQ(StripMarkup("a > b <i>c</i>"), "a  b c");
    EXPECT_EQ(StripMarkup("<b>Alice</b> is here"), "Alice is here");
    EXPECT_EQ(StripMarkup(""), "");
    EXPECT_EQ(StripMarkup("plain text"), "plain text");
    // Only a ">" that a "<" still follows is dropped.
    EXPECT_EQ(StripMarkup(">>x>"), ">>x>");
    EXPECT_EQ(StripMarkup("a>b<i>c>d"), "abc>d");
    EXPECT_EQ(StripMarkup("<>"), "");
}

TEST(StripMarkup, KeepsEntitiesAndLineBreaks) {
    EXPECT_EQ(StripMarkup("<p>a&nbsp;b</p>\r\n<br>c\n"), "a&nbsp;b\r\nc\n");
}

TEST(StripMarkup, ANestedOpenerBelongsToTheTag) {
    // The tag ends at the first ">" after its "<", whatever stands between.
    EXPECT_EQ(StripMarkup("x<a<b>y>z"), "xy>z");
    EXPECT_EQ(StripMarkup("x<a<b>y>z<p>"), "xyz");
    EXPECT_EQ(StripMarkup("<a title=\"Bob\">Eve</a>"), "Eve");
}

TEST(StripMarkup, AnUnclosedTagKeepsTheRestOfThePage) {
    EXPECT_EQ(StripMarkup("ok <b>Bob</b> <i Carol"), "ok Bob <i Carol");
    EXPECT_EQ(StripMarkup("a>b<c<d"), "ab<c<d");
    EXPECT_EQ(StripMarkup("<"), "<");
}

TEST(StripMarkup, KeepsArbitraryBytes) {
    const std::string bytes("\0\xff\xc4\xe3<\x01>\x80", 8);
    EXPECT_EQ(StripMarkup(bytes), std::string("\0\xff\xc4\xe3\x80", 5));
}

// The one-pass version must agree byte for byte with the step-by-step removal on
// every input; a small alphabet makes stray, nested and unclosed tags common.
TEST(StripMarkup, AgreesWithTheStepByStepRemoval) {
    std::mt19937 generator(20260131);
    const std::string alphabets[] = {"<>a b", "<>", "<<>a", "<>>b\n"};
    int cases = 0;
    for (const std::string& alphabet : alphabets) {
        std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
        std::uniform_int_distribution<int> length(0, 40);
        for (int n = 0; n < 15000; ++n) {
            std::string page;
            for (int k = length(generator); k > 0; --k)
                page.push_back(alphabet[pick(generator)]);
            ASSERT_EQ(StripMarkup(page), testref::ReferenceStripMarkup(page)) << "page: " << page;
            ++cases;
        }
    }
    // Every string of up to 8 characters over "<>a" as well, so no short shape is missed.
    std::string page;
    for (int len = 0; len <= 8; ++len) {
        int total = 1;
        for (int k = 0; k < len; ++k)
            total *= 3;
        for (int code = 0; code < total; ++code) {
            page.clear();
            for (int k = 0, c = code; k < len; ++k, c /= 3)
                page.push_back("<>a"[c % 3]);
            ASSERT_EQ(StripMarkup(page), testref::ReferenceStripMarkup(page)) << "page: " << page;
            ++cases;
        }
    }
    EXPECT_GT(cases, 60000);
}
