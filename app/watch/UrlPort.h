#pragma once

#include <cstdint>
#include <string>

namespace app {

// What the watch cycle hands to the page fetcher for one site address.
struct FetchAddress {
    std::string Url;    // the URL to pass to Get
    int32_t Port = 80;  // the port to set before Get
};

// Splits a port written after the host name out of a site address that names
// no scheme ("chat.example.org:8080/who" -> "chat.example.org/who", port 8080),
// since the fetcher would otherwise take the host name for a scheme. Addresses
// that name a scheme ("http://...", "https://..."), addresses that begin with
// a bracketed IPv6 address ("[::1]:8080/who") and addresses whose first ":"
// stands within their first six characters are returned unchanged with port
// 80: the fetcher reads the scheme and the port from such a URL itself.
// Raises rtl::EConvertError when the text after the ":" is not a decimal port
// number from 1 to 65535.
FetchAddress SplitUrlPort(const std::string& url);

}  // namespace app
