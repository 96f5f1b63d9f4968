#include "rtl/IntConv.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"

using rtl::StrToInt;
using rtl::StrToIntDef;
using rtl::TryStrToInt;

TEST(IntConv, ReadsDecimalWithOptionalSign) {
    EXPECT_EQ(TryStrToInt("10"), 10);
    EXPECT_EQ(TryStrToInt("+7"), 7);
    EXPECT_EQ(TryStrToInt("-42"), -42);
    EXPECT_EQ(TryStrToInt("007"), 7);
    EXPECT_EQ(TryStrToInt("2147483647"), 2147483647);
    EXPECT_EQ(TryStrToInt("-2147483648"), INT32_MIN);
}

TEST(IntConv, ReadsHexadecimalAfterDollarOrZeroX) {
    EXPECT_EQ(TryStrToInt("0x1F"), 31);
    EXPECT_EQ(TryStrToInt("0X1f"), 31);
    EXPECT_EQ(TryStrToInt("$A"), 10);
    EXPECT_EQ(TryStrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(TryStrToInt("-$10"), -16);
}

TEST(IntConv, RefusesEverythingElse) {
    for (const char* text : {"", " ", "12abc", "abc", "1 2", "+", "-", "0x", "$", "$G",
                             "2147483648", "-2147483649", "0x100000000", "1.5", " 5"}) {
        EXPECT_FALSE(TryStrToInt(text).has_value()) << '"' << text << '"';
        EXPECT_EQ(StrToIntDef(text, 10), 10) << '"' << text << '"';
    }
}

TEST(IntConv, StrToIntRaisesConvertErrorWithTheText) {
    EXPECT_EQ(StrToInt("8080"), 8080);
    try {
        StrToInt("80a");
        FAIL() << "no exception";
    } catch (const rtl::EConvertError& error) {
        EXPECT_EQ(error.Message(), "'80a' is not a valid integer value");
    }
}
