// Redirects: a Location resolved against the URL it answered.
#include <gtest/gtest.h>

#include "net/UrlResolve.h"

namespace {
struct Resolution {
    std::string Reference;
    std::string Expected;  // empty: refused
};

// RFC 3986's own examples (5.4.1 normal, 5.4.2 abnormal) against its base.
// Fragments are dropped, since a fragment is never sent, and what names no
// http server ("g:h", the strict reading of "http:g") is refused.
const Resolution RfcExamples[] = {
    {"g:h", ""},
    {"g", "http://a/b/c/g"},
    {"./g", "http://a/b/c/g"},
    {"g/", "http://a/b/c/g/"},
    {"/g", "http://a/g"},
    {"//g", "http://g"},
    {"?y", "http://a/b/c/d;p?y"},
    {"g?y", "http://a/b/c/g?y"},
    {"#s", "http://a/b/c/d;p?q"},
    {"g#s", "http://a/b/c/g"},
    {"g?y#s", "http://a/b/c/g?y"},
    {";x", "http://a/b/c/;x"},
    {"g;x", "http://a/b/c/g;x"},
    {"g;x?y#s", "http://a/b/c/g;x?y"},
    {"", "http://a/b/c/d;p?q"},
    {".", "http://a/b/c/"},
    {"./", "http://a/b/c/"},
    {"..", "http://a/b/"},
    {"../", "http://a/b/"},
    {"../g", "http://a/b/g"},
    {"../..", "http://a/"},
    {"../../", "http://a/"},
    {"../../g", "http://a/g"},
    {"../../../g", "http://a/g"},
    {"../../../../g", "http://a/g"},
    {"/./g", "http://a/g"},
    {"/../g", "http://a/g"},
    {"g.", "http://a/b/c/g."},
    {".g", "http://a/b/c/.g"},
    {"g..", "http://a/b/c/g.."},
    {"..g", "http://a/b/c/..g"},
    {"./../g", "http://a/b/g"},
    {"./g/.", "http://a/b/c/g/"},
    {"g/./h", "http://a/b/c/g/h"},
    {"g/../h", "http://a/b/c/h"},
    {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
    {"g;x=1/../y", "http://a/b/c/y"},
    {"g?y/./x", "http://a/b/c/g?y/./x"},
    {"g?y/../x", "http://a/b/c/g?y/../x"},
    {"g#s/./x", "http://a/b/c/g"},
    {"g#s/../x", "http://a/b/c/g"},
    {"http:g", ""},
};
}  // namespace

TEST(Redirect, ResolvesTheExamplesOfRfc3986) {
    for (const Resolution& example : RfcExamples) {
        const net::TResolvedUrl next =
            net::ResolveLocation("http://a/b/c/d;p?q", example.Reference);
        EXPECT_EQ(next.Url, example.Expected) << example.Reference;
        EXPECT_EQ(next.Reason.empty(), !example.Expected.empty()) << example.Reference;
    }
}
