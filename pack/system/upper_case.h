// Windows' case mapping, the same on every platform: the upper case that
// Windows gives a character when it compares file names without regard to
// case (the stub upper-cases names with CharUpperBuffW).
#ifndef SFX_PACK_UPPER_CASE_H
#define SFX_PACK_UPPER_CASE_H

// The character's upper case; itself when it has none of its own.
char32_t UpperCase(char32_t c);

#endif
