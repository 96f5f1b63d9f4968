#include "app/watch/UrlPort.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"

using app::SplitUrlPort;

namespace {
void ExpectFetch(const std::string& url, const std::string& expectedUrl, int expectedPort) {
    const app::FetchAddress address = SplitUrlPort(url);
    EXPECT_EQ(address.Url, expectedUrl) << "for " << url;
    EXPECT_EQ(address.Port, expectedPort) << "for " << url;
}
}  // namespace

TEST(SplitUrlPort, SchemeLessAddressWithLongHostLosesItsPortToThePortField) {
    ExpectFetch("chat.example.org:8080/who", "chat.example.org/who", 8080);
    ExpectFetch("chat.example.org:8080", "chat.example.org", 8080);
    ExpectFetch("chat.example.org:81/a/b:c", "chat.example.org/a/b:c", 81);
    // Six characters before the colon is the shortest host that is split.
    ExpectFetch("abcdef:8080/x", "abcdef/x", 8080);
}

TEST(SplitUrlPort, ShortHostIsLeftForTheFetcherToRead) {
    // Five characters or fewer: the colon could be a scheme's, so nothing is split.
    ExpectFetch("abcde:8080/x", "abcde:8080/x", 80);
    ExpectFetch("host:8080", "host:8080", 80);
    ExpectFetch("http://chat:8080/who", "http://chat:8080/who", 80);
}

TEST(SplitUrlPort, AddressThatNamesItsSchemeKeepsItsPort) {
    // The fetcher resets the port from the scheme and reads the written port
    // itself, so the URL must keep ":8080" to reach that port.
    ExpectFetch("http://chat.example.org:8080/who", "http://chat.example.org:8080/who", 80);
    ExpectFetch("http://chat.example.org/who", "http://chat.example.org/who", 80);
    ExpectFetch("gopher://chat.example.org:70/", "gopher://chat.example.org:70/", 80);
    ExpectFetch("https://chat.example.org/", "https://chat.example.org/", 80);
    // "https://" is one character longer than "http://"; the port stays in place.
    ExpectFetch("https://chat.example.org:8443/who", "https://chat.example.org:8443/who", 80);
    ExpectFetch("HTTPS://c:8443/", "HTTPS://c:8443/", 80);
    ExpectFetch("HTTP://chat.example.org:8080/", "HTTP://chat.example.org:8080/", 80);
    // Bracketed IPv6 addresses, with a scheme or without, also malformed ones:
    // their colons are the fetcher's to read.
    ExpectFetch("http://[::1]:8080/x", "http://[::1]:8080/x", 80);
    ExpectFetch("https://[2001:db8::1]/", "https://[2001:db8::1]/", 80);
    ExpectFetch("[::1]:8080/x", "[::1]:8080/x", 80);
    ExpectFetch("[2001:db8:0:0:0:0:0:1]:81", "[2001:db8:0:0:0:0:0:1]:81", 80);
    ExpectFetch("[123456:1]:80/x", "[123456:1]:80/x", 80);
}

TEST(SplitUrlPort, AddressWithoutAPortIsUnchanged) {
    ExpectFetch("chat.example.org/who", "chat.example.org/who", 80);
    ExpectFetch("", "", 80);
    // A colon in the path is no port.
    ExpectFetch("chat.example.org/who?at=12:30", "chat.example.org/who?at=12:30", 80);
}

TEST(SplitUrlPort, PortThatIsNotANumberRaisesConvertError) {
    for (const char* url :
         {"chat.example.org:abc/who", "chat.example.org:/who",
          "chat.example.org:", "chat.example.org:80x", "chat.example.org:$50",
          "chat.example.org:-80", "chat.example.org:+80/", "chat.example.org: 80"})
        EXPECT_THROW(SplitUrlPort(url), rtl::EConvertError) << url;
}

TEST(SplitUrlPort, PortOutsideTheTcpRangeRaisesConvertError) {
    EXPECT_THROW(SplitUrlPort("chat.example.org:0/"), rtl::EConvertError);
    EXPECT_THROW(SplitUrlPort("chat.example.org:65536/"), rtl::EConvertError);
    EXPECT_THROW(SplitUrlPort("chat.example.org:99999999999/"), rtl::EConvertError);
    ExpectFetch("chat.example.org:65535/", "chat.example.org/", 65535);
    ExpectFetch("chat.example.org:0080/", "chat.example.org/", 80);
}
