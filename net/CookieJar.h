#pragma once

// TCookieJar: the cookies an HTTP client was given, kept with the site that set
// them. Parsing and matching are Qt's (QNetworkCookie::parseCookies and
// QNetworkCookieJar: Domain, Path, Secure, Max-Age and Expires, host-only
// cookies, public suffixes); this class adds what a client talking to hostile
// servers needs on top: bounds on size and number, no control characters, no
// Domain wider than the host for IP addresses, no Secure cookie from a plain
// http page, and the default path as RFC 6265 defines it.

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <string>

namespace net {

class TCookieJar : public QNetworkCookieJar {
public:
    // At most this many cookies are kept for one domain, and this many in all;
    // a new one beyond either bound pushes out expired cookies first, then the
    // oldest of its domain (or of the jar). A site that floods the jar so
    // loses only its own cookies.
    static constexpr int MaxCookiesPerDomain = 50;
    static constexpr int MaxCookies = 200;
    // A Set-Cookie value (name, value and attributes) longer than this is
    // ignored as a whole.
    static constexpr size_t MaxCookieBytes = 4096;

    explicit TCookieJar(QObject* Parent = nullptr);

    // Takes the value of one Set-Cookie line of the response to Url. Returns
    // whether a cookie was stored (or an existing one replaced or removed).
    bool TakeSetCookie(const std::string& Value, const std::string& Url);
    // The cookies to send with a request for Url, as "name=value; name=value"
    // (the value of a Cookie line); empty when none matches.
    std::string CookieLine(const std::string& Url) const;

    int Count() const { return static_cast<int>(allCookies().size()); }
    void Clear() { setAllCookies({}); }

    bool insertCookie(const QNetworkCookie& Cookie) override;

protected:
    bool validateCookie(const QNetworkCookie& Cookie, const QUrl& Url) const override;

private:
    bool IsPublicSuffix(const QString& Domain) const;
};

}  // namespace net
