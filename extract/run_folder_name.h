// The folder of its own that each run of the installer makes in the user's
// temporary folder, for the package as it writes it out, the inflated file
// and the entries' temporary copies: "sfx" and eight hexadecimal digits.
// Portable: the packer reckons with its length when it warns of names that a
// deep temporary folder would not fit.
#ifndef SFX_EXTRACT_RUN_FOLDER_NAME_H
#define SFX_EXTRACT_RUN_FOLDER_NAME_H

#include <cstddef>

// Formatted with the temporary folder's path and a number.
constexpr char kRunFolderFormat[] = "%ssfx%08lX\\";
// What the run folder adds to the path of each temporary copy.
constexpr size_t kRunFolderNameLength = sizeof "sfx12345678\\" - 1;

#endif
