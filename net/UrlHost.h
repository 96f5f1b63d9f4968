#pragma once

// The host part of a URL, the text between "//" and the path: a host name or a
// dotted IPv4 address with an optional ":port", or an IPv6 address in brackets
// ("[::1]:8080", "[2001:db8::1]"), and the way a URL or a Host line writes a
// host back.

#include <cstdint>
#include <string>

namespace net {

struct TUrlHost {
    std::string Host;  // an IPv6 address without its brackets; empty when none is written
    int32_t Port = 0;  // 0 when none is written
};

// Splits the host part of a URL. After a name the text from the first ":" on
// is the port, which must read as an integer (rtl::EConvertError otherwise).
// Raises ESockError, naming the text, for a port outside 1..65535 and for an
// IPv6 address that lacks its closing bracket, carries a zone ID ("%25eth0":
// it names an interface of this machine, which a URL cannot carry over), is
// not an IPv6 address, is followed by anything but ":" and a port, or is
// written without brackets.
TUrlHost SplitUrlHost(const std::string& Text);

// Whether Host is an IPv6 address (as a URL's brackets leave it).
bool IsIPv6Address(const std::string& Host);

// Host as a URL and a Host line write it: an IPv6 address in brackets,
// anything else as it is.
std::string BracketedHost(const std::string& Host);

}  // namespace net
