#include "rtl/GbText.h"

#include <iconv.h>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <stdexcept>

namespace rtl {

namespace {

// One converter per direction, opened on first use. The program has one GUI
// thread, and conversions happen only there.
class Converter {
public:
    Converter(const char* to, const char* from) : FHandle(iconv_open(to, from)) {
        if (FHandle == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(FHandle); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of input; an undecodable byte (or unit of `skip` bytes) is
    // replaced by `replacement` and skipped.
    std::string Convert(std::string_view input, std::string_view replacement, size_t skip = 1) {
        iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
        std::string output;
        output.resize(input.size() * 2 + 16);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        size_t written = 0;
        while (inLeft > 0) {
            char* out = output.data() + written;
            size_t outLeft = output.size() - written;
            const size_t result = iconv(FHandle, &in, &inLeft, &out, &outLeft);
            written = output.size() - outLeft;
            if (result != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG) {
                output.resize(output.size() * 2);
            } else {  // EILSEQ or EINVAL: a byte sequence that is not valid input
                output.replace(written, replacement.size(), replacement);
                written += replacement.size();
                if (output.size() < written + 16)
                    output.resize(written * 2 + 16);
                const size_t skipped = std::min(skip, inLeft);
                in += skipped;
                inLeft -= skipped;
            }
        }
        output.resize(written);
        return output;
    }

private:
    iconv_t FHandle;
};

}  // namespace

QString FromGb(std::string_view gb) {
    static Converter decoder("UTF-8", "GB18030");
    return QString::fromStdString(decoder.Convert(gb, "\xEF\xBF\xBD"));
}

std::string ToGb(const QString& text) {
    return Gb(text.toStdString());
}

std::string GbFromPath(const std::string& path) {
    return ToGb(QFile::decodeName(QByteArray::fromStdString(path)));
}

std::string Gb(std::string_view utf8) {
    static Converter encoder("GB18030", "UTF-8");
    return encoder.Convert(utf8, "?");
}

std::string GbFromCharset(const char* charset, std::string_view text, size_t unit) {
    static std::map<std::string, std::unique_ptr<Converter>> converters;
    std::unique_ptr<Converter>& converter = converters[charset];
    if (!converter)
        converter = std::make_unique<Converter>("GB18030", charset);
    return converter->Convert(text, "\x84\x31\xA4\x37", unit);
}

}  // namespace rtl
