#include "net/UrlHost.h"

#include <algorithm>

#include "net/Psock.h"
#include "rtl/IntConv.h"

namespace net {

namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int32_t BracketedPort(const std::string& text, const std::string& whole) {
    const auto port = AllDigits(text) ? rtl::TryStrToInt(text) : std::nullopt;
    if (!port || *port < 1 || *port > 65535)
        throw ESockError("Invalid port number in URL: " + whole);
    return *port;
}

TUrlHost SplitBracketed(const std::string& text) {
    const size_t close = text.find(']');
    if (close == std::string::npos)
        throw ESockError("IPv6 address in URL lacks its closing bracket: " + text);
    const std::string address = text.substr(1, close - 1);
    if (address.find('%') != std::string::npos)
        throw ESockError("IPv6 zone IDs are not supported in URLs: " + text);
    if (!IsIPv6Address(address))
        throw ESockError("Invalid IPv6 address in URL: " + text);
    TUrlHost split{address, 0};
    const std::string rest = text.substr(close + 1);
    if (rest.empty())
        return split;
    if (rest[0] != ':')
        throw ESockError("Invalid text after IPv6 address in URL: " + text);
    split.Port = BracketedPort(rest.substr(1), text);
    return split;
}

}  // namespace

bool IsIPv6Address(const std::string& Host) {
    return !TSockAddress::FromIPv6Text(Host).Empty();
}

std::string BracketedHost(const std::string& Host) {
    return IsIPv6Address(Host) ? "[" + Host + "]" : Host;
}

TUrlHost SplitUrlHost(const std::string& Text) {
    if (Text.starts_with('['))
        return SplitBracketed(Text);
    // Its colons would be taken for a port.
    if (IsIPv6Address(Text))
        throw ESockError("IPv6 address in URL needs brackets: " + Text);
    TUrlHost split{Text, 0};
    if (const size_t colon = Text.find(':'); colon != std::string::npos) {
        const int32_t port = rtl::StrToInt(ExtractField(Text, ':', 2));
        // Only the low 16 bits would reach the socket: 65616 would quietly
        // become port 80.
        if (port < 1 || port > 65535)
            throw ESockError("Invalid port number in URL: " + rtl::IntToStr(port));
        split.Port = port;
        split.Host.resize(colon);
    }
    return split;
}

}  // namespace net
