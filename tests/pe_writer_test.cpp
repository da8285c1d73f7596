// The packer's PE reading and rewriting on files that are not what they claim:
// each is refused with a reason, never a crash or a runaway allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "pack/package/package_locator.h"
#include "pack/pe/resource_writer.h"
#include "tests/support/random_bytes.h"

namespace {

Bytes ReleaseStub()
{
    std::ifstream file(SFX_WIN32_STUB, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

size_t OptionalHeader(const Bytes& file)
{
    return LoadLe32(file, 0x3C) + 24;
}

// A zlib stream of nothing: any package will do.
const Bytes kPackage = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};

// Whether the writer accepts the file and the result carries the package.
testing::AssertionResult CarriesThePackageOnceWritten(const Bytes& file)
{
    std::string error;
    const std::optional<ResourceWriteResult> written = WritePackageResource(file, kPackage, &error);
    if (!written)
        return testing::AssertionFailure() << "refused: " << error;
    const std::optional<Bytes> found = FindPackageResource(written->file, &error);
    if (!found)
        return testing::AssertionFailure() << "the package is not found again: " << error;
    if (*found != kPackage)
        return testing::AssertionFailure() << "another package is found";
    return testing::AssertionSuccess();
}

std::string RefusalOf(const Bytes& file)
{
    std::string error;
    EXPECT_FALSE(WritePackageResource(file, kPackage, &error));
    std::string readError;
    EXPECT_FALSE(FindPackageResource(file, &readError));
    return error;
}

TEST(PeWriter, RefusesFilesThatAreNoPrograms)
{
    EXPECT_NE(RefusalOf({}).find("not a PE file"), std::string::npos);
    EXPECT_NE(RefusalOf({'M', 'Z'}).find("not a PE file"), std::string::npos);
    Bytes noSignature = ReleaseStub();
    ASSERT_GT(noSignature.size(), 1024u) << "build the win32 preset first";
    noSignature[LoadLe32(noSignature, 0x3C)] = 'X';
    EXPECT_NE(RefusalOf(noSignature).find("no PE signature"), std::string::npos);
}

TEST(PeWriter, RefusesHeadersAndSectionsThatClaimMoreThanTheFileHolds)
{
    Bytes hugeHeaders = ReleaseStub();
    StoreLe32(hugeHeaders, OptionalHeader(hugeHeaders) + 60, 0xFFFFF000);  // SizeOfHeaders
    EXPECT_NE(RefusalOf(hugeHeaders).find("headers larger than the file"), std::string::npos);

    Bytes longSection = ReleaseStub();
    const size_t sections = OptionalHeader(longSection) + LoadLe16(longSection, LoadLe32(longSection, 0x3C) + 20);
    StoreLe32(longSection, sections + 16, 0x7FFFFFFF);  // SizeOfRawData of the first section
    EXPECT_NE(RefusalOf(longSection).find("runs past the end of the file"), std::string::npos);

    Bytes directories = ReleaseStub();
    StoreLe32(directories, OptionalHeader(directories) + 92, 0x10000);  // NumberOfRvaAndSizes
    EXPECT_NE(RefusalOf(directories).find("data directories"), std::string::npos);
}

TEST(PeWriter, RefusesSectionsThatOverlapOrWrapInMemory)
{
    // Found by fuzzing: a section reaching over the next one made the
    // rewritten resources unreadable.
    const Bytes stub = ReleaseStub();
    const size_t sections = OptionalHeader(stub) + LoadLe16(stub, LoadLe32(stub, 0x3C) + 20);
    Bytes overlapping = stub;
    StoreLe32(overlapping, sections + 8, 0x00100000);  // the first section's virtual size
    EXPECT_NE(RefusalOf(overlapping).find("out of place in memory"), std::string::npos);

    Bytes wrapping = stub;
    const size_t last = sections + kSectionHeaderSize * (LoadLe16(stub, LoadLe32(stub, 0x3C) + 6) - 1);
    StoreLe32(wrapping, last + 8, 0xFFFFF000);  // the last section's virtual size
    EXPECT_NE(RefusalOf(wrapping).find("out of place in memory"), std::string::npos);

    Bytes unaligned = stub;
    StoreLe32(unaligned, last + 12, LoadLe32(stub, last + 12) + 0x10);  // its virtual address
    EXPECT_NE(RefusalOf(unaligned).find("out of place in memory"), std::string::npos);
}

TEST(PeWriter, PutsTheResourcesAboveTheHeadersEvenWhenNoSectionHasAnySize)
{
    // Found by fuzzing: sections that all lay at address 0 made the new
    // resource section start at 0, where no resources can be found.
    Bytes file = ReleaseStub();
    const size_t sections = OptionalHeader(file) + LoadLe16(file, LoadLe32(file, 0x3C) + 20);
    const uint16_t count = LoadLe16(file, LoadLe32(file, 0x3C) + 6);
    for (size_t i = 0; i < count; ++i)
        for (size_t field : {8, 12, 16, 20})  // virtual size and address, raw size and offset
            StoreLe32(file, sections + kSectionHeaderSize * i + field, 0);
    StoreLe32(file, OptionalHeader(file) + 96 + 8 * 2, 0);  // no resources
    file.resize(LoadLe32(file, OptionalHeader(file) + 60));  // nothing but the headers
    EXPECT_TRUE(CarriesThePackageOnceWritten(file));
}

TEST(PeWriter, PlacesTheNewSectionAfterTheOneThatEndsHighest)
{
    // Found by fuzzing: an empty section at the same address as the next one
    // was taken for the last, and the new section overlapped the next one.
    Bytes file = ReleaseStub();
    const size_t sections = OptionalHeader(file) + LoadLe16(file, LoadLe32(file, 0x3C) + 20);
    const uint16_t count = LoadLe16(file, LoadLe32(file, 0x3C) + 6);
    const size_t lastButOne = sections + kSectionHeaderSize * (count - 2);
    const size_t last = sections + kSectionHeaderSize * (count - 1);
    StoreLe32(file, lastButOne + 8, 0);                          // no virtual size,
    StoreLe32(file, lastButOne + 16, 0);                         // no bytes,
    StoreLe32(file, lastButOne + 12, LoadLe32(file, last + 12));  // at the last one's address
    StoreLe32(file, OptionalHeader(file) + 96 + 8 * 2, 0);       // no resources
    EXPECT_TRUE(CarriesThePackageOnceWritten(file));
}

TEST(PeWriter, RefusesAResourceTreeThatPointsOutsideItsSection)
{
    Bytes file = ReleaseStub();
    const size_t directory = OptionalHeader(file) + 96 + 8 * 2;
    StoreLe32(file, directory, 0x7FFF0000);  // the resource directory's address
    EXPECT_NE(RefusalOf(file).find("malformed resources"), std::string::npos);
}

}  // namespace

// The checksum Windows keeps in the optional header: the file's 16-bit
// words, the field's own counted as zeros, added with end-around carry, plus
// the file's length. However the file passes by, in one piece or cut
// anywhere, around the field too, the sum is this one.
TEST(PeWriter, TheChecksumIsTheSameHoweverTheFileIsCut)
{
    const std::string random = RandomBytes(70001, 7);
    const Bytes file(random.begin(), random.end());
    for (const size_t field : {size_t{0}, size_t{216}, size_t{4096}, size_t{69996}}) {
        uint64_t expected = 0;
        for (size_t at = 0; at < file.size(); at += 2) {
            const uint32_t word = file[at] | (at + 1 < file.size() ? uint32_t{file[at + 1]} << 8 : 0);
            expected += at >= field && at < field + 4 ? 0 : word;
            expected = (expected & 0xFFFF) + (expected >> 16);
        }
        expected += file.size();
        EXPECT_EQ(ComputePeChecksum(file, field), expected) << "whole, field at " << field;
        for (const size_t piece : {size_t{1}, size_t{3}, size_t{4}, size_t{7}, size_t{4095}, size_t{65536}}) {
            PeChecksum checksum(field);
            for (size_t at = 0; at < file.size(); at += piece)
                checksum.Add(file.data() + at, std::min(piece, file.size() - at));
            EXPECT_EQ(checksum.Finish(), expected) << "in pieces of " << piece << ", field at " << field;
        }
    }
}
