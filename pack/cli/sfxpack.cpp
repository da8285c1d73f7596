// sfxpack: makes self-extracting installers from folders of files, and lists,
// extracts and verifies existing ones.
#include <expat.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "pack/cli/commands.h"
#include "pack/cli/help.h"
#include "pack/system/interrupt_cleanup.h"
#include "pack/system/platform.h"

namespace {

int Run(const Arguments& all)
{
    if (all.empty())
        return UsageError("no command");
    const std::string command = all[0];
    const Arguments args(all.begin() + 1, all.end());
    if (command == "--help" || command == "-h" || (command == "help" && args.empty())) {
        PrintUsage();
        return 0;
    }
    if (command == "help") {
        const std::string topic = args[0] == "--help" || args[0] == "-h" ? "help" : args[0];
        if (args.size() == 1 && PrintCommandHelp(topic))
            return 0;
        return UsageError((args.size() == 1 ? "help " + topic + ": no such command" : "help takes one command") +
                          "; the commands are " + CommandNames());
    }
    if (command == "--version") {
        if (!args.empty())
            return UsageError("--version takes nothing more");
        // expat names itself "expat_2.5.0".
        const std::string expat = XML_ExpatVersion();
        std::printf("sfxpack %s (zlib %s, libdeflate %s, zopfli %s, expat %s)\n", SFX_VERSION, zlibVersion(),
                    LIBDEFLATE_VERSION_STRING, SFX_ZOPFLI_VERSION, expat.substr(expat.find('_') + 1).c_str());
        return 0;
    }
    const struct {
        const char* name;
        int (*run)(const Arguments&);
    } commands[] = {{"create", Create}, {"inject", Inject}, {"list", List},
                    {"extract", Extract}, {"verify", Verify}, {"info", Info}};
    for (const auto& known : commands)
        if (command == known.name)
            return known.run(args);
    return UsageError("unknown command " + command + "; the commands are " + CommandNames());
}

}  // namespace

int main(int argc, char** argv)
{
    // Every failure the packer foresees is a message; this is for the rest,
    // so that nothing ends in an abort.
    RemoveWorkInProgressOnInterrupt();
    UseUtf8Console();
    try {
        return Run(ProgramArguments(argc, argv));
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    } catch (const std::exception& exception) {
        return Fail(std::string("unexpected failure: ") + exception.what());
    }
}
