// Whether two entries of a package would be one file: the same name, or names
// that differ only in case, compared as the file system compares them, in the
// code page the program runs with.
#ifndef SFX_EXTRACT_REPEATED_NAMES_H
#define SFX_EXTRACT_REPEATED_NAMES_H

#include <cstdint>

#include "extract/merge_format.h"

enum class NameCheck { Unique, Repeated, OutOfMemory };

NameCheck CheckNamesAreUnique(const MergeEntry* table, uint32_t count);

#endif
