#include "pack/identity/icon_file.h"

#include <zlib.h>

#include <cstring>

#include "pack/pe/pe_image.h"

namespace {

constexpr size_t kHeaderSize = 6;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

unsigned Dimension(uint8_t stored)
{
    return stored == 0 ? 256 : stored;
}

uint32_t LoadBe32(const Bytes& bytes, size_t at)
{
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// Entries hold sizes up to 256, which tools that make larger images write
// as if they were 256.
constexpr const char* kLargestIconHint = " (an icon's images are at most 256x256)";

bool IsPng(const Bytes& b)
{
    return b.size() >= sizeof kPngSignature && std::memcmp(b.data(), kPngSignature, sizeof kPngSignature) == 0;
}

// Bits per pixel of a PNG of this bit depth and colour type; 0 for a
// combination that PNG does not have.
unsigned PngBitsPerPixel(uint8_t depth, uint8_t colourType)
{
    const bool anyDepth = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    switch (colourType) {
    case 0: return anyDepth ? depth : 0;                       // grey
    case 2: return depth == 8 || depth == 16 ? 3u * depth : 0;  // RGB
    case 3: return anyDepth && depth != 16 ? depth : 0;        // palette
    case 4: return depth == 8 || depth == 16 ? 2u * depth : 0;  // grey and alpha
    case 6: return depth == 8 || depth == 16 ? 4u * depth : 0;  // RGB and alpha
    default: return 0;
    }
}

// A PNG as a decoder walks it: the signature, IHDR first with its CRC, then
// chunks that each lie inside the image, up to IEND.
//   chunk  0: length of the data (u32, big-endian)  4: type  8: data  8+length: CRC-32 of type and data
std::string CheckPng(IconImage& image)
{
    const Bytes& b = image.bytes;
    constexpr size_t kChunkFrame = 12;  // length, type and CRC around the data
    constexpr uint32_t kHeaderLength = 13;
    const size_t first = sizeof kPngSignature;
    if (b.size() < first + kChunkFrame + kHeaderLength || LoadBe32(b, first) != kHeaderLength ||
        std::memcmp(b.data() + first + 4, "IHDR", 4) != 0)
        return "a PNG whose first chunk is not its 13-byte header (IHDR)";
    const uLong crc = crc32(crc32(0, nullptr, 0), b.data() + first + 4, 4 + kHeaderLength);
    if (crc != LoadBe32(b, first + 8 + kHeaderLength))
        return "a PNG whose header (IHDR) fails its CRC-32";
    if (LoadBe32(b, first + 8) != image.width || LoadBe32(b, first + 12) != image.height)
        return "a PNG of " + std::to_string(LoadBe32(b, first + 8)) + "x" + std::to_string(LoadBe32(b, first + 12)) +
               ", not the size its entry gives" + kLargestIconHint;
    const uint8_t depth = b[first + 16], colourType = b[first + 17];
    if (PngBitsPerPixel(depth, colourType) == 0)
        return "a PNG of bit depth " + std::to_string(depth) + " and colour type " + std::to_string(colourType) +
               ", which PNG does not have";
    // Each pass steps over one whole chunk; it ends at IEND, or with a
    // refusal where the image ends first.
    for (size_t at = first;;) {
        if (b.size() - at < kChunkFrame)
            return at == b.size() ? "a PNG without its closing chunk (IEND)"
                                  : "a PNG cut short after " + std::to_string(at) + " bytes, inside a chunk";
        const uint32_t length = LoadBe32(b, at);
        if (length > b.size() - at - kChunkFrame)
            return "a PNG whose chunk at byte " + std::to_string(at) + " claims " + std::to_string(length) +
                   " bytes, past the image's end";
        if (std::memcmp(b.data() + at + 4, "IEND", 4) == 0)
            break;
        at += kChunkFrame + length;
    }
    if (image.bits == 0)
        image.bits = 32;
    return "";
}

// A bitmap as a decoder finds its parts: the header (BITMAPINFOHEADER, or the
// longer V4 and V5 headers), the palette, the colour rows of width x height/2
// at the bitmap's bit count and the AND mask of one bit a pixel, every row
// padded to 4 bytes; its height counts the colour and the mask rows.
//   0: header size (u32)  4: width (i32)  8: height (i32)  12: planes (u16)  14: bits per pixel (u16)
//   16: compression (u32)  20: image size (u32)  24, 28: resolution  32: colours used (u32)  36: colours important
std::string CheckBitmap(IconImage& image)
{
    const Bytes& b = image.bytes;
    const uint32_t headerSize = b.size() >= 4 ? LoadLe32(b, 0) : 0;
    if (headerSize != 40 && headerSize != 108 && headerSize != 124)
        return "an image that is neither a bitmap (whose header would be of 40, 108 or 124 bytes) nor a PNG";
    if (b.size() < headerSize)
        return "a bitmap cut short in its header of " + std::to_string(headerSize) + " bytes";
    const int32_t width = static_cast<int32_t>(LoadLe32(b, 4)), height = static_cast<int32_t>(LoadLe32(b, 8));
    if (width != static_cast<int32_t>(image.width) || height != 2 * static_cast<int32_t>(image.height))
        return "a bitmap of " + std::to_string(width) + "x" + std::to_string(height / 2) +
               ", not the size its entry gives" + kLargestIconHint;
    const uint16_t bits = LoadLe16(b, 14);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return "a bitmap of " + std::to_string(bits) + " bits per pixel";
    // Icons are stored uncompressed; 16 and 32 bits may give their colour
    // masks, which follow a 40-byte header and lie inside the longer ones.
    constexpr uint32_t kUncompressed = 0, kBitFields = 3;
    const uint32_t compression = LoadLe32(b, 16);
    if (compression != kUncompressed && !(compression == kBitFields && (bits == 16 || bits == 32)))
        return "a bitmap compressed with method " + std::to_string(compression) +
               ", which icons do not use (only uncompressed pixels)";
    const uint64_t masks = compression == kBitFields && headerSize == 40 ? 12 : 0;
    // A palette comes before the pixels at any depth; up to 8 bits it has
    // 2^bits colours unless it says fewer.
    const uint32_t used = LoadLe32(b, 32);
    uint64_t colours = used;
    if (bits <= 8) {
        const uint32_t most = uint32_t{1} << bits;
        if (used > most)
            return "a bitmap whose palette claims " + std::to_string(used) + " colours, more than " +
                   std::to_string(bits) + " bits per pixel choose among (" + std::to_string(most) + ")";
        colours = used ? used : most;
    }
    const uint64_t palette = headerSize + masks + 4 * colours;
    if (palette > b.size())
        return "a bitmap cut short in its palette of " + std::to_string(colours) + " colours";
    const uint64_t colourRow = (uint64_t{image.width} * bits + 31) / 32 * 4, maskRow = (image.width + 31) / 32 * 4;
    const uint64_t whole = palette + (colourRow + maskRow) * image.height;
    if (whole > b.size())
        return "a bitmap cut short in its pixels: " + std::to_string(whole) + " bytes with the mask, in " +
               std::to_string(b.size());
    // The group lists what the image is, whatever the file's entry said:
    // Windows picks an image for a display by the group's bit count.
    image.planes = 1;
    image.bits = bits;
    return "";
}

// The image's own idea of its size must be the entry's, and it must hold
// what a decoder of its kind reads.
std::string CheckImage(IconImage& image)
{
    const std::string wrong = IsPng(image.bytes) ? CheckPng(image) : CheckBitmap(image);
    if (image.planes == 0)
        image.planes = 1;
    return wrong;
}

}  // namespace

std::optional<std::vector<IconImage>> ReadIconFile(const Bytes& file, std::string* error)
{
    if (file.size() < kHeaderSize || LoadLe16(file, 0) != 0 || LoadLe16(file, 2) != 1) {
        *error = "not an icon file (its header is not one)";
        return std::nullopt;
    }
    const size_t count = LoadLe16(file, 4);
    if (count == 0 || kHeaderSize + count * kFileEntrySize > file.size()) {
        *error = count == 0 ? "an icon file without images" : "an icon file cut short in its list of images";
        return std::nullopt;
    }
    // Every image inside the file, and together no larger than it: entries
    // that share their bytes would have them copied once for each, so a
    // small file of many entries at one large image would cost gigabytes.
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = kHeaderSize + i * kFileEntrySize;
        const uint32_t size = LoadLe32(file, entry + 8), offset = LoadLe32(file, entry + 12);
        if (size == 0 || offset > file.size() || size > file.size() - offset) {
            *error = "image " + std::to_string(i + 1) + " lies outside the file";
            return std::nullopt;
        }
        total += size;
    }
    const size_t room = file.size() - kHeaderSize - count * kFileEntrySize;
    if (total > room) {
        *error = "images that overlap: their sizes add up to " + std::to_string(total) + " bytes, more than the " +
                 std::to_string(room) + " after the file's list of them";
        return std::nullopt;
    }
    std::vector<IconImage> images;
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = kHeaderSize + i * kFileEntrySize;
        const uint32_t size = LoadLe32(file, entry + 8), offset = LoadLe32(file, entry + 12);
        IconImage image{Dimension(file[entry]), Dimension(file[entry + 1]), file[entry + 2],
                        LoadLe16(file, entry + 4), LoadLe16(file, entry + 6),
                        Bytes(file.begin() + offset, file.begin() + offset + size)};
        if (const std::string wrong = CheckImage(image); !wrong.empty()) {
            *error = "image " + std::to_string(i + 1) + " (" + std::to_string(image.width) + "x" +
                     std::to_string(image.height) + ") is " + wrong;
            return std::nullopt;
        }
        images.push_back(std::move(image));
    }
    return images;
}

