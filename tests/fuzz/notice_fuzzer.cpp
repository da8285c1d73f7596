// libFuzzer target: the progress window's dialog template, whose notice
// `info` reads from any installer and create rewrites. A template whose
// notice has a second line takes the publisher's name and shows it.
#include <cstdint>
#include <cstdlib>

#include "pack/identity/dialog_notice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Bytes dialog(data, data + size);
    const bool hasSecondLine = !PublisherLine(dialog).empty();
    std::string error;
    const std::optional<Bytes> changed = SetPublisher(dialog, "Larkspur \xf0\x9f\xa6\x9c", &error);
    if (hasSecondLine && (!changed || PublisherLine(*changed) != "Packaged and published by Larkspur \xf0\x9f\xa6\x9c."))
        abort();
    return 0;
}
