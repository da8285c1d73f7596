// Streams that libdeflate compresses apart, joined as the packer joins them:
// all but the last left unfinished (by our patch to libdeflate), then one
// after another. Whatever bit of its last byte a stream ends on, whatever its
// last block (compressed, stored, empty), at every level, the joined stream
// inflates with zlib, whole, to the pieces' bytes in order. Zopfli's streams
// are ended the same way by EndWithEmptyStoredBlock.
#include <gtest/gtest.h>

#include <libdeflate.h>
#include <zlib.h>
#include <zopfli/deflate.h>

#include <cstdlib>

#include <memory>
#include <string>
#include <vector>

#include "pack/package/deflate_join.h"
#include "tests/support/random_bytes.h"

namespace {

using Stream = std::vector<uint8_t>;

// A whole stream, or one left unfinished for another to follow.
Stream Compress(const std::string& bytes, int level, bool unfinished)
{
    const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(level), &libdeflate_free_compressor);
    Stream stream(libdeflate_deflate_compress_bound(compressor.get(), bytes.size()) + 5);
    const auto compress = unfinished ? libdeflate_deflate_compress_unfinished : libdeflate_deflate_compress;
    stream.resize(compress(compressor.get(), bytes.data(), bytes.size(), stream.data(), stream.size()));
    EXPECT_FALSE(stream.empty());
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

// Pieces joined: all but the last left unfinished, then one after another.
Stream Join(const std::vector<std::string>& pieces, int level)
{
    Stream joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Stream stream = Compress(pieces[i], level, /*unfinished=*/i + 1 < pieces.size());
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
    // Texts of growing length: their streams end on every bit of a byte, the
    // empty block then fitting in the last byte or not; at every level, each
    // of whose compressors (and the stored blocks of the shortest inputs)
    // leaves its stream unfinished.
    const std::string next = Text(300, 2);
    for (int level = 1; level <= 12; ++level)
        for (size_t size = 0; size <= (level == 6 ? 600 : 80); ++size) {
            const std::string first = Text(size, 1);
            ASSERT_EQ(Inflate(Join({first, next}, level), size + next.size()), first + next)
                << "level " << level << ", " << size << " bytes";
        }
}

TEST(DeflateJoin, AStreamLeftUnfinishedIsNoWholeStreamOnItsOwn)
{
    const std::string text = Text(5000, 11);
    const Stream unfinished = Compress(text, 6, /*unfinished=*/true);
    EXPECT_EQ(Inflate(unfinished, text.size()), "(not one whole stream)");
    EXPECT_EQ(Stream(unfinished.end() - 4, unfinished.end()), (Stream{0x00, 0x00, 0xFF, 0xFF}))
        << "it ends as a sync flush does";
}

TEST(DeflateJoin, ZopflisStreamsEndedByAnEmptyStoredBlockAreFollowedByTheNext)
{
    // Zopfli says how many bits of its last byte a stream uses; texts of
    // growing length end on each of them.
    const std::string next = Text(300, 2);
    ZopfliOptions options;
    ZopfliInitOptions(&options);
    options.numiterations = 1;
    for (size_t size = 1; size <= 80; ++size) {
        const std::string first = Text(size, 1);
        unsigned char bits = 0, *compressed = nullptr;
        size_t compressedSize = 0;
        ZopfliDeflatePart(&options, /*btype=*/2, /*final=*/0, reinterpret_cast<const unsigned char*>(first.data()), 0,
                          first.size(), &bits, &compressed, &compressedSize);
        Stream joined(compressed, compressed + compressedSize);
        std::free(compressed);
        EndWithEmptyStoredBlock(&joined, bits);
        const Stream rest = Compress(next, 6, /*unfinished=*/false);
        joined.insert(joined.end(), rest.begin(), rest.end());
        ASSERT_EQ(Inflate(joined, size + next.size()), first + next) << size << " bytes";
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

}  // namespace
