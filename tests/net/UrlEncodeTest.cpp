#include "net/NMURL.h"

#include <gtest/gtest.h>

using net::TNMURL;

TEST(UrlEncode, LettersAndDigitsStayBlanksBecomePlus) {
    TNMURL url;
    EXPECT_EQ(url.EncodeText(""), "");
    EXPECT_EQ(url.EncodeText(" "), "+");
    EXPECT_EQ(url.EncodeText("azAZ09"), "azAZ09");
    EXPECT_EQ(url.EncodeText("a b&c"), "a+b%26c");
}

TEST(UrlEncode, EveryOtherByteIsTwoUpperCaseHexDigits) {
    TNMURL url;
    EXPECT_EQ(url.EncodeText("%%%.2x"), "%25%25%25%2E2x");
    EXPECT_EQ(url.EncodeText("\xff"), "%FF");
    EXPECT_EQ(url.EncodeText("\n"), "%0A");
    EXPECT_EQ(url.EncodeText(std::string(1, '\0')), "%00");
    EXPECT_EQ(url.EncodeText("-._*=&/:@[`{~"), "%2D%2E%5F%2A%3D%26%2F%3A%40%5B%60%7B%7E");
    EXPECT_EQ(url.EncodeText("\xc4\xe3"), "%C4%E3") << "multi-byte characters byte by byte";
}

TEST(UrlEncode, LongTextsAreEncodedWhole) {
    TNMURL url;
    url.InputString = std::string(70000, 'a') + "/";
    const std::string encoded = url.Encode();
    ASSERT_EQ(encoded.size(), 70003u);
    EXPECT_EQ(encoded.substr(69998), "aa%2F");
}
