// Text read from an installer or a file is data: printed, it must not move
// the cursor, change colours or start a line of its own. Printable() keeps
// what is plain text and writes the rest as escapes, the way git quotes paths.
#ifndef SFX_PACK_CLI_PRINTABLE_TEXT_H
#define SFX_PACK_CLI_PRINTABLE_TEXT_H

#include <string>

// `text` with its control characters (C0, DEL, C1) and the invisible
// characters that reorder or break lines (the bidirectional overrides and
// isolates, U+2028, U+2029, the byte order mark, noncharacters) escaped: \t \n \r, \x1b for other C0 controls and DEL, \u009b for
// the rest, and \xe9 for each byte that is not UTF-8. Plain text, in any
// script, is left as it is, backslashes too: Windows paths stay readable, and
// a text that spells an escape is harmless, since it is shown, not obeyed.
std::string Printable(const std::string& text);

// `text` as a JSON string, quotes included; bytes that are not UTF-8 become
// U+FFFD, so the document stays JSON.
std::string JsonString(const std::string& text);

#endif
