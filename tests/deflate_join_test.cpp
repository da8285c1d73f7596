// Streams that libdeflate compresses apart, joined as the packer joins them:
// whatever bit of its last byte a stream ends on, whatever its last block
// (compressed, stored, empty), the joined stream inflates with zlib to the
// pieces' bytes in order.
#include <gtest/gtest.h>

#include <libdeflate.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "pack/package/deflate_join.h"
#include "tests/support/random_bytes.h"

namespace {

using Stream = std::vector<uint8_t>;

Stream Compress(const std::string& bytes, int level)
{
    const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(level), &libdeflate_free_compressor);
    Stream stream(libdeflate_deflate_compress_bound(compressor.get(), bytes.size()));
    stream.resize(libdeflate_deflate_compress(compressor.get(), bytes.data(), bytes.size(), stream.data(),
                                              stream.size()));
    return stream;
}

// The whole raw stream inflated; "" with a note when zlib refuses it or it
// does not end where its bytes do.
std::string Inflate(const Stream& stream, size_t expected)
{
    z_stream zlib{};
    inflateInit2(&zlib, -15);
    std::string out(expected + 1, '\0');
    zlib.next_in = const_cast<uint8_t*>(stream.data());
    zlib.avail_in = static_cast<uInt>(stream.size());
    zlib.next_out = reinterpret_cast<Bytef*>(out.data());
    zlib.avail_out = static_cast<uInt>(out.size());
    const int code = inflate(&zlib, Z_FINISH);
    out.resize(out.size() - zlib.avail_out);
    const bool whole = code == Z_STREAM_END && zlib.avail_in == 0;
    inflateEnd(&zlib);
    return whole ? out : "(not one whole stream)";
}

// Pieces joined: all but the last made joinable, then one after another.
Stream Join(const std::vector<std::string>& pieces, int level)
{
    Stream joined, scratch;
    for (size_t i = 0; i < pieces.size(); ++i) {
        Stream stream = Compress(pieces[i], level);
        std::string error;
        if (i + 1 < pieces.size()) {
            EXPECT_TRUE(MakeJoinable(&stream, pieces[i].size(), &scratch, &error)) << error;
        }
        joined.insert(joined.end(), stream.begin(), stream.end());
    }
    return joined;
}

std::string Text(size_t size, unsigned seed)
{
    std::string text;
    const char* words[] = {"quill ", "moor ", "installer ", "package ", "Setup.exe\n", "zlib "};
    for (unsigned i = seed; text.size() < size; i = i * 1103515245 + 12345)
        text += words[(i >> 16) % std::size(words)];
    text.resize(size);
    return text;
}

TEST(DeflateJoin, AStreamEndingOnAnyBitOfItsLastByteIsFollowedByTheNext)
{
    // Six hundred texts of growing length: their streams end on every bit
    // of a byte, the empty block then fitting in the last byte or not.
    const std::string next = Text(300, 2);
    for (size_t size = 1; size <= 600; ++size) {
        const std::string first = Text(size, 1);
        ASSERT_EQ(Inflate(Join({first, next}, 6), size + next.size()), first + next) << size;
    }
}

TEST(DeflateJoin, EveryKindOfLastBlockJoins)
{
    const std::string noise = RandomBytes(70000, 3);  // stored blocks
    struct Case {
        const char* what;
        std::vector<std::string> pieces;
        int level;
    };
    const Case cases[] = {
        {"an empty piece first", {"", Text(1000, 4)}, 6},
        {"an empty piece between", {Text(1000, 4), "", Text(500, 5)}, 6},
        {"incompressible pieces", {noise, noise.substr(0, 12345), Text(800, 6)}, 6},
        {"text after noise after text", {Text(200000, 7), noise, Text(100, 8)}, 12},
        {"one byte each", {"a", "b", "c"}, 1},
        {"pieces of many blocks", {Text(3 << 20, 9), Text(2 << 20, 10)}, 9},
    };
    for (const Case& c : cases) {
        std::string all;
        for (const std::string& piece : c.pieces)
            all += piece;
        EXPECT_EQ(Inflate(Join(c.pieces, c.level), all.size()), all) << c.what;
    }
}

TEST(DeflateJoin, AStreamThatDoesNotInflateToItsSizeIsRefused)
{
    const std::string text = Text(5000, 11);
    Stream stream = Compress(text, 6), scratch;
    std::string error;
    EXPECT_FALSE(MakeJoinable(&stream, text.size() - 1, &scratch, &error));
    EXPECT_FALSE(error.empty());
    Stream cut = Compress(text, 6);
    cut.resize(cut.size() / 2);
    EXPECT_FALSE(MakeJoinable(&cut, text.size(), &scratch, &error));
}

}  // namespace
