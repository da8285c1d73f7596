// Icon files for the tests: one 32-bit image for each size, every pixel one
// colour (0xAARRGGBB), as an .ico file holds them; or any images, bitmaps
// and PNGs, to be spoilt one byte at a time.
#ifndef SFX_TESTS_SUPPORT_ICON_MAKER_H
#define SFX_TESTS_SUPPORT_ICON_MAKER_H

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

inline void PutLe(std::string& out, size_t at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<char>(value >> (8 * i));
}

// An image: BITMAPINFOHEADER, the colour rows (bottom up), the AND mask.
inline std::string IconImageBytes(unsigned size, uint32_t colour)
{
    const size_t maskRow = (size + 31) / 32 * 4;
    std::string image(40 + size * size * 4 + size * maskRow, '\0');
    PutLe(image, 0, 40, 4);
    PutLe(image, 4, size, 4);
    PutLe(image, 8, 2 * size, 4);
    PutLe(image, 12, 1, 2);
    PutLe(image, 14, 32, 2);
    for (size_t pixel = 0; pixel < size * size; ++pixel)
        PutLe(image, 40 + 4 * pixel, colour, 4);
    return image;
}

// One image of an icon file, with what its entry says of it.
struct IconFileImage {
    unsigned width;  // 1 to 256
    unsigned height;
    uint16_t bits;
    std::string bytes;
};

// An icon file of the images, one after another after the list of entries.
inline std::string IconFileOf(const std::vector<IconFileImage>& images)
{
    std::string header(6 + 16 * images.size(), '\0'), bytes;
    PutLe(header, 2, 1, 2);
    PutLe(header, 4, static_cast<uint32_t>(images.size()), 2);
    for (size_t i = 0; i < images.size(); ++i) {
        const size_t entry = 6 + 16 * i;
        header[entry] = static_cast<char>(images[i].width % 256);
        header[entry + 1] = static_cast<char>(images[i].height % 256);
        PutLe(header, entry + 4, 1, 2);
        PutLe(header, entry + 6, images[i].bits, 2);
        PutLe(header, entry + 8, static_cast<uint32_t>(images[i].bytes.size()), 4);
        PutLe(header, entry + 12, static_cast<uint32_t>(header.size() + bytes.size()), 4);
        bytes += images[i].bytes;
    }
    return header + bytes;
}

inline std::string MakeIconFile(const std::vector<std::pair<unsigned, uint32_t>>& sizesAndColours)
{
    std::vector<IconFileImage> images;
    for (const auto& [size, colour] : sizesAndColours)
        images.push_back({size, size, 32, IconImageBytes(size, colour)});
    return IconFileOf(images);
}

// A PNG chunk: the data's length (big-endian), the type, the data, and the
// CRC-32 of type and data.
inline std::string PngChunk(const std::string& type, const std::string& data)
{
    std::string chunk(4, '\0');
    for (int i = 0; i < 4; ++i)
        chunk[i] = static_cast<char>(data.size() >> (24 - 8 * i));
    chunk += type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data() + 4), static_cast<uInt>(chunk.size() - 4));
    for (int i = 0; i < 4; ++i)
        chunk += static_cast<char>(crc >> (24 - 8 * i));
    return chunk;
}

// A PNG of size x size opaque grey pixels, RGBA at `depth` bits a channel
// (8 or 16): signature, IHDR, one IDAT and IEND, as a PNG icon holds it.
inline std::string PngImageBytes(unsigned size, int depth = 8)
{
    std::string header(13, '\0');
    for (int i = 0; i < 4; ++i)
        header[i] = header[4 + i] = static_cast<char>(size >> (24 - 8 * i));
    header[8] = static_cast<char>(depth);
    header[9] = 6;  // colour type: RGBA
    const size_t row = 1 + size * 4 * depth / 8;  // each row after its filter byte (0, none)
    std::string pixels(size * row, '\x80');
    for (size_t y = 0; y < size; ++y)
        pixels[y * row] = 0;
    std::string compressed(compressBound(static_cast<uLong>(pixels.size())), '\0');
    uLongf length = static_cast<uLongf>(compressed.size());
    compress(reinterpret_cast<Bytef*>(compressed.data()), &length, reinterpret_cast<const Bytef*>(pixels.data()),
             static_cast<uLong>(pixels.size()));
    compressed.resize(length);
    return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) + PngChunk("IDAT", compressed) +
           PngChunk("IEND", "");
}

#endif
