// What `sfxpack info` says of an installer's identity: what Windows will show
// (its icon, version block and requested execution level), the notice in its
// window, and whether it carries a signature. Everything in it is read from
// the file, which anybody may have made, so every text is printable data.
#ifndef SFX_PACK_CLI_IDENTITY_REPORT_H
#define SFX_PACK_CLI_IDENTITY_REPORT_H

#include <string>

#include "pack/package/package_locator.h"
#include "pack/system/file_io.h"

// Lines of "name: value", each ending in a newline.
std::string DescribeIdentity(FileReader& file, const ResourceLayout& layout);

#endif
