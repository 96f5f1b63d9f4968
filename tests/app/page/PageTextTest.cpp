// The GUI-free steps of reading a page: charset labels and decision, the
// conversion to GB18030, character references, whole-character matching, and
// the reader that runs them in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/page/CharRefs.h"
#include "app/page/CharsetLabel.h"
#include "app/page/GbPage.h"
#include "app/page/JsonEscapes.h"
#include "app/page/PageCharset.h"
#include "app/page/PageReader.h"
#include "app/page/TargetMatch.h"
#include "rtl/GbText.h"

using namespace app;
using rtl::Gb;

namespace {
std::string ToGb(std::string_view encoding, std::string_view page) {
    std::string out = "old contents";
    ConvertPageToGb(encoding, page, out);
    return out;
}
const std::string Fffd = "\x84\x31\xA4\x37";

std::string Refs(std::string_view text) {
    std::string out;
    return DecodeCharRefs(text, out) ? out : "<none>";
}

std::string Unescaped(std::string_view text) {
    std::string out = "old contents";
    return DecodeJsonEscapes(text, out) ? out : "<none>";
}
}  // namespace

TEST(CharsetLabel, MatchesLabelsAsBrowsersDo) {
    EXPECT_EQ(EncodingForLabel(" \tUTF8\r\n"), "UTF-8");
    EXPECT_EQ(EncodingForLabel("x-gbk"), "GBK");
    EXPECT_EQ(EncodingForLabel("GB2312"), "GBK");
    EXPECT_EQ(EncodingForLabel("gb18030"), "gb18030");
    EXPECT_EQ(EncodingForLabel("Big5-HKSCS"), "Big5");
    EXPECT_EQ(EncodingForLabel("iso-8859-1"), "windows-1252");
    EXPECT_EQ(EncodingForLabel("us-ascii"), "windows-1252");
    EXPECT_EQ(EncodingForLabel("utf-16"), "UTF-16LE");
    EXPECT_EQ(EncodingForLabel("hz-gb-2312"), "replacement");
    for (const char* unknown : {"", "utf-8x", "gb 2312", "klingon", "utf-8;", "\xD6\xD0"})
        EXPECT_EQ(EncodingForLabel(unknown), "") << unknown;
}

TEST(PageCharset, DecidesInTheOrderBrowsersDo) {
    const std::string utf8 = "<p>小燕子</p>";
    const auto decide = [](std::string_view type, std::string_view page) {
        const TPageCharset c = DecidePageCharset(type, page);
        return std::string(c.Encoding) + "/" + std::to_string(static_cast<int>(c.Source));
    };
    EXPECT_EQ(decide("text/html; charset=gbk", "\xEF\xBB\xBF" + utf8), "UTF-8/0");
    EXPECT_EQ(decide("", "\xFE\xFF\x00<"), "UTF-16BE/0");
    EXPECT_EQ(decide("text/html;CHARSET=\"Shift_JIS\";q=1", utf8), "Shift_JIS/1");
    EXPECT_EQ(decide("text/html; charset=nonsense", "<meta charset='big5'>" + utf8), "Big5/2");
    EXPECT_EQ(decide("",
                     "<!-- <meta charset=koi8-r> --><meta http-equiv=Content-Type "
                     "content=\"text/html;charset=windows-1251\">"),
              "windows-1251/2");
    // A content declaration without its http-equiv, or one past 1024 bytes, does not count.
    EXPECT_EQ(decide("", "<meta content=\"text/html; charset=koi8-r\">"), "gb18030/4");
    EXPECT_EQ(decide("", std::string(1100, ' ') + "<meta charset=utf-8>"), "gb18030/4");
    EXPECT_EQ(decide("", "<meta charset=utf-16le>"), "UTF-8/2");
    EXPECT_EQ(decide("text/html", utf8), "UTF-8/3");
    EXPECT_EQ(decide("", utf8.substr(0, utf8.size() - 5)), "UTF-8/3") << "cut at the end";
    EXPECT_EQ(decide("", "plain ascii"), "gb18030/4");
    EXPECT_EQ(decide("", Gb(utf8)), "gb18030/4");
    EXPECT_EQ(decide("", "\xC0\x80 overlong \xED\xA0\x80"), "gb18030/4");
}

