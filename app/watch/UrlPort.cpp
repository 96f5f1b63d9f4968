#include "app/watch/UrlPort.h"

#include "rtl/Exceptions.h"
#include "rtl/IntConv.h"

namespace app {

namespace {
// A URL names a scheme when its first ":" is followed by "//" ("http://").
bool NamesScheme(const std::string& url, size_t firstColon) {
    return url.compare(firstColon, 3, "://") == 0;
}

int32_t ParsePort(const std::string& text) {
    bool digits = !text.empty();
    for (char c : text)
        if (c < '0' || c > '9')
            digits = false;
    const auto value = digits ? rtl::TryStrToInt(text) : std::nullopt;
    if (!digits || !value)
        throw rtl::EConvertError("'" + text + "' is not a valid integer value");
    if (*value < 1 || *value > 65535)
        throw rtl::EConvertError("'" + text + "' is not a valid port");
    return *value;
}
}  // namespace

FetchAddress SplitUrlPort(const std::string& url) {
    FetchAddress unchanged{url, 80};
    // A bracketed IPv6 address: its colons are no port, and the fetcher reads
    // the address and the port after it (or says what is wrong with them).
    if (url.starts_with('['))
        return unchanged;
    const size_t colon = url.find(':');
    if (colon == std::string::npos || colon < 6)
        return unchanged;
    if (NamesScheme(url, colon))
        return unchanged;
    // A colon after the first "/" is part of the path, not a port.
    if (url.find('/') < colon)
        return unchanged;

    const size_t portStart = colon + 1;
    const size_t slash = url.find('/', portStart);
    const std::string portText =
        url.substr(portStart, slash == std::string::npos ? std::string::npos : slash - portStart);
    FetchAddress split;
    split.Port = ParsePort(portText);
    split.Url = url.substr(0, colon) + url.substr(portStart + portText.size());
    return split;
}

}  // namespace app
