// The merge data file as the stub and the packer read it: the layout to the
// byte, and every way a file can lie about its own size or names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "extract/merge_format.h"

namespace {

using Block = std::vector<uint8_t>;

struct TestEntry {
    std::string name;
    std::string contents;
    uint32_t size_override = UINT32_MAX;  // a size that disagrees with the contents
};

Block MakeMergeFile(const std::vector<TestEntry>& entries, const std::string& launch = "")
{
    Block block(kMergeHeaderSize + kMergeEntrySize * entries.size());
    MergeHeader header{};
    header.count = static_cast<uint32_t>(entries.size());
    std::memcpy(header.launch_name, launch.data(), std::min(launch.size(), kMergeNameSize));
    EncodeMergeHeader(header, block.data());
    for (size_t i = 0; i < entries.size(); ++i) {
        MergeEntry entry{};
        entry.ordinal = static_cast<uint32_t>(i);
        entry.creation_time = 0x01D0000000000001ull + i;
        entry.last_access_time = 0x01D0000000000002ull + i;
        entry.last_write_time = 0x01D0000000000003ull + i;
        entry.size = entries[i].size_override != UINT32_MAX ? entries[i].size_override
                                                             : static_cast<uint32_t>(entries[i].contents.size());
        std::memcpy(entry.name, entries[i].name.data(), std::min(entries[i].name.size(), kMergeNameSize));
        EncodeMergeEntry(entry, block.data() + kMergeHeaderSize + kMergeEntrySize * i);
    }
    for (const TestEntry& entry : entries)
        block.insert(block.end(), entry.contents.begin(), entry.contents.end());
    return block;
}

struct ReadResult {
    MergeStatus status;
    MergeHeader header{};
    std::vector<MergeEntry> table;
    uint32_t bad = UINT32_MAX;
};

ReadResult Read(const Block& block)
{
    ReadResult result;
    result.status = ReadMergeHeader(block.data(), block.size(), &result.header);
    if (result.status == MergeStatus::Ok) {
        result.table.resize(result.header.count);
        result.status = ReadMergeTable(block.data(), block.size(), result.header, result.table.data(), &result.bad);
    }
    return result;
}

TEST(MergeFormat, OneEntryOfThreeBytesIs563BytesWithItsFieldsInPlace)
{
    const Block block = MakeMergeFile({{"abc.txt", "xyz"}}, "abc.txt");

    ASSERT_EQ(block.size(), 563u);
    EXPECT_EQ(block[0], 1);                                          // count
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[4])), "abc.txt");  // launch name
    EXPECT_EQ(block[264], 0);                                        // ordinal
    EXPECT_EQ(block[268], 0x01);                                     // creation time, low byte first
    EXPECT_EQ(block[275], 0x01);
    EXPECT_EQ(block[274], 0xD0);
    EXPECT_EQ(block[296], 3);                                        // size
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[300])), "abc.txt");  // name
    EXPECT_EQ(std::string(block.begin() + 560, block.end()), "xyz");               // contents
    EXPECT_EQ(MergeContentsOffset(1), 560u);

    const ReadResult read = Read(block);
    ASSERT_EQ(read.status, MergeStatus::Ok);
    EXPECT_STREQ(read.header.launch_name, "abc.txt");
    EXPECT_EQ(read.table[0].size, 3u);
    EXPECT_EQ(read.table[0].creation_time, 0x01D0000000000001ull);
    EXPECT_EQ(read.table[0].last_access_time, 0x01D0000000000002ull);
    EXPECT_EQ(read.table[0].last_write_time, 0x01D0000000000003ull);
}

TEST(MergeFormat, RecordsSurviveARoundTrip)
{
    MergeEntry entry{};
    entry.ordinal = 0x01020304;
    entry.creation_time = 0x1122334455667788ull;
    entry.last_access_time = 0x8877665544332211ull;
    entry.last_write_time = 0xFFFFFFFFFFFFFFFFull;
    entry.size_high = 7;
    entry.size = 0xFEDCBA98;
    std::strcpy(entry.name, "Setup.exe");
    uint8_t bytes[kMergeEntrySize];
    EncodeMergeEntry(entry, bytes);
    const MergeEntry back = DecodeMergeEntry(bytes);
    EXPECT_EQ(std::memcmp(&back.ordinal, &entry.ordinal, 4), 0);
    EXPECT_EQ(back.creation_time, entry.creation_time);
    EXPECT_EQ(back.last_access_time, entry.last_access_time);
    EXPECT_EQ(back.last_write_time, entry.last_write_time);
    EXPECT_EQ(back.size_high, 7u);
    EXPECT_EQ(back.size, 0xFEDCBA98u);
    EXPECT_STREQ(back.name, "Setup.exe");
}

TEST(MergeFormat, ACountOf0IsRefusedEvenWhenTheFileIsExactlyAHeader)
{
    Block block(kMergeHeaderSize, 0);
    EXPECT_EQ(Read(block).status, MergeStatus::NoEntries);
}

TEST(MergeFormat, AnEntryOfSize0IsReadForTheExtractorToReport)
{
    const ReadResult read = Read(MakeMergeFile({{"a.txt", "aa"}, {"empty.txt", ""}, {"c.txt", "c"}}));
    ASSERT_EQ(read.status, MergeStatus::Ok);
    EXPECT_EQ(read.table[1].size, 0u);
}

