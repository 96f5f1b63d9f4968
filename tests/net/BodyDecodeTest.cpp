// The body decoders on their own: chunked framing, gzip and deflate, and the
// chain the client builds from the response's header values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/BodyDecoder.h"
#include "net/ChunkedDecoder.h"
#include "net/Inflater.h"
#include "tests/support/Gzip.h"

using net::TDecodeState;
using testsupport::Chunked;
using testsupport::Compress;
using testsupport::Wrapper;

namespace {
struct Decoded {
    std::string Text;
    TDecodeState State = TDecodeState::Running;
};

// Feeds the input in pieces of `piece` bytes, as blocks off the socket would come.
Decoded Unchunk(const std::string& input, size_t piece = 1 << 20) {
    net::TChunkedDecoder decoder;
    Decoded out;
    for (size_t at = 0; at < input.size(); at += piece)
        out.State = decoder.Feed(input.data() + at, std::min(piece, input.size() - at),
                                 [&](const char* d, size_t n) {
                                     out.Text.append(d, n);
                                     return true;
                                 });
    return out;
}

Decoded Inflate(net::TInflater::TFormat format, const std::string& input, size_t bound = 1 << 30,
                size_t piece = 1 << 20) {
    net::TInflater inflater(format);
    Decoded out;
    const net::TByteSink sink = [&](const char* d, size_t n) {
        EXPECT_LE(n, 64u * 1024u) << "output leaves in blocks";
        out.Text.append(d, std::min(n, bound - out.Text.size()));
        return out.Text.size() < bound;
    };
    for (size_t at = 0; at < input.size() && out.State == TDecodeState::Running; at += piece)
        out.State = inflater.Feed(input.data() + at, std::min(piece, input.size() - at), sink);
    out.State = inflater.Finish(sink);
    return out;
}

std::string Body(const std::string& transfer, const std::string& content,
                 const std::string& input) {
    std::string text;
    net::TBodyDecoder decoder(transfer, content, [&](const char* d, size_t n) {
        text.append(d, n);
        return true;
    });
    decoder.Put(input.data(), input.size());
    decoder.Finish();
    return text;
}

const std::string Page = "<html><body>Alice, Bob and 小燕子 are here</body></html>\n";
}  // namespace

TEST(ChunkedDecoder, DecodesWhateverTheBlockBoundaries) {
    const std::string framed = Chunked(Page, 7);
    for (size_t piece : {1u, 2u, 3u, 5u, 64u})
        EXPECT_EQ(Unchunk(framed, piece).Text, Page) << piece;
    EXPECT_EQ(Unchunk(framed).State, TDecodeState::Ended);
    // Extensions, LF-only line ends, blanks around and upper-case hex, as browsers allow.
    const Decoded loose = Unchunk("5;name=v\nhello\n 0A \r\n0123456789\r\n0\nTrailer: x\n\n");
    EXPECT_EQ(loose.Text, "hello0123456789");
    EXPECT_EQ(loose.State, TDecodeState::Ended);
    // Nothing after the last chunk is body, not even a further chunk.
    EXPECT_EQ(Unchunk("1\r\na\r\n0\r\n\r\n1\r\nb\r\n").Text, "a");
    // Leading zeros are no overflow.
    EXPECT_EQ(Unchunk(std::string(30, '0') + "3\r\nabc\r\n0\r\n\r\n").Text, "abc");
}

TEST(ChunkedDecoder, BrokenFramingKeepsWhatCameBefore) {
    const std::string good = "3\r\nabc\r\n";
    for (const std::string& bad :
         std::vector<std::string>{"zz\r\nxy\r\n", "\r\n", "-1\r\n", "0x3\r\n",
                                  "fffffffffffffffff\r\n",  // beyond 63 bits
                                  "3\r\ndefX\r\n",          // data longer than its size
                                  std::string(5000, '1')}) {
        const Decoded out = Unchunk(good + bad);
        EXPECT_EQ(out.State, TDecodeState::Broken) << bad.substr(0, 20);
        EXPECT_EQ(out.Text, bad.rfind("3\r\ndef", 0) == 0 ? "abcdef" : "abc");
    }
    // A missing final chunk leaves the decoder waiting with all the data out.
    const Decoded cut = Unchunk("3\r\nabc\r\n2\r\nde");
    EXPECT_EQ(cut.State, TDecodeState::Running);
    EXPECT_EQ(cut.Text, "abcde");
}

