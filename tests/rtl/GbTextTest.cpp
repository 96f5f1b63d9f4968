#include "rtl/GbText.h"

#include <gtest/gtest.h>

using rtl::FromGb;
using rtl::Gb;
using rtl::ToGb;

TEST(GbText, Gb2312BytesRoundTripThroughQString) {
    const std::string gb = "\xbc\xe0\xbf\xd8\xd5\xbe\xb5\xe3";  // 监控站点 in GB2312
    EXPECT_EQ(FromGb(gb), QString::fromUtf8("监控站点"));
    EXPECT_EQ(ToGb(FromGb(gb)), gb);
    EXPECT_EQ(Gb("监控站点"), gb);
}

TEST(GbText, AsciiIsUnchangedAndEveryCharacterHasAGbForm) {
    EXPECT_EQ(Gb("http://a.b/c?d=1"), "http://a.b/c?d=1");
    const QString rare = QString::fromUtf8("😀é𠀀");  // beyond GB2312, within GB18030
    EXPECT_EQ(FromGb(ToGb(rare)), rare);
}

TEST(GbText, InvalidBytesBecomeReplacementCharacters) {
    const QString text = FromGb(std::string("a\xff") + "b");
    EXPECT_EQ(text, QString::fromUtf8("a\xEF\xBF\xBD"
                                      "b"));
    EXPECT_EQ(FromGb(std::string("x\x81")),
              QString::fromUtf8("x\xEF\xBF\xBD"));  // cut in the middle
}
