#include "net/CookieJar.h"

#include <QDateTime>
#include <QHostAddress>
#include <algorithm>

#include "net/UrlResolve.h"

namespace net {

namespace {
// Control characters other than the tab end a header value early on the
// other side, or smuggle in lines of their own; such a cookie is refused.
bool HasControl(QByteArrayView text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t') || b == 0x7F;
    });
}

bool IsAddress(const QString& host) {
    return !QHostAddress(host).isNull();
}

// The path a cookie without one is scoped to: the request path up to, not
// including, its last "/" (Qt would keep the "/", so that a cookie set from
// /room/go missed the page /room itself).
QString DefaultPath(const QString& path) {
    const qsizetype last = path.lastIndexOf(QLatin1Char('/'));
    if (!path.startsWith(QLatin1Char('/')) || last <= 0)
        return QStringLiteral("/");
    return path.left(last);
}
}  // namespace

TCookieJar::TCookieJar(QObject* Parent) : QNetworkCookieJar(Parent) {}

bool TCookieJar::IsPublicSuffix(const QString& Domain) const {
    // A name of one label is a top-level domain, which the list of public
    // suffixes counts as public whether it names it or not; Qt's look-up
    // knows only the names on the list.
    if (!Domain.contains(QLatin1Char('.')))
        return true;
    // Qt keeps the look-up to itself; its check refuses a cookie for
    // ".<suffix>" set from a host below the suffix exactly when the suffix is
    // on the list.
    QNetworkCookie probe;
    probe.setDomain(QLatin1Char('.') + Domain);
    const QUrl below(QStringLiteral("http://probe.") + Domain + QLatin1Char('/'));
    return !below.isValid() || !QNetworkCookieJar::validateCookie(probe, below);
}

bool TCookieJar::TakeSetCookie(const std::string& Value, const std::string& Url) {
    if (Value.size() > MaxCookieBytes || HasControl(QByteArrayView(Value)))
        return false;
    const QUrl url = ToQUrl(Url);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString host = url.host();
    bool stored = false;
    for (QNetworkCookie cookie : QNetworkCookie::parseCookies(QByteArray::fromStdString(Value))) {
        if (!cookie.domain().isEmpty()) {
            QString domain = cookie.domain().toLower();
            if (domain.startsWith(QLatin1Char('.')))
                domain.remove(0, 1);
            // An address has no sub-domains, and a public suffix is no site of
            // its own: such a cookie stays with exactly this host, or nowhere.
            if (IsAddress(host) || IsPublicSuffix(domain)) {
                if (domain != host)
                    continue;
                cookie.setDomain(QString());
            }
        }
        if (!cookie.path().startsWith(QLatin1Char('/')))
            cookie.setPath(DefaultPath(url.path()));
        if (setCookiesFromUrl({cookie}, url))
            stored = true;
    }
    return stored;
}

bool TCookieJar::validateCookie(const QNetworkCookie& Cookie, const QUrl& Url) const {
    if (Cookie.name().isEmpty() || HasControl(Cookie.name()) || HasControl(Cookie.value()))
        return false;
    if (static_cast<size_t>(Cookie.name().size() + Cookie.value().size()) > MaxCookieBytes)
        return false;
    // A plain http page could otherwise overwrite the cookies of the secure site.
    if (Cookie.isSecure() && Url.scheme() != QLatin1String("https"))
        return false;
    // Qt would let 127.0.0.1 set a cookie for ".0.0.1".
    if (IsAddress(Url.host()) && Cookie.domain() != Url.host())
        return false;
    return QNetworkCookieJar::validateCookie(Cookie, Url);
}

bool TCookieJar::insertCookie(const QNetworkCookie& Cookie) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // An expired cookie only removes the one it names; it takes no room.
    if (!Cookie.isSessionCookie() && Cookie.expirationDate() < now)
        return QNetworkCookieJar::insertCookie(Cookie);
    QList<QNetworkCookie> cookies = allCookies();
    const bool replaces = std::any_of(cookies.begin(), cookies.end(), [&Cookie](const auto& kept) {
        return kept.hasSameIdentifier(Cookie);
    });
    const auto sameDomain = [&Cookie](const QNetworkCookie& kept) {
        return kept.domain() == Cookie.domain();
    };
    const bool domainFull =
        std::count_if(cookies.begin(), cookies.end(), sameDomain) >= MaxCookiesPerDomain;
    if (!replaces && (domainFull || cookies.size() >= MaxCookies)) {
        cookies.removeIf([&now](const QNetworkCookie& kept) {
            return !kept.isSessionCookie() && kept.expirationDate() < now;
        });
        // Cookies are kept in the order they came, so the oldest go first.
        if (std::count_if(cookies.begin(), cookies.end(), sameDomain) >= MaxCookiesPerDomain)
            cookies.erase(std::find_if(cookies.begin(), cookies.end(), sameDomain));
        if (cookies.size() >= MaxCookies)
            cookies.removeFirst();
        setAllCookies(cookies);
    }
    return QNetworkCookieJar::insertCookie(Cookie);
}

std::string TCookieJar::CookieLine(const std::string& Url) const {
    const QUrl url = ToQUrl(Url);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    std::string line;
    // Only the name=value pairs: the attributes are for this jar, not the server.
    for (const QNetworkCookie& cookie : cookiesForUrl(url)) {
        if (!line.empty())
            line += "; ";
        line += cookie.toRawForm(QNetworkCookie::NameAndValueOnly).toStdString();
    }
    return line;
}

}  // namespace net
