#include "net/UrlResolve.h"

namespace net {

namespace {
// Enough of a refused Location to recognise it in an error message.
std::string Shown(const std::string& location) {
    constexpr size_t Most = 200;
    return location.size() <= Most ? location : location.substr(0, Most) + "...";
}

TResolvedUrl Refused(const char* why, const std::string& location) {
    return {std::string(), std::string(why) + ": " + Shown(location)};
}
}  // namespace

QUrl ToQUrl(const std::string& Url) {
    static const char Hex[] = "0123456789ABCDEF";
    QByteArray ascii;
    ascii.reserve(static_cast<qsizetype>(Url.size()));
    for (const char c : Url) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            ascii.append(c);
            continue;
        }
        ascii.append('%');
        ascii.append(Hex[b >> 4]);
        ascii.append(Hex[b & 15]);
    }
    return QUrl::fromEncoded(ascii, QUrl::TolerantMode);
}

TResolvedUrl ResolveLocation(const std::string& Base, const std::string& Location) {
    const QUrl base = ToQUrl(Base);
    if (!base.isValid() || base.host().isEmpty())
        return Refused("Cannot follow a redirect from", Base);
    const QUrl reference = ToQUrl(Location);
    // An empty reference means the base itself; Qt calls it invalid.
    if (!reference.isValid() && !Location.empty())
        return Refused("Invalid redirect location", Location);
    QUrl next = base.resolved(reference);
    const QString scheme = next.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return Refused("Unsupported redirect location", Location);
    // "http://" alone, or "http:x", names no server at all. A zone ID names
    // an interface of this machine, which a remote server cannot know.
    if (next.host().isEmpty() || next.host().contains(QLatin1Char('%')) || next.port() == 0)
        return Refused("Invalid redirect location", Location);
    // An empty path means "/" for http; written out, the host ends where the
    // path begins, also when a query follows it at once ("//host?x").
    if (next.path().isEmpty())
        next.setPath(QStringLiteral("/"));
    const QByteArray text = next.toEncoded(QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    return {text.toStdString(), std::string()};
}

}  // namespace net
