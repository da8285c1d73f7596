// Icon files for the tests: one 32-bit image for each size, every pixel one
// colour (0xAARRGGBB), as an .ico file holds them.
#ifndef SFX_TESTS_SUPPORT_ICON_MAKER_H
#define SFX_TESTS_SUPPORT_ICON_MAKER_H

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

inline std::string MakeIconFile(const std::vector<std::pair<unsigned, uint32_t>>& sizesAndColours)
{
    std::string header(6 + 16 * sizesAndColours.size(), '\0'), images;
    PutLe(header, 2, 1, 2);
    PutLe(header, 4, static_cast<uint32_t>(sizesAndColours.size()), 2);
    for (size_t i = 0; i < sizesAndColours.size(); ++i) {
        const std::string image = IconImageBytes(sizesAndColours[i].first, sizesAndColours[i].second);
        const size_t entry = 6 + 16 * i;
        header[entry] = header[entry + 1] = static_cast<char>(sizesAndColours[i].first % 256);
        PutLe(header, entry + 4, 1, 2);
        PutLe(header, entry + 6, 32, 2);
        PutLe(header, entry + 8, static_cast<uint32_t>(image.size()), 4);
        PutLe(header, entry + 12, static_cast<uint32_t>(6 + 16 * sizesAndColours.size() + images.size()), 4);
        images += image;
    }
    return header + images;
}

#endif
