#include "pack/cli/help.h"

#include <cstdio>

namespace {

struct CommandHelp {
    const char* name;
    const char* text;
};

constexpr CommandHelp kCommands[] = {
    {"create",
     "  sfxpack create [OPTIONS] PATH...\n"
     "      Packs the files (a folder stands for the files in it) into an installer.\n"
     "      -o, --output=OUT.exe    the installer to write (installer.exe)\n"
     "      --stub=STUB.exe         the stub to copy (the sfxstub.exe installed with sfxpack)\n"
     "      --launch=NAME           the packed file to open after installing (Setup.exe if packed)\n"
     "      --no-launch             open nothing after installing\n"
     "      --level=0-11            compression level (6): 0 stores; 1-9 libdeflate's; 10 its\n"
     "                              near-optimal parsing, slower; 11 zopfli's, smaller still,\n"
     "                              some 100 times slower\n"
     "      --iterations=N          zopfli's rounds for each block at level 11 (15)\n"
     "      --threads=N             threads that compress (one a core); the bytes are the same\n"
     "      --codepage=CP           the ANSI code page of the machines that install it, in which\n"
     "                              the installer reads the names (1252; 1250, 1251, 1253, 932...)\n"
     "      --times=each|write      each file's three times (each), or all three from its\n"
     "                              last write time, whatever reading or copying did (write)\n"
     "      --files-from=FILE       also the paths in FILE (- for standard input), one a line,\n"
     "                              in UTF-8\n"
     "      --null                  the lists of --files-from separate their paths with NULs,\n"
     "                              as find -print0 writes them\n"
     "      --strip-symbols         drop the stub's COFF symbol table instead of moving it\n"
     "      -q, --quiet             no progress and no summary; warnings and errors still shown\n"
     "    The vendor's identity (create and inject):\n"
     "      --icon=FILE.ico         the installer's icon, every size the file holds\n"
     "      --version-string=KEY=VALUE  a string of the version block (CompanyName,\n"
     "                              FileDescription, ProductName, ProductVersion, FileVersion,\n"
     "                              LegalCopyright, LegalTrademarks, InternalName,\n"
     "                              OriginalFilename, Comments, PrivateBuild, SpecialBuild);\n"
     "                              again for more; KEY= empties one; UTF-8, no control characters\n"
     "      --file-version=A.B.C.D  --product-version=A.B.C.D  the version numbers (and strings)\n"
     "      --publisher=NAME        \"Packaged and published by NAME.\" in the window, and CompanyName\n"
     "      --execution-level=asInvoker|highestAvailable|requireAdministrator\n"
     "                              a manifest requesting it (also themed controls, DPI aware)\n"
     "      --manifest=FILE         the vendor's own manifest instead\n"},
    {"inject",
     "  sfxpack inject [--strip-symbols] [--codepage=CP] [IDENTITY OPTIONS] [-q] STUB.exe PACKAGE.z -o OUT.exe\n"
     "      Embeds a ready zlib package as it is, and warns when verify would refuse it.\n"},
    {"list",
     "  sfxpack list [--codepage=CP] [--format=table|tsv|json] [-q] INSTALLER.exe\n"
     "      The launch name, then each entry: size, creation, last access and last\n"
     "      write times (UTC), name. tsv: no header, one entry a line, tab-separated\n"
     "      size, the three times (ISO 8601), 1 for the launch file (else 0), name.\n"
     "      json: {\"launch\": NAME or null, \"entries\": [{\"name\", \"size\", \"created\",\n"
     "      \"accessed\", \"written\"}]}.\n"},
    {"extract",
     "  sfxpack extract [--codepage=CP] [-q] INSTALLER.exe DIR\n"
     "      Writes the entries into DIR with their times; never overwrites a file,\n"
     "      and leaves nothing behind when it fails or is interrupted.\n"},
    {"info",
     "  sfxpack info [--codepage=CP] INSTALLER.exe\n"
     "      What Windows shows of it (icon sizes, version block, requested execution level),\n"
     "      whether it is signed, and what its package holds.\n"},
    {"verify",
     "  sfxpack verify [--codepage=CP] [-q] INSTALLER.exe\n"
     "      Checks the package: present, zlib stream and Adler-32 whole, format and\n"
     "      names sound by the rules of create, on machines of that code page.\n"
     "    --codepage=CP: the code page the installer was made for (1252), which must be\n"
     "    the installing machine's ANSI code page: the installer reads its names in it.\n"},
    {"help",
     "  sfxpack help [COMMAND] | --help | --version\n"
     "      How to call sfxpack, or one command (as COMMAND --help does).\n"},
};

}  // namespace

void PrintUsage()
{
    std::fputs("usage:\n", stdout);
    for (const CommandHelp& command : kCommands)
        std::fputs(command.text, stdout);
    std::fputs("Options take their values as --name=VALUE or --name VALUE; -- ends the options.\n",
               stdout);
}

std::string CommandNames()
{
    std::string names;
    for (const CommandHelp& command : kCommands)
        names += (names.empty() ? "" : ", ") + std::string(command.name);
    return names;
}

bool PrintCommandHelp(const std::string& name)
{
    for (const CommandHelp& command : kCommands)
        if (name == command.name) {
            std::fputs("usage:\n", stdout);
            std::fputs(command.text, stdout);
            return true;
        }
    return false;
}
