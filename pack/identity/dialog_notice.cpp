#include "pack/identity/dialog_notice.h"

#include <vector>

#include "pack/pe/pe_image.h"
#include "pack/system/utf16.h"
#include "resources/resource_ids.h"

namespace {

constexpr uint32_t kSetFont = 0x40;  // DS_SETFONT
constexpr size_t kItemFixedSize = 18;

size_t Align4(size_t at)
{
    return (at + 3) & ~size_t{3};
}

// The end of a name or ordinal at `at`; nothing when it runs past the end.
std::optional<size_t> SkipText(const Bytes& dialog, size_t at, bool ordinalAllowed)
{
    if (at + 2 > dialog.size())
        return std::nullopt;
    if (ordinalAllowed && LoadLe16(dialog, at) == 0xFFFF)
        return at + 4 <= dialog.size() ? std::optional<size_t>(at + 4) : std::nullopt;
    for (; at + 2 <= dialog.size(); at += 2)
        if (LoadLe16(dialog, at) == 0)
            return at + 2;
    return std::nullopt;
}

// A plain template taken apart: its header, then each item's fixed part and
// class, its title, and its creation data, so that a title can change length.
struct DialogParts {
    Bytes header;
    struct Item {
        Bytes fixed_and_class;
        Bytes title;
        Bytes creation;  // with its size word
        uint16_t id;
    };
    std::vector<Item> items;
};

std::optional<DialogParts> Split(const Bytes& dialog)
{
    if (dialog.size() < kItemFixedSize || LoadLe16(dialog, 2) == 0xFFFF)  // an extended template
        return std::nullopt;
    std::optional<size_t> at = 18;
    for (bool ordinal : {true, true, false})
        if (at)
            at = SkipText(dialog, *at, ordinal);
    if (at && (LoadLe32(dialog, 0) & kSetFont))
        at = SkipText(dialog, *at + 2, false);
    if (!at)
        return std::nullopt;
    DialogParts parts;
    parts.header.assign(dialog.begin(), dialog.begin() + static_cast<ptrdiff_t>(*at));
    for (size_t i = 0, count = LoadLe16(dialog, 8); i < count; ++i) {
        const size_t start = Align4(*at);
        const std::optional<size_t> title = start + kItemFixedSize <= dialog.size()
                                                ? SkipText(dialog, start + kItemFixedSize, true)
                                                : std::nullopt;
        const std::optional<size_t> creation = title ? SkipText(dialog, *title, true) : std::nullopt;
        if (!creation || *creation + 2 > dialog.size() || *creation + 2 + LoadLe16(dialog, *creation) > dialog.size())
            return std::nullopt;
        const size_t end = *creation + 2 + LoadLe16(dialog, *creation);
        auto slice = [&](size_t from, size_t to) {
            return Bytes(dialog.begin() + static_cast<ptrdiff_t>(from), dialog.begin() + static_cast<ptrdiff_t>(to));
        };
        parts.items.push_back({slice(start, *title), slice(*title, *creation), slice(*creation, end),
                               LoadLe16(dialog, start + 16)});
        at = end;
    }
    return parts;
}

Bytes Join(const DialogParts& parts)
{
    Bytes out = parts.header;
    for (const DialogParts::Item& item : parts.items) {
        out.resize(Align4(out.size()), 0);
        out.insert(out.end(), item.fixed_and_class.begin(), item.fixed_and_class.end());
        out.insert(out.end(), item.title.begin(), item.title.end());
        out.insert(out.end(), item.creation.begin(), item.creation.end());
    }
    return out;
}

DialogParts::Item* Notice(DialogParts& parts)
{
    for (DialogParts::Item& item : parts.items)
        if (item.id == IDC_NOTICE_TEXT && LoadLe16(item.title, 0) != 0xFFFF)
            return &item;
    return nullptr;
}

}  // namespace

std::optional<Bytes> SetPublisher(const Bytes& dialog, const std::string& publisher, std::string* error)
{
    std::optional<DialogParts> parts = Split(dialog);
    DialogParts::Item* notice = parts ? Notice(*parts) : nullptr;
    if (!notice) {
        *error = "the stub's window has no publisher's notice (label " + std::to_string(IDC_NOTICE_TEXT) +
                 " of dialog " + std::to_string(IDD_PROGRESS) + ") to carry the name";
        return std::nullopt;
    }
    const std::u16string text = LoadUtf16(notice->title);
    const size_t lineBreak = text.find(u"\r\n");
    const std::u16string firstLine = lineBreak == std::u16string::npos ? u"" : text.substr(0, lineBreak + 2);
    notice->title.clear();
    const std::string fullStop = publisher.back() == '.' ? "" : ".";  // "Contoso Ltd." ends its own sentence
    AppendUtf16(notice->title, firstLine + Utf16FromUtf8("Packaged and published by " + publisher + fullStop),
                /*terminated=*/true);
    return Join(*parts);
}

std::string PublisherLine(const Bytes& dialog)
{
    std::optional<DialogParts> parts = Split(dialog);
    const DialogParts::Item* notice = parts ? Notice(*parts) : nullptr;
    if (!notice)
        return "";
    const std::u16string text = LoadUtf16(notice->title);
    const size_t lineBreak = text.find(u"\r\n");
    return lineBreak == std::u16string::npos ? "" : Utf8FromUtf16(text.substr(lineBreak + 2));
}