Bytes MakeIconGroup(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids)
{
    Bytes group(kHeaderSize + images.size() * kGroupEntrySize, 0);
    StoreLe16(group, 2, 1);
    StoreLe16(group, 4, static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        const size_t entry = kHeaderSize + i * kGroupEntrySize;
        group[entry] = static_cast<uint8_t>(images[i].width % 256);
        group[entry + 1] = static_cast<uint8_t>(images[i].height % 256);
        group[entry + 2] = images[i].colours;
        StoreLe16(group, entry + 4, images[i].planes);
        StoreLe16(group, entry + 6, images[i].bits);
        StoreLe32(group, entry + 8, static_cast<uint32_t>(images[i].bytes.size()));
        StoreLe16(group, entry + 12, ids[i]);
    }
    return group;
}

std::optional<std::vector<uint16_t>> IconGroupIds(const Bytes& group)
{
    if (group.size() < kHeaderSize || kHeaderSize + size_t{LoadLe16(group, 4)} * kGroupEntrySize > group.size())
        return std::nullopt;
    std::vector<uint16_t> ids;
    for (size_t i = 0; i < LoadLe16(group, 4); ++i)
        ids.push_back(LoadLe16(group, kHeaderSize + i * kGroupEntrySize + 12));
    return ids;
}