TEST(Inflater, GzipAndBothKindsOfDeflate) {
    using F = net::TInflater::TFormat;
    for (size_t piece : {1u, 100u, 1u << 20}) {
        EXPECT_EQ(Inflate(F::Gzip, Compress(Page), 1 << 30, piece).Text, Page);
        EXPECT_EQ(Inflate(F::Deflate, Compress(Page, Wrapper::Zlib), 1 << 30, piece).Text, Page);
        EXPECT_EQ(Inflate(F::Deflate, Compress(Page, Wrapper::Raw), 1 << 30, piece).Text, Page);
        // Members one after the other are one body; junk after the last is ignored.
        EXPECT_EQ(
            Inflate(F::Gzip, Compress("abc") + Compress("def") + "\0\0junk", 1 << 30, piece).Text,
            "abcdef");
    }
    // A zlib stream is over at its end; after a gzip member another may follow.
    EXPECT_EQ(Inflate(F::Deflate, Compress(Page, Wrapper::Zlib)).State, TDecodeState::Ended);
    EXPECT_EQ(Inflate(F::Gzip, Compress(Page)).State, TDecodeState::Running);
}

TEST(Inflater, BadStreamsKeepWhatInflatedAndPlainTextPassesAsItIs) {
    using F = net::TInflater::TFormat;
    std::string big;
    for (int i = 0; i < 20000; ++i)
        big += "row " + std::to_string(i) + " 小燕子\n";
    const std::string gz = Compress(big);
    // Truncated: a prefix of the page, nothing else.
    const Decoded cut = Inflate(F::Gzip, gz.substr(0, gz.size() / 2));
    EXPECT_GT(cut.Text.size(), big.size() / 4);
    EXPECT_EQ(big.compare(0, cut.Text.size(), cut.Text), 0);
    EXPECT_EQ(cut.State, TDecodeState::Running);
    std::string corrupt = gz;
    for (size_t i = gz.size() / 2; i < gz.size() / 2 + 64; ++i)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    const Decoded broken = Inflate(F::Gzip, corrupt);
    // Corrupt in the middle: what came before stays (deflate notices damage
    // only some way after it, so the last bytes out may already be wrong).
    EXPECT_EQ(broken.State, TDecodeState::Broken);
    ASSERT_GT(broken.Text.size(), big.size() / 8);
    EXPECT_EQ(big.compare(0, big.size() / 8, broken.Text, 0, big.size() / 8), 0);
    // A body that says it is compressed and is not: passed on as the text it is.
    EXPECT_EQ(Inflate(F::Gzip, Page).Text, Page);
    EXPECT_EQ(Inflate(F::Deflate, Page).Text, Page);
    EXPECT_EQ(Inflate(F::Gzip, "x").Text, "x");
}

TEST(Inflater, DecompressionBombStopsAtTheBound) {
    // 1 GiB of zeros compresses to about a megabyte; a few MB of it are enough here.
    const std::string bomb = Compress(std::string(64u << 20, '\0'));
    ASSERT_LT(bomb.size(), 100000u);
    const Decoded out = Inflate(net::TInflater::TFormat::Gzip, bomb, 1 << 20);
    EXPECT_EQ(out.Text.size(), 1u << 20);
    EXPECT_EQ(out.State, TDecodeState::Full);
}

TEST(BodyDecoder, UndoesTheAnnouncedCodingsInReverseOrder) {
    EXPECT_EQ(Body("chunked", "gzip", Chunked(Compress(Page), 10)), Page);
    EXPECT_EQ(Body(" Chunked ", "", Chunked(Page, 3)), Page);
    EXPECT_EQ(Body("", "X-GZIP", Compress(Page)), Page);
    EXPECT_EQ(Body("", "gzip, deflate", Compress(Compress(Page), Wrapper::Zlib)), Page);
    EXPECT_EQ(Body("gzip, chunked", "identity", Chunked(Compress(Page), 100)), Page);
    // A coding that is not understood stops the undoing; the bytes stay as they are there.
    EXPECT_EQ(Body("", "br, gzip", Compress("brotli bytes")), "brotli bytes");
    EXPECT_EQ(Body("", "gzip, br", "as sent"), "as sent");
    EXPECT_FALSE(net::TBodyDecoder("", "identity", {}).Active());
    EXPECT_FALSE(net::TBodyDecoder("", "", {}).Active());
}
