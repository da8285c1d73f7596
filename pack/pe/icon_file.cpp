#include "pack/pe/icon_file.h"

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

// The image's own idea of its size must be the entry's: a PNG's IHDR, or a
// DIB whose height counts the colour and the mask rows.
std::string CheckImage(IconImage& image)
{
    const Bytes& b = image.bytes;
    if (b.size() >= 24 && std::memcmp(b.data(), kPngSignature, 8) == 0) {
        if (LoadBe32(b, 16) != image.width || LoadBe32(b, 20) != image.height)
            return "a PNG image whose size is not its entry's";
        if (image.bits == 0)
            image.bits = 32;
    } else if (b.size() >= 40 && LoadLe32(b, 0) >= 40) {
        const int32_t width = static_cast<int32_t>(LoadLe32(b, 4)), height = static_cast<int32_t>(LoadLe32(b, 8));
        if (width != static_cast<int32_t>(image.width) || height != 2 * static_cast<int32_t>(image.height))
            return "a bitmap whose size is not its entry's";
        const uint16_t bits = LoadLe16(b, 14);
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
            return "a bitmap of " + std::to_string(bits) + " bits per pixel";
        image.planes = image.planes ? image.planes : LoadLe16(b, 12);
        image.bits = image.bits ? image.bits : bits;
    } else {
        return "an image that is neither a bitmap nor a PNG";
    }
    if (image.planes == 0)
        image.planes = 1;
    return "";
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

std::string DescribeIconGroup(const Bytes& group)
{
    if (!IconGroupIds(group))
        return "(malformed)";
    std::string sizes;
    for (size_t i = 0; i < LoadLe16(group, 4); ++i) {
        const size_t entry = kHeaderSize + i * kGroupEntrySize;
        sizes += (i ? ", " : "") + std::to_string(Dimension(group[entry])) + "x" +
                 std::to_string(Dimension(group[entry + 1])) + " " + std::to_string(LoadLe16(group, entry + 6)) +
                 "-bit";
    }
    return sizes;
}
