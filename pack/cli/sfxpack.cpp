// sfxpack: makes self-extracting installers from folders of files, and lists,
// extracts and verifies existing ones.
#include <zlib.h>

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "pack/cli/commands.h"
#include "pack/system/interrupt_cleanup.h"

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  sfxpack create [-o OUT.exe] [--stub STUB.exe] [--launch NAME | --no-launch]\n"
    "                 [--level 0-9] [--threads N] [--codepage CP] [--strip-symbols] PATH...\n"
    "      Packs the files (a folder stands for the files in it) into an installer.\n"
    "      OUT.exe defaults to installer.exe; the launch file to Setup.exe when present;\n"
    "      the level to zlib's default (6); the threads to the number of cores (the\n"
    "      bytes are the same whatever the number); the code page of the names to 1252.\n"
    "      A stub's COFF symbol table moves to the end of the installer, where\n"
    "      debuggers still find it; --strip-symbols drops it.\n"
    "  sfxpack inject [--strip-symbols] STUB.exe PACKAGE.z -o OUT.exe\n"
    "      Embeds a ready zlib package as it is, unchecked.\n"
    "  sfxpack list [--codepage CP] INSTALLER.exe\n"
    "      The launch name, then each entry: size, creation, last access and last\n"
    "      write times (UTC), name.\n"
    "  sfxpack extract [--codepage CP] INSTALLER.exe DIR\n"
    "      Writes the entries into DIR with their times; never overwrites a file.\n"
    "  sfxpack verify INSTALLER.exe\n"
    "      Checks the package: present, zlib stream and Adler-32 whole, format and\n"
    "      names sound.\n"
    "  sfxpack --help | --version\n";

int Run(const Arguments& all)
{
    if (all.empty())
        return UsageError("no command");
    const std::string command = all[0];
    const Arguments args(all.begin() + 1, all.end());
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("sfxpack %s (zlib %s)\n", SFX_VERSION, zlibVersion());
        return 0;
    }
    if (command == "create")
        return Create(args);
    if (command == "inject")
        return Inject(args);
    if (command == "list")
        return List(args);
    if (command == "extract")
        return Extract(args);
    if (command == "verify")
        return Verify(args);
    return UsageError("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv)
{
    // Every failure the packer foresees is a message; this is for the rest,
    // so that nothing ends in an abort.
    RemoveWorkInProgressOnInterrupt();
    try {
        return Run(Arguments(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    } catch (const std::exception& exception) {
        return Fail(std::string("unexpected failure: ") + exception.what());
    }
}
