// The watch cycle reading pages as browsers do, end to end against local
// servers: charsets, character references, transfer and content codings, and
// nicknames matched on whole characters. Nicknames are stored as GB bytes.
#include <iconv.h>

#include "tests/app/gui/WatchCycleFixture.h"
#include "tests/support/Gzip.h"
#include "tests/support/NginxFixture.h"

namespace {
class PageReading : public testsupport::WatchCycleFixture {
protected:
    void SetUp() override { WritePrompts(DefaultPrompts); }

    // Serves each reply in turn at its own path and returns the alert count
    // after one cycle on each, for the GB nickname 小燕子.
    std::vector<size_t> AlertsFor(const std::vector<std::string>& replies,
                                  const std::string& nickname = "小燕子") {
        std::vector<Site> sites;
        for (size_t i = 0; i < replies.size(); ++i) {
            const std::string path = "/p" + std::to_string(i);
            Server.SetReply(path, replies[i]);
            sites.push_back({"Room" + std::to_string(i), Server.Address(path)});
        }
        Open(sites, {{Gb(nickname.c_str())}});
        std::vector<size_t> alerts(replies.size());
        // The first cycle polls slot 1: cycle until every slot was polled once.
        for (size_t cycle = 0; cycle < replies.size(); ++cycle) {
            const size_t before = Desktop.MessageBoxes.size();
            Form->Timer1Timer();
            alerts[static_cast<size_t>(State.SiteCursor)] = Desktop.MessageBoxes.size() - before;
        }
        EXPECT_TRUE(Errors.Messages().empty());
        return alerts;
    }

    static std::string Reply(const std::vector<std::string>& header, const std::string& body) {
        std::string reply = "HTTP/1.0 200 OK\r\n";
        for (const auto& line : header)
            reply += line + "\r\n";
        return reply + "\r\n" + body;
    }
};

// UTF-8 text in another encoding, by iconv.
std::string Convert(const char* to, const std::string& utf8) {
    iconv_t handle = iconv_open(to, "UTF-8");
    if (handle == reinterpret_cast<iconv_t>(-1))
        return {};
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t result = iconv(handle, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(handle);
    if (result == static_cast<size_t>(-1))
        return {};
    out.resize(out.size() - outLeft);
    return out;
}
}  // namespace

TEST_F(PageReading, GbNicknameIsFoundWhateverThePagesCharset) {
    const std::string body = "<html><body><li>小燕子</li></body></html>";
    const std::string utf8Meta =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"
        "</head><body>小燕子</body></html>";
    const std::vector<size_t> found = AlertsFor({
        Reply({"Content-Type: text/html; charset=utf-8"}, body),  // header
        Reply({"Content-Type: text/html"}, utf8Meta),             // meta
        Reply({"Content-Type: text/html"}, body),                 // no label, valid UTF-8
        Reply({}, "\xFF\xFE" + Convert("UTF-16LE", body)),        // UTF-16 with its mark
        Reply({"Content-Type: text/html; charset=GB2312"}, Gb(body.c_str())),
        Reply({"Content-Type: text/html; charset=\"X-GBK\""}, Gb(body.c_str())),
        Reply({}, "<meta charset=gb18030>" + Gb(body.c_str())),
        Reply({}, Gb(body.c_str())),  // no label, not UTF-8: GB18030
        // A label no browser knows falls through to the next rule.
        Reply({"Content-Type: text/html; charset=klingon"}, body),
        // A byte-order mark outweighs a header that disagrees.
        Reply({"Content-Type: text/html; charset=gb2312"}, "\xEF\xBB\xBF" + body),
    });
    EXPECT_EQ(found, std::vector<size_t>(10, 1));
}

TEST_F(PageReading, TraditionalNicknameOnABig5PageAndTheTestPanelIsLegible) {
    const std::string big5 = Convert("BIG5-HKSCS", "<p>張學友 上線了</p>");
    ASSERT_FALSE(big5.empty());
    EXPECT_EQ(AlertsFor({Reply({"Content-Type: text/html; charset=big5"}, big5)}, "張學友"),
              std::vector<size_t>{1});
    EXPECT_NE(Memo().find(Gb("<p>張學友 上線了</p>")), std::string::npos);
}

TEST_F(PageReading, CharacterReferencesAreMatchedDecoded) {
    Server.SetPage("/refs",
                   "<b>&#23567;&#x71D5;&#23376;</b> and Tom&amp;Jerry &amp &#0;&#x110000;&#"
                   "999999999999999999999999999999;&#");
    Open({{"Refs", Server.Address("/refs")}}, {{Gb("小燕子")}, {"Tom&Jerry"}, {"Tom&amp;Jerry"}});
    Form->Timer1Timer();
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Gb("小燕子") + " one", "Tom&Jerry one",
                                                    "Tom&amp;Jerry one"}));
}

TEST_F(PageReading, ChunkedAndUnaskedGzipBodiesAreDecoded) {
    const std::string page = "<li>" + std::string(3000, '.') + "小燕子</li>";
    // Chunks of 3 bytes cut the nickname's characters apart.
    const std::string chunked =
        Reply({"Transfer-Encoding: chunked", "Content-Type: text/html; charset=utf-8"},
              testsupport::Chunked(page, 3));
    const std::string zipped = Reply({"Content-Encoding: gzip"}, testsupport::Compress(page));
    EXPECT_EQ(AlertsFor({chunked, zipped}), (std::vector<size_t>{1, 1}));
    // What reached the server asked for no coding.
    for (const auto& request : Server.Requests())
        EXPECT_EQ(request.Raw.find("Accept-Encoding"), std::string::npos);
}

TEST_F(PageReading, NicknameAcrossTwoCharactersIsNoHit) {
    // 男切球 is C4D0 C7D0 C7F2: 星星 (D0C7 D0C7) stands across its characters.
    EXPECT_EQ(
        AlertsFor({Reply({}, Gb("<li>男切球</li>")), Reply({}, Gb("<li>男切球</li><li>星星</li>"))},
                  "星星"),
        (std::vector<size_t>{0, 1}));
}

TEST_F(PageReading, BrokenPagesAreMatchedAsFarAsTheyDecode) {
    const std::string gz = testsupport::Compress("<li>小燕子</li>" + std::string(100000, 'x'));
    const std::vector<size_t> found = AlertsFor({
        Reply({"Content-Type: text/html; charset=utf-8"}, "\xC3\x28 bad \xE5\xB0 小燕子 \xF0"),
        Reply({"Transfer-Encoding: chunked"}, "d\r\n<li>小燕子\r\nzz\r\n"),  // bad size after
        Reply({"Content-Encoding: gzip"}, gz.substr(0, gz.size() / 2)),      // truncated
        Reply({"Content-Type: text/html; charset=utf-16be"}, "\x00<\x00a"),  // odd and short
    });
    EXPECT_EQ(found, (std::vector<size_t>{1, 1, 1, 0}));
}

TEST_F(PageReading, NginxServesAGzippedUtf8Page) {
    testsupport::NginxFixture nginx;
    const std::string page = "<html><body><li>小燕子</li><li>Tom</li></body></html>";
    nginx.AddFile("who.html.gz", testsupport::Compress(page));
    nginx.AddLocation("= /who.html", "gzip_static always; charset utf-8;");
    nginx.Start();
    Open({{"Nginx", nginx.Url("/who.html")}}, {{Gb("小燕子")}});
    Form->Timer1Timer();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gb("小燕子") + " one"});
    EXPECT_NE(Memo().find(Gb(page.c_str())), std::string::npos);
}
