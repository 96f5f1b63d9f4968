// The charset decision and the conversion to GB18030. Input: a Content-Type
// value up to the first line feed, then the page.
//
// Properties: the decision names an encoding that is its own label; labels
// match whatever their case and surrounding blanks; the page as converted is
// valid GB18030 (iconv decodes it strictly) and at most four bytes per input
// byte; GB pages pass byte for byte; a valid UTF-8 page (outside the private
// use area) converts back to itself; the UTF-8 guess agrees with a strict
// decoding by iconv (a sequence cut at the end allowed).

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "app/CharsetLabel.h"
#include "app/GbPage.h"
#include "app/PageCharset.h"
#include "fuzz/FuzzSupport.h"

namespace {
// Strict conversion; false on any invalid or (unless allowed) incomplete input.
bool Strict(const char* to, const char* from, const std::string& in, std::string& out,
            bool allowCut = false) {
    iconv_t handle = iconv_open(to, from);
    if (handle == reinterpret_cast<iconv_t>(-1))
        fuzz::Fail("iconv_open");
    out.assign(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t result = iconv(handle, &src, &srcLeft, &dst, &dstLeft);
    const int error = errno;
    iconv_close(handle);
    out.resize(out.size() - dstLeft);
    return result != static_cast<size_t>(-1) || (allowCut && error == EINVAL);
}

std::string Scrambled(std::string_view label) {
    std::string text = " \t";
    for (size_t i = 0; i < label.size(); ++i) {
        const char c = label[i];
        text += i % 2 && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    return text + "\r\n";
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192)
        return -1;
    const std::string input = fuzz::Bytes(data, size);
    const size_t lf = input.find('\n');
    const std::string type = lf == std::string::npos ? "" : input.substr(0, lf);
    const std::string page = lf == std::string::npos ? input : input.substr(lf + 1);

    const app::TPageCharset charset = app::DecidePageCharset(type, page);
    FUZZ_CHECK(app::EncodingForLabel(charset.Encoding) == charset.Encoding,
               std::string(charset.Encoding));
    const std::string_view label = app::ContentTypeCharset(type);
    FUZZ_CHECK(app::EncodingForLabel(Scrambled(label)) == app::EncodingForLabel(label),
               std::string(label));

    std::string gb;
    app::ConvertPageToGb(charset.Encoding, page, gb);
    std::string utf8;
    FUZZ_CHECK(Strict("UTF-8", "GB18030", gb, utf8), page, gb);
    FUZZ_CHECK(gb.size() <= page.size() * 4 + 4);
    if (app::IsGbEncoding(charset.Encoding))
        FUZZ_CHECK(gb == page, page, gb);

    std::string ignored;
    const bool valid = Strict("UTF-32LE", "UTF-8", page, ignored, true);
    bool multiByte = false;
    for (const char c : page)
        multiByte = multiByte || static_cast<unsigned char>(c) >= 0x80;
    FUZZ_CHECK(app::LooksLikeUtf8(page) == (valid && multiByte), page);

    std::string whole;
    if (Strict("UTF-32LE", "UTF-8", page, ignored) &&
        page.find_first_of("\xEE\xEF") == std::string::npos) {
        app::ConvertPageToGb("UTF-8", page, gb);
        FUZZ_CHECK(Strict("UTF-8", "GB18030", gb, whole) && whole == page, page, whole);
    }
    return 0;
}
