// Cookies: the jar's scoping and bounds.
#include <gtest/gtest.h>

#include "net/CookieJar.h"

using net::TCookieJar;

TEST(CookieJar, SendsEachCookieOnlyWhereItsSiteSaid) {
    struct Case {
        std::string SetCookie;
        std::string From;
        std::string To;
        std::string Sent;
    };
    const Case cases[] = {
        // Without a Domain, to this host only, whatever the port.
        {"a=1", "http://example.com:8080/", "http://example.com:9090/", "a=1"},
        {"a=1", "http://example.com/", "http://www.example.com/", ""},
        {"a=1", "http://127.0.0.1/", "http://localhost/", ""},
        // A Domain reaches its sub-domains and never another site.
        {"a=1; Domain=example.com", "http://www.example.com/", "http://chat.example.com/", "a=1"},
        {"a=1; Domain=.example.com", "http://www.example.com/", "http://example.com/", "a=1"},
        {"a=1; Domain=other.org", "http://www.example.com/", "http://other.org/", ""},
        {"a=1; Domain=ample.com", "http://www.example.com/", "http://ample.com/", ""},
        // A public suffix is no one's site; a host that is one keeps its own.
        {"a=1; Domain=com", "http://www.example.com/", "http://other.com/", ""},
        {"a=1; Domain=co.uk", "http://www.example.co.uk/", "http://www.other.co.uk/", ""},
        {"a=1; Domain=github.io", "http://x.github.io/", "http://y.github.io/", ""},
        {"a=1; Domain=github.io", "http://github.io/", "http://github.io/", "a=1"},
        {"a=1; Domain=github.io", "http://github.io/", "http://y.github.io/", ""},
        // An address has no sub-domains.
        {"a=1; Domain=.0.0.1", "http://127.0.0.1/", "http://127.0.0.1/", ""},
        {"a=1; Domain=127.0.0.1", "http://127.0.0.1/", "http://127.0.0.1/", "a=1"},
        // A Path and below it; without one, the folder of the page.
        {"a=1; Path=/room", "http://h.example/", "http://h.example/room/y", "a=1"},
        {"a=1; Path=/room", "http://h.example/", "http://h.example/room", "a=1"},
        {"a=1; Path=/room", "http://h.example/", "http://h.example/roomy", ""},
        {"a=1", "http://h.example/rel-b/go", "http://h.example/rel-b", "a=1"},
        {"a=1", "http://h.example/rel-b/go", "http://h.example/rel-b/room.html", "a=1"},
        {"a=1", "http://h.example/rel-b/go", "http://h.example/other", ""},
        // Secure: sent over https only, and taken from https only.
        {"s=1; Secure", "https://h.example/", "https://h.example/", "s=1"},
        {"s=1; Secure", "https://h.example/", "http://h.example/", ""},
        {"s=1; Secure", "http://h.example/", "https://h.example/", ""},
        // Lifetimes.
        {"a=1; Max-Age=3600", "http://h.example/", "http://h.example/", "a=1"},
        {"a=1; Max-Age=0", "http://h.example/", "http://h.example/", ""},
        {"a=1; Expires=Wed, 09 Jun 2021 10:18:14 GMT", "http://h.example/", "http://h.example/",
         ""},
        // Only name=value goes out, never an attribute.
        {"sid=S; PATH=/; httponly; SameSite=Lax; Priority=High", "http://h.example/x",
         "http://h.example/y", "sid=S"},
        // What could smuggle in header lines or swell every request is refused.
        {"a=1\rInjected: yes", "http://h.example/", "http://h.example/", ""},
        {"a=1; Path=/\x7F", "http://h.example/", "http://h.example/", ""},
        {"a=" + std::string(TCookieJar::MaxCookieBytes, 'v'), "http://h.example/",
         "http://h.example/", ""},
        {"a=" + std::string(TCookieJar::MaxCookieBytes - 2, 'v'), "http://h.example/",
         "http://h.example/", "a=" + std::string(TCookieJar::MaxCookieBytes - 2, 'v')},
        {"=nameless", "http://h.example/", "http://h.example/", ""},
    };
    for (const Case& c : cases) {
        TCookieJar jar;
        jar.TakeSetCookie(c.SetCookie, c.From);
        EXPECT_EQ(jar.CookieLine(c.To), c.Sent)
            << c.SetCookie.substr(0, 60) << " from " << c.From << " to " << c.To;
    }
}

TEST(CookieJar, KeepsItsBoundsAndTheLatestValues) {
    TCookieJar jar;
    const std::string site = "http://h.example/room/go";
    jar.TakeSetCookie("b=2; Path=/", site);
    jar.TakeSetCookie("a=1", site);
    jar.TakeSetCookie("b=3; Path=/", site);
    // The most specific path first, each name once with its latest value.
    EXPECT_EQ(jar.CookieLine("http://h.example/room/x"), "a=1; b=3");
    jar.TakeSetCookie("a=1; Max-Age=0", site);
    EXPECT_EQ(jar.CookieLine("http://h.example/room/x"), "b=3");

    jar.TakeSetCookie("other=1", "http://other.example/");
    for (int i = 0; i < 1000; ++i)
        jar.TakeSetCookie("n" + std::to_string(i) + "=v; Path=/", site);
    EXPECT_EQ(jar.Count(), TCookieJar::MaxCookiesPerDomain + 1);
    const std::string line = jar.CookieLine(site);
    EXPECT_NE(line.find("n999=v"), std::string::npos) << "the newest stay";
    EXPECT_EQ(line.find("b=3"), std::string::npos) << "the oldest of the domain went";
    EXPECT_EQ(jar.CookieLine("http://other.example/"), "other=1") << "another domain's stayed";
    // Replacing a kept cookie pushes nothing out.
    jar.TakeSetCookie("n951=w; Path=/", site);
    EXPECT_EQ(jar.Count(), TCookieJar::MaxCookiesPerDomain + 1);
    EXPECT_NE(jar.CookieLine(site).find("n950=v"), std::string::npos);
    EXPECT_FALSE(jar.TakeSetCookie("big=" + std::string(10 << 20, 'x'), site));
    // Many domains: the jar as a whole is bounded too.
    for (int i = 0; i < 1000; ++i)
        jar.TakeSetCookie("d=1", "http://h" + std::to_string(i) + ".example/");
    EXPECT_EQ(jar.Count(), TCookieJar::MaxCookies);
    EXPECT_EQ(jar.CookieLine("http://h999.example/"), "d=1");
    EXPECT_EQ(jar.CookieLine("http://h0.example/"), "");
    EXPECT_EQ(jar.CookieLine("not a url"), "");
}