std::string DescribeIconGroup(const Bytes& group, const IconImageStart& imageStart)
{
    if (!IconGroupIds(group))
        return "(malformed)";
    std::string sizes;
    for (size_t i = 0; i < LoadLe16(group, 4); ++i) {
        const size_t entry = kHeaderSize + i * kGroupEntrySize;
        sizes += (i ? ", " : "") + std::to_string(Dimension(group[entry])) + "x" +
                 std::to_string(Dimension(group[entry + 1])) + " ";
        // A PNG says its own depth, which the entry may not: a 16-bit-per-channel
        // image is listed as 32 bits by the tools that make icons.
        const std::optional<Bytes> start = imageStart ? imageStart(LoadLe16(group, entry + 12)) : std::nullopt;
        if (start && IsPng(*start)) {
            const size_t header = sizeof kPngSignature + 8;
            const unsigned bits = start->size() >= header + 10 && std::memcmp(start->data() + header - 4, "IHDR", 4) == 0
                                      ? PngBitsPerPixel((*start)[header + 8], (*start)[header + 9])
                                      : 0;
            sizes += bits ? "PNG " + std::to_string(bits) + "-bit" : std::string("PNG");
        } else {
            sizes += std::to_string(LoadLe16(group, entry + 6)) + "-bit";
        }
    }
    return sizes;
}
