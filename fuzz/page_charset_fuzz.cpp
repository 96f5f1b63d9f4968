// The charset decision and the conversion to GB18030. Input: a Content-Type
// value up to the first line feed, then the page.
//
// Properties: the decision names an encoding that is its own label; labels
// match whatever their case and surrounding blanks; a converted page is
// valid GB18030 (iconv decodes it strictly), and every page at most four
// bytes per input byte; GB pages pass byte for byte; a valid UTF-8 page (outside the private
// use area) converts back to itself; the UTF-8 guess agrees with a strict
// decoding by iconv (a sequence cut at the end allowed).

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "app/page/CharsetLabel.h"
#include "app/page/GbPage.h"
#include "app/page/PageCharset.h"
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
    FUZZ_CHECK(gb.size() <= page.size() * 4 + 4);
    // GB pages pass as they are, bad bytes and all; every converted page is
    // strictly valid GB18030.
    if (app::IsGbEncoding(charset.Encoding))
        FUZZ_CHECK(gb == page, page, gb);
    else
        FUZZ_CHECK(Strict("UTF-8", "GB18030", gb, utf8), page, gb);

    std::string ignored;
    bool valid = Strict("UTF-32LE", "UTF-8", page, ignored);
    if (!valid && Strict("UTF-32LE", "UTF-8", page, ignored, true)) {
        // iconv stopped at an incomplete sequence at the end: it counts when
        // some continuation would make it a valid character.
        const size_t lead =
            page.find_last_of(std::string("\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA"
                                          "\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4\xD5"
                                          "\xD6\xD7\xD8\xD9\xDA\xDB\xDC\xDD\xDE\xDF\xE0"
                                          "\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB"
                                          "\xEC\xED\xEE\xEF\xF0\xF1\xF2\xF3\xF4\xF5\xF6"
                                          "\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF"));
        const std::string tail = lead == std::string::npos ? "" : page.substr(lead);
        for (const char* fill : {"\x80\x80\x80", "\x90\x80\x80", "\xA0\x80\x80"}) {
            const std::string completed =
                tail + std::string(fill).substr(0, 4 - std::min<size_t>(tail.size(), 4));
            std::string one;
            if (!tail.empty() && Strict("UTF-32LE", "UTF-8", completed.substr(0, 4), one) &&
                one.size() == 4)
                valid = true;
            // A shorter character needs fewer bytes.
            for (size_t n = tail.size() + 1; n < 4 && !valid; ++n)
                if (Strict("UTF-32LE", "UTF-8", completed.substr(0, n), one) && one.size() == 4)
                    valid = true;
        }
    }
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
