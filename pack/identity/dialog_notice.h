// The publisher's notice in the progress window: the second line of the
// notice label (control 1203) of the dialog template, "Packaged and
// published by NAME."; the first line and the rest of the template stay.
//
//   DLGTEMPLATE  0: style (u32)  4: extended style (u32)  8: item count (u16)
//               10: x, y, cx, cy (u16 each); then menu, class (0, 0xFFFF and
//               an ordinal, or UTF-16 text), title (UTF-16), and with
//               DS_SETFONT the point size (u16) and the typeface (UTF-16)
//   item         on a 4-byte boundary: style, extended style (u32 each),
//               x, y, cx, cy, id (u16 each), class and title (as above),
//               creation data: its size (u16) and its bytes
#ifndef SFX_PACK_IDENTITY_DIALOG_NOTICE_H
#define SFX_PACK_IDENTITY_DIALOG_NOTICE_H

#include <cstddef>
#include <optional>
#include <string>

#include "pack/system/bytes.h"

// The longest publisher's name that keeps the notice's second line one line
// wide in the window (8-point Tahoma, a label 189 dialog units wide).
constexpr size_t kLongestPublisher = 20;

// The template with the notice's second line naming `publisher` (UTF-8);
// nothing, with the cause in *error, when the template has no such label.
std::optional<Bytes> SetPublisher(const Bytes& dialog, const std::string& publisher, std::string* error);

// The notice's second line, as UTF-8; empty when there is none.
std::string PublisherLine(const Bytes& dialog);

#endif