TEST(GbPage, ConvertsWithTheSystemConverterAndMarksBadBytes) {
    const std::string utf8 = "Zoë 小燕子 𠀀 €";
    const std::string gb = Gb(utf8);
    EXPECT_EQ(ToGb("UTF-8", "\xEF\xBB\xBF" + utf8), gb);
    EXPECT_EQ(ToGb("gb18030", "\xEF\xBB\xBF" + gb), "\xEF\xBB\xBF" + gb) << "passes as it is";
    const QString text = QString::fromStdString(utf8);
    const std::string le(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_EQ(ToGb("UTF-16LE", "\xFF\xFE" + le), gb);
    std::string be = le;
    for (size_t i = 0; i + 1 < be.size(); i += 2)
        std::swap(be[i], be[i + 1]);
    EXPECT_EQ(ToGb("UTF-16BE", be), gb);
    EXPECT_EQ(ToGb("windows-1252", "caf\xE9 \x80"), Gb("café €"));
    EXPECT_EQ(ToGb("Big5", "\xB1\x69\xBE\xC7\xA4\xCD"), Gb("張學友"));
    // Invalid input: one U+FFFD per bad piece, the rest kept.
    EXPECT_EQ(ToGb("UTF-8", "a\xE5\xB0z\xFF"), "a" + Fffd + "z" + Fffd);
    EXPECT_EQ(ToGb("UTF-16LE", std::string("\x00\xD8"
                                           "a\x00"
                                           "b",
                                           5)),
              Fffd + "a" + Fffd);
    EXPECT_EQ(ToGb("Shift_JIS", "ok\x81"), "ok" + Fffd);
    EXPECT_EQ(ToGb("replacement", "anything"), Fffd);
    EXPECT_EQ(ToGb("x-user-defined", "a\x80"), "a" + Gb("\xEF\x9E\x80"));
    // Every encoding a label names converts plain text.
    for (const char* label :
         {"866",    "latin2",      "iso-8859-3",     "iso-8859-4", "cyrillic",    "arabic",
          "greek",  "hebrew",      "logical",        "latin6",     "iso-8859-13", "iso-8859-14",
          "l9",     "iso-8859-16", "koi8-r",         "koi8-u",     "mac",         "tis-620",
          "cp1250", "cp1251",      "cp1253",         "cp1254",     "cp1255",      "cp1256",
          "cp1257", "cp1258",      "x-mac-cyrillic", "euc-jp",     "iso-2022-jp", "sjis",
          "euc-kr", "big5"})
        EXPECT_EQ(ToGb(EncodingForLabel(label), "Alice <b>"), "Alice <b>") << label;
    // The table agrees with iconv on every BMP character.
    std::string bmp;
    for (char16_t c = 1; c != 0; ++c)
        if (c < 0xD800 || c > 0xDFFF)
            bmp.append(reinterpret_cast<const char*>(&c), 2);
    EXPECT_EQ(ToGb("UTF-16LE", bmp), rtl::GbFromCharset("UTF-16LE", bmp, 2));
    // Beyond the BMP GB18030 is one linear rule; it agrees with iconv.
    for (const char32_t c : {0x10000u, 0x1F600u, 0x2A6D6u, 0x10FFFFu}) {
        std::string mine;
        AppendGbChar(c, mine);
        const std::string utf32(reinterpret_cast<const char*>(&c), 4);
        EXPECT_EQ(mine, rtl::GbFromCharset("UTF-32LE", utf32))
            << std::hex << static_cast<uint32_t>(c);
    }
}

TEST(CharRefs, DecodesReferencesAsBrowsersDo) {
    EXPECT_EQ(Refs("no references"), "<none>");
    EXPECT_EQ(Refs("&#23567;&#x71D5;&#X5b50"), Gb("小燕子"));
    EXPECT_EQ(Refs("Tom&amp;Jerry &lt;&gt;&quot;&apos;&nbsp;&copy &eacute;"),
              Gb("Tom&Jerry <>\"' © é"));
    EXPECT_EQ(Refs("&notit; &notin; &amplt &CounterClockwiseContourIntegral; &NotEqualTilde;"),
              Gb("¬it; ∉ &lt ∳ ≂̸"));
    EXPECT_EQ(Refs("&#0;|&#x110000;|&#xD800;|&#" + std::string(30, '9') + ";|&#128;|&#x81;"),
              Fffd + "|" + Fffd + "|" + Fffd + "|" + Fffd + "|" + Gb("€") + "|" + Gb("\xC2\x81"));
    EXPECT_EQ(Refs("& &# &#x; &foo; &;&"), "& &# &#x; &foo; &;&");
    EXPECT_EQ(Refs("&#65"), "A") << "unterminated at the end";
    EXPECT_EQ(Refs(Gb("小&amp;燕")), Gb("小&燕"));
}

TEST(JsonEscapes, DecodesStringEscapesAndNothingThatCouldJoinAName) {
    EXPECT_EQ(Unescaped("no escapes"), "<none>");
    EXPECT_EQ(Unescaped(R"(["\u674e\u5BFB\u6b22", "\ud83d\ude00"])"), Gb("[\"李寻欢\", \"😀\"]"));
    EXPECT_EQ(Unescaped(R"(\" \\ \/ \b\f\n\r\t)"), "\" \\ / \b\f\n\r\t");
    // Broken escapes and lone surrogates stand between their neighbours.
    EXPECT_EQ(
        Unescaped(R"(A\qB \u12G \ud800C \udc00D \ud800\u0041 E\)"),
        "A" + Fffd + "qB " + Fffd + "u12G " + Fffd + "C " + Fffd + "D " + Fffd + "A E" + Fffd);
    // 0x5C is also a trail byte: the character 81 5C is text, not an escape.
    EXPECT_EQ(Unescaped("\x81\x5cu0041\\u0041"), "\x81\x5cu0041A");

    EXPECT_TRUE(IsJsonOrScriptType("application/json; charset=utf-8"));
    EXPECT_TRUE(IsJsonOrScriptType(" Text/JavaScript"));
    EXPECT_TRUE(IsJsonOrScriptType("application/vnd.room+json"));
    EXPECT_FALSE(IsJsonOrScriptType("text/html"));
    EXPECT_FALSE(IsJsonOrScriptType("+json"));
    EXPECT_TRUE(LooksLikeJson(" \r\n[1]"));
    EXPECT_FALSE(LooksLikeJson("<html>[1]"));
    EXPECT_FALSE(LooksLikeJson("  "));

    std::string scripts = "old contents";
    EXPECT_FALSE(ScriptTexts("<p>no script</p><scripts>x</scripts>", scripts));
    EXPECT_TRUE(scripts.empty());
    EXPECT_TRUE(ScriptTexts(
        "<SCRIPT type=x>a=1</Script><p>text</p><script>b=2</script ><script>open", scripts));
    EXPECT_EQ(scripts, "a=1\nb=2\nopen\n");
}

TEST(TargetMatch, NamesMatchOnlyOnCharacterBoundaries) {
    // 男切球 is C4D0 C7D0 C7F2: 星星 (D0C7 D0C7) stands across its characters.
    const std::string across = Gb("男切球");
    TSearchText text(across);
    EXPECT_FALSE(text.Contains(Gb("星星")));
    const std::string laterText = across + Gb("星星");
    TSearchText later(laterText);
    EXPECT_TRUE(later.Contains(Gb("星星")));
    // Four-byte characters and stray bytes keep the boundaries right.
    const std::string mixedText = Gb("𠀀a") + "\x81 " + Gb("星");
    TSearchText mixed(mixedText);
    EXPECT_TRUE(mixed.Contains(Gb("星")));
    EXPECT_TRUE(mixed.Contains("a"));
    EXPECT_FALSE(mixed.Contains("\x30"));  // the second byte of 𠀀
    // Pure ASCII as before.
    TSearchText ascii("Alice, Bob");
    EXPECT_TRUE(ascii.Contains("Bob"));
    EXPECT_FALSE(ascii.Contains("bob"));

    // Many names in one walk agree with one search per name.
    const std::string page = across + " Bob " + Gb("小燕子") + " A";
    const std::vector<std::string> names = {Gb("星星"), "Bob", Gb("燕子"), "A",           "",
                                            Gb("切"),   "Z",   "b",        Gb("球") + "x"};
    std::vector<std::string_view> views(names.begin(), names.end());
    TSearchText all(page);
    std::vector<bool> found;
    FindNames(all, views, found);
    for (size_t i = 0; i < names.size(); ++i) {
        TSearchText one(page);
        EXPECT_EQ(found[i], one.Contains(names[i])) << i;
    }
    EXPECT_EQ(found, (std::vector<bool>{false, true, true, true, false, true, false, true, false}));
}

TEST(PageReader, RunsEveryStepInOrderAndKeepsTheTexts) {
    TPageReader reader;
    const std::vector<std::string_view> none;
    // A UTF-8 page: converted, stripped, references decoded, names found in
    // either text; an empty name (an unwatched slot) matches nothing.
    const std::string utf8 = "<p title=\"Eve\">小燕子</p> &#26143;&#26143; Tom&amp;Jerry";
    const std::vector<std::string> names = {Gb("小燕子"), Gb("星星"), "Tom&Jerry", "Eve", ""};
    const std::vector<std::string_view> views(names.begin(), names.end());
    reader.Read("text/html; charset=utf-8", utf8, views);
    EXPECT_EQ(reader.Charset().Source, TCharsetSource::Header);
    EXPECT_EQ(reader.Page(), Gb(utf8));
    EXPECT_EQ(reader.Text(), Gb("小燕子 &#26143;&#26143; Tom&amp;Jerry"));
    ASSERT_TRUE(reader.HasReferences());
    EXPECT_EQ(reader.DecodedText(), Gb("小燕子 星星 Tom&Jerry"));
    EXPECT_EQ(reader.Present(), (std::vector<bool>{true, true, true, false, false}));

    // A GB page is used as it is, and a page without references leaves no
    // decoded text of the page before behind.
    const std::string gb = Gb("<b>星星</b>");
    reader.Read("text/html", gb, views);
    EXPECT_EQ(reader.Page().data(), gb.data());
    EXPECT_EQ(reader.Text(), Gb("星星"));
    EXPECT_FALSE(reader.HasReferences());
    EXPECT_TRUE(reader.DecodedText().empty());
    EXPECT_EQ(reader.Present(), (std::vector<bool>{false, true, false, false, false}));
    reader.Read("", "", none);
    EXPECT_TRUE(reader.Present().empty());

    // Escaped names count in a JSON body (by its type or its look) and in an
    // HTML page's scripts, not in the page's own text.
    const std::vector<std::string> escaped = {Gb("李寻欢"), Gb("小燕子")};
    const std::vector<std::string_view> escapedViews(escaped.begin(), escaped.end());
    const std::string list = R"(["\u674e\u5bfb\u6b22"])";
    for (const char* type : {"application/json", "text/plain"}) {
        reader.Read(type, list, escapedViews);
        EXPECT_TRUE(reader.HasEscapes()) << type;
        EXPECT_EQ(reader.Present(), (std::vector<bool>{true, false})) << type;
    }
    const std::string html =
        R"(<p>\u5c0f\u71d5\u5b50</p><script>var who = ["\u674e\u5bfb\u6b22"];</script>)";
    reader.Read("text/html; charset=utf-8", html, escapedViews);
    EXPECT_EQ(reader.UnescapedText(), Gb("var who = [\"李寻欢\"];\n"));
    EXPECT_EQ(reader.Present(), (std::vector<bool>{true, false}));
    reader.Read("text/html", "<p>plain</p>", escapedViews);
    EXPECT_FALSE(reader.HasEscapes());
    EXPECT_TRUE(reader.UnescapedText().empty());
}
