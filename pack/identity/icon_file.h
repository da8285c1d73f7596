// Icon files (.ico) and the icon resources they become: an icon group that
// lists the images, and one icon resource for each image.
//
//   .ico   0: reserved (u16, 0)  2: type (u16, 1)  4: count (u16)
//          6: entries of 16 bytes: width, height (u8, 0 for 256), colours (u8),
//             reserved (u8), planes (u16), bits per pixel (u16), size (u32),
//             offset of the image in the file (u32)
//   group  the same header, then entries of 14 bytes: the first 12 bytes of
//          the file's entry, then the icon resource's id (u16)
#ifndef SFX_PACK_IDENTITY_ICON_FILE_H
#define SFX_PACK_IDENTITY_ICON_FILE_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pack/system/bytes.h"

struct IconImage {
    unsigned width;   // 1 to 256
    unsigned height;
    uint8_t colours;  // as the entry says: 0 for 256 and more
    uint16_t planes;
    uint16_t bits;    // bits per pixel
    Bytes bytes;      // a DIB (BITMAPINFOHEADER, colours, XOR and AND masks) or a PNG
};

// The images of an icon file, each checked: within the file, together no
// larger than it (so entries that share bytes cannot multiply them), and a
// DIB or PNG of the size its entry gives that holds what a decoder reads of
// it; or nothing, with the cause in *error.
std::optional<std::vector<IconImage>> ReadIconFile(const Bytes& file, std::string* error);

// An icon group's bytes, its images given icon ids ids[0], ids[1], ...
Bytes MakeIconGroup(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids);

// The icon ids an icon group lists; nothing when it is malformed.
std::optional<std::vector<uint16_t>> IconGroupIds(const Bytes& group);

// The start of the image an icon id names (the whole image will do), enough
// to tell a PNG by its header: kIconImageStartSize bytes; nothing when there
// is no such image.
using IconImageStart = std::function<std::optional<Bytes>(uint16_t id)>;
constexpr size_t kIconImageStartSize = 8 + 8 + 13;  // PNG signature, IHDR's length and type, its data

// The sizes an icon group lists, for people: "16x16 8-bit, 32x32 32-bit";
// with the images' starts, a PNG image as its header describes it:
// "256x256 PNG 64-bit" for 16 bits per channel of RGBA.
std::string DescribeIconGroup(const Bytes& group, const IconImageStart& imageStart = nullptr);

#endif