TEST(MergeFormat, NothingIsReadPastTheEndOfTheBlock)
{
    const Block whole = MakeMergeFile({{"a.txt", "aaaa"}, {"b.txt", "bbbbbb"}});
    struct Case {
        const char* what;
        size_t keep;
    };
    const Case cases[] = {
        {"empty", 0},
        {"header cut", kMergeHeaderSize - 1},
        {"table cut", kMergeHeaderSize + kMergeEntrySize + 10},
        {"contents cut", whole.size() - 1},
    };
    for (const Case& c : cases) {
        // An exact-size copy, so that AddressSanitizer catches any read beyond.
        const Block cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(c.keep));
        EXPECT_EQ(Read(cut).status, MergeStatus::Truncated) << c.what;
    }
    Block trailing = whole;
    trailing.insert(trailing.end(), {'x', 'y'});
    EXPECT_EQ(Read(trailing).status, MergeStatus::Ok) << "bytes after the contents are never read";
}

TEST(MergeFormat, HugeCountsAndSizesDoNotWrapAround)
{
    Block block = MakeMergeFile({{"a.txt", "a"}});
    block[0] = block[1] = block[2] = block[3] = 0xFF;  // count 4294967295
    EXPECT_EQ(Read(block).status, MergeStatus::Truncated);

    // Sizes that add up past 2^32 must not wrap to something that fits.
    Block sizes = MakeMergeFile({{"a.txt", "a", 0xFFFFFFFF}, {"b.txt", "b", 2}});
    EXPECT_EQ(Read(sizes).status, MergeStatus::Truncated);
}

TEST(MergeFormat, OnlyBareFileNamesThatWindowsCreatesAreAccepted)
{
    const char* refused[] = {
        "",             "..",         ".",           "a\\b.txt",  "..\\evil.dll", "a/b.txt",   "/etc/passwd",
        "C:evil.txt",   "c:\\x.txt",  "con",         "CON.txt",   "nul",          "Prn.log",   "aux.tar.gz",
        "COM1",         "com9.txt",   "LPT1",        "lpt5.doc",  "name.",        "name ",     "a*b",
        "what?.txt",    "a<b",        "a>b",         "a|b",       "quote\".txt",  "tab\there", "\x01start",
        "CON .txt",     "NUL .log",   "LPT1 .txt",   "com1  .a",  "COM\xb9",      "LPT\xb2",   "LPT\xb3.txt",
        "conin$",       "CONOUT$.x",  "LONGFI~1.TXT", "long~lmq.txt", "PROGRA~1",   "A~B",       "x~12.c",    "~1.txt",
    };
    for (const char* name : refused) {
        char field[kMergeNameSize] = {};
        std::strcpy(field, name);
        EXPECT_FALSE(IsSafeFileName(field)) << "'" << name << "'";
        EXPECT_EQ(Read(MakeMergeFile({{"ok.txt", "x"}, {name, "y"}})).status, MergeStatus::InvalidEntryName)
            << "'" << name << "'";
        if (*name) {
            EXPECT_EQ(Read(MakeMergeFile({{"ok.txt", "x"}}, name)).status, MergeStatus::InvalidLaunchName)
                << "'" << name << "'";
        }
    }
    const char* accepted[] = {"Setup.exe", "a", ".profile", "com10.txt", "console.txt", "nul1", "LPT",
                              "data file (1).bin", "caf\xe9.txt", "com0",
                              "CON x.txt", "LPT\xb9\xb9", "COM\xb4", "release~notes.txt", "a~.txt",
                              "setup~1.tar.gz", "LONGFI~1.TEXT", "back~up!.txt"};
    for (const char* name : accepted) {
        char field[kMergeNameSize] = {};
        std::strcpy(field, name);
        EXPECT_TRUE(IsSafeFileName(field)) << "'" << name << "'";
    }

    // In a double-byte code page the second byte of a character is never a
    // separator ("ソ" is 0x83 0x5C in 932), though a lone byte still is.
    LeadBytes japanese;
    for (unsigned byte = 0x81; byte <= 0x9F; ++byte)
        japanese.lead[byte] = true;
    for (const char* name : {"\x83\x5c\x83\x74\x83\x67.txt", "\x95\x5c.txt", "a\x83|"}) {
        EXPECT_TRUE(IsSafeFileName(name, std::strlen(name) + 1, japanese)) << "'" << name << "'";
        EXPECT_FALSE(IsSafeFileName(name, std::strlen(name) + 1)) << "'" << name << "' in a single-byte code page";
    }
    for (const char* name : {"a\\b\x83\x5c", "\x83\x5c\\", "a\x83"})
        EXPECT_NE(FindNameFault(name, std::strlen(name) + 1, japanese), NameFault::None) << "'" << name << "'";

    // A name must end within its 260 bytes.
    char unterminated[kMergeNameSize];
    std::memset(unterminated, 'a', sizeof unterminated);
    EXPECT_FALSE(IsSafeFileName(unterminated));
    unterminated[kMergeNameSize - 1] = '\0';
    EXPECT_TRUE(IsSafeFileName(unterminated));
}

TEST(MergeFormat, TheBadEntryIsNamedByItsIndex)
{
    const ReadResult read = Read(MakeMergeFile({{"a.txt", "a"}, {"b.txt", "b"}, {"..", "c"}}));
    EXPECT_EQ(read.status, MergeStatus::InvalidEntryName);
    EXPECT_EQ(read.bad, 2u);
}

}  // namespace
