// Cookies: the jar's scoping and bounds, and the client on the wire keeping
// each site's cookies to that site.
#include <gtest/gtest.h>

#include <algorithm>

#include "net/CookieJar.h"
#include "net/NMHttp.h"
#include "tests/net/HttpTestPeer.h"

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
        {"a=1; Domain=example", "http://chat.example/", "http://other.example/", ""},
        {"a=1; Domain=localhost", "http://localhost/", "http://localhost/", "a=1"},
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
    // Replacing a kept cookie pushes nothing out, nor does removing one.
    jar.TakeSetCookie("n951=w; Path=/", site);
    jar.TakeSetCookie("unknown=1; Path=/; Max-Age=0", site);
    EXPECT_EQ(jar.Count(), TCookieJar::MaxCookiesPerDomain + 1);
    EXPECT_NE(jar.CookieLine(site).find("n950=v"), std::string::npos);
    // Many domains: the jar as a whole is bounded too.
    for (int i = 0; i < 1000; ++i)
        jar.TakeSetCookie("d=1", "http://h" + std::to_string(i) + ".example/");
    EXPECT_EQ(jar.Count(), TCookieJar::MaxCookies);
    EXPECT_EQ(jar.CookieLine("http://h999.example/"), "d=1");
    EXPECT_EQ(jar.CookieLine("http://h0.example/"), "");
}

TEST(Cookies, NothingOfOneHostReachesAnotherAndNoAttributeGoesOut) {
    HttpTestPeer first;
    HttpTestPeer second;
    const std::string secondUrl = "http://localhost:" + std::to_string(second.Port());
    // The first site sets its session on a redirect to itself.
    first.Reply(Response("302 Found", {"Set-Cookie: sid=SECRET123; Path=/; HttpOnly",
                                       "set-cookie:theme=dark; Max-Age=3600",
                                       "Set-Cookie: sec=1; Secure", "Location: /room"}));
    first.Reply(Response("200 OK", {}, "first room"));
    // The second tries every way of reaching beyond itself, and floods.
    std::vector<std::string> flood = {
        "Set-Cookie: wide=1; Domain=127.0.0.1", "Set-Cookie: suffix=1; Domain=com",
        "Set-Cookie: crlf=1\rInjected: yes", "Set-Cookie: big=" + std::string(10 << 20, 'x')};
    for (int i = 0; i < 1000; ++i)
        flood.push_back("Set-Cookie: n" + std::to_string(i) + "=v");
    second.Reply(Response("200 OK", flood, "second room"));
    first.Reply(Response("200 OK", {}, "first again"));
    second.Reply(Response("200 OK", {}, "second again"));
    second.Reply(Response("200 OK", {}, "with the caller's own"));

    net::TNMHTTP http;
    http.TimeOut = 20000;
    http.Get(first.Url("/start"));
    http.Get(secondUrl + "/who");
    http.Get(first.Url("/room"));
    http.Get(secondUrl + "/who");
    http.HeaderInfo().Cookie = "mine=1";
    http.Get(secondUrl + "/who");
    EXPECT_EQ(http.Body, "with the caller's own");

    const auto cookieLine = [](const std::string& request) {
        const size_t at = request.find("\r\nCookie: ");
        return at == std::string::npos
                   ? std::string()
                   : request.substr(at + 10, request.find('\r', at + 2) - at - 10);
    };
    ASSERT_EQ(first.Requests().size(), 3u);
    ASSERT_EQ(second.Requests().size(), 3u);
    EXPECT_EQ(cookieLine(first.Requests()[0]), "");
    EXPECT_EQ(cookieLine(first.Requests()[1]), "sid=SECRET123; theme=dark");
    EXPECT_EQ(cookieLine(first.Requests()[2]), "sid=SECRET123; theme=dark");
    EXPECT_EQ(cookieLine(second.Requests()[0]), "");
    const std::string kept = cookieLine(second.Requests()[1]);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '='), TCookieJar::MaxCookiesPerDomain);
    EXPECT_EQ(kept.find("n950=v"), 0u) << kept.substr(0, 80);
    EXPECT_EQ(cookieLine(second.Requests()[2]), "mine=1; " + kept);
    for (const auto* peer : {&first, &second})
        for (const std::string& request : peer->Requests())
            for (const char* word : {"Path", "HttpOnly", "Max-Age", "Domain", "Secure",
                                     "sec=", "wide=", "suffix=", "crlf=", "Injected", "xxxx"})
                EXPECT_EQ(request.find(word), std::string::npos) << word;
    EXPECT_LE(http.CookieJar()->Count(), TCookieJar::MaxCookies);
}
