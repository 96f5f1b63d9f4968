#include "net/NMUUE.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"

using net::EncodeBytes;
using net::TMemoryStream;
using net::TNMUUProcessor;
using net::UUMethods;

TEST(UUEncode, MimeVectors) {
    EXPECT_EQ(EncodeBytes("", UUMethods::uuMime), "");
    EXPECT_EQ(EncodeBytes("abc", UUMethods::uuMime), "YWJj\r\n");
    EXPECT_EQ(EncodeBytes("ab", UUMethods::uuMime), "YWI=\r\n");
    EXPECT_EQ(EncodeBytes("a", UUMethods::uuMime), "YQ==\r\n");
    EXPECT_EQ(EncodeBytes(std::string("\xff\xfe\xfd\x00", 4), UUMethods::uuMime), "//79AA==\r\n");
    EXPECT_EQ(EncodeBytes("Aladdin:open sesame", UUMethods::uuMime),
              "QWxhZGRpbjpvcGVuIHNlc2FtZQ==\r\n");
}

TEST(UUEncode, UUCodeVectors) {
    EXPECT_EQ(EncodeBytes("", UUMethods::uuCode), "`\r\n");
    EXPECT_EQ(EncodeBytes("abc", UUMethods::uuCode), "#86)C\r\n`\r\n");
    // A zero sextet is the grave accent, never a blank; no padding characters.
    EXPECT_EQ(EncodeBytes(std::string("\0\0\0", 3), UUMethods::uuCode), "#````\r\n`\r\n");
    EXPECT_EQ(EncodeBytes("a", UUMethods::uuCode), "!80\r\n`\r\n");
}

TEST(UUEncode, FortyFiveBytesPerLine) {
    const std::string mime = EncodeBytes(std::string(46, 'x'), UUMethods::uuMime);
    const size_t firstEnd = mime.find("\r\n");
    ASSERT_EQ(firstEnd, 60u);
    EXPECT_EQ(mime.substr(62), "eA==\r\n");

    const std::string uu = EncodeBytes(std::string(90, 'x'), UUMethods::uuCode);
    ASSERT_EQ(uu.size(), 2 * 63 + 3u);
    EXPECT_EQ(uu[0], 'M') << "length character of 45";
    EXPECT_EQ(uu.substr(61, 3), "\r\nM");
}

TEST(UUEncode, OutputIsRewoundAndEventsBracketTheWork) {
    TMemoryStream input("abc");
    input.SetPosition(2);  // the encoder always starts at the beginning
    TMemoryStream output;
    TNMUUProcessor processor;
    processor.InputStream = &input;
    processor.OutputStream = &output;
    std::string trace;
    processor.OnBeginEncode = [&](TNMUUProcessor& sender) {
        EXPECT_EQ(&sender, &processor);
        trace += "begin;";
    };
    processor.OnEndEncode = [&](TNMUUProcessor&) {
        trace += "end@" + std::to_string(output.Position()) + ";";
    };
    processor.Encode();
    EXPECT_EQ(trace, "begin;end@0;");
    char buffer[16] = {};
    EXPECT_EQ(output.Read(buffer, sizeof(buffer)), 6u);
    EXPECT_EQ(std::string(buffer, 6), "YWJj\r\n");
}

namespace {
// An output that accepts one write and then fails, like a full disk.
class FailingStream : public TMemoryStream {
public:
    void Write(const void* buffer, size_t count) override {
        if (++FWrites > 1)
            throw rtl::EInOutError("Disk full");
        TMemoryStream::Write(buffer, count);
    }

private:
    int FWrites = 0;
};
}  // namespace

TEST(UUEncode, AFailingStreamStillRewindsAndEnds) {
    TMemoryStream input(std::string(100, 'q'));
    FailingStream output;
    TNMUUProcessor processor;
    processor.Method = UUMethods::uuCode;
    processor.InputStream = &input;
    processor.OutputStream = &output;
    int ends = 0;
    processor.OnEndEncode = [&](TNMUUProcessor&) { ++ends; };
    try {
        processor.Encode();
        FAIL() << "the write error must reach the caller";
    } catch (const rtl::EInOutError& error) {
        EXPECT_EQ(error.Message(), "Disk full");
    }
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(output.Position(), 0);
    EXPECT_EQ(output.Size(), 63);
}

TEST(UUEncode, MissingStreamsAreAnErrorNotACrash) {
    TNMUUProcessor processor;
    EXPECT_THROW(processor.Encode(), rtl::EInOutError);
}
