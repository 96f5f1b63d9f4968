#pragma once

// URLs as the client meets them in responses: a redirect's Location resolved
// against the URL of the response that carried it, by RFC 3986's rules (Qt's
// QUrl::resolved), and checked so that only a URL the client can fetch comes
// out.

#include <QUrl>
#include <string>

namespace net {

// A URL of the client (bytes) as Qt reads it. Bytes beyond ASCII, as pages
// write them in GB or UTF-8, are percent-encoded as they are: Qt would read
// them as UTF-8 and replace what is not.
QUrl ToQUrl(const std::string& Url);

struct TResolvedUrl {
    // The absolute http or https URL to fetch next, percent-encoded, with a
    // path ("/" at least) and without a fragment or user information; empty
    // when the Location was refused.
    std::string Url;
    // Why it was refused; empty when it was not.
    std::string Reason;
};

// Location resolved against Base (an absolute http or https URL). Absolute,
// network-path, absolute-path, relative-path and query-only references are
// understood and dot segments removed. A reference that does not parse, names
// no host, a zone ID, port 0 or another scheme is refused.
TResolvedUrl ResolveLocation(const std::string& Base, const std::string& Location);

}  // namespace net
