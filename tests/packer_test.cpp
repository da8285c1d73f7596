// sfxpack as its users run it: what it writes, prints and refuses. Installers
// are also read back by independent tools (wrestool, 7z, objdump).
#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "extract/merge_format.h"
#include "pack/identity/dialog_notice.h"
#include "pack/pe/pe_image.h"
#include "pack/pe/stub_preparation.h"
#include "pack/identity/version_block.h"
#include "pack/system/utf16.h"
#include "tests/support/file_rewriter.h"
#include "tests/support/hostile_stubs.h"
#include "tests/support/icon_maker.h"
#include "tests/support/package_maker.h"
#include "tests/support/random_bytes.h"
#include "tests/support/run_program.h"
#include "tests/support/same_bytes.h"
#include "tests/support/special_files.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const std::string kPacker = SFX_PACK_PROGRAM;
const std::string kStub = SFX_WIN32_STUB;
// An i686 program linked the usual way and stripped with strip.
const std::string kUsualProgram = SFX_WIN32_USUAL_PROGRAM;
// The same program built with -g and not stripped.
const std::string kDebugProgram = SFX_WIN32_DEBUG_PROGRAM;
// sfxpack as it ships: optimised, without sanitizers.
const std::string kReleasePacker = SFX_RELEASE_PACK_PROGRAM;

// 2021-03-04T05:06:07.1234567Z and 2022-01-02T03:04:05.7654321Z, as Unix times.
const timespec kWritten = {1614834367, 123456700};
const timespec kAccessed = {1641092645, 765432100};

RunResult Pack(const std::vector<std::string>& arguments, const std::string& environment = "")
{
    return RunProgram(kPacker, arguments, environment);
}

void SetTimes(const std::string& path)
{
    const timespec times[2] = {kAccessed, kWritten};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct stat StatOf(const std::string& path)
{
    struct stat status {};
    stat(path.c_str(), &status);
    return status;
}

class PackerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(kStub)) << kStub << " is missing: build the win32 preset first";
        fs::create_directory(folder / "files");
        WriteFile(files("readme.txt"), "Read me first.\r\n");
        WriteFile(files("data.bin"), RandomBytes(200000, 1));
        WriteFile(files("Setup.exe"), RandomBytes(5000, 2));
        for (const char* name : {"readme.txt", "data.bin", "Setup.exe"})
            SetTimes(files(name));
    }

    std::string files(const std::string& name = "") const { return folder / ("files/" + name); }

    TempFolder folder;
    const std::string installer = folder / "installer.exe";
};

TEST_F(PackerTest, CreateListExtractAndVerifyRoundTrip)
{
    const RunResult created = Pack({"create", "-o", installer, files()});
    ASSERT_EQ(created.exit_code, 0) << created.err;
    EXPECT_EQ(created.out.find("3 files"), created.out.find("installer.exe: ") + 15) << created.out;
    // The checksum, summed as the file was written piece by piece, is the file's.
    const std::string bytes = ReadFile(installer);
    const Bytes file(bytes.begin(), bytes.end());
    std::string error;
    const std::optional<PeImage> image = ParsePeImage(file, &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(LoadLe32(file, image->ChecksumOffset()), ComputePeChecksum(file, image->ChecksumOffset()));

    const RunResult listed = Pack({"list", installer});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    const std::string written = "2021-03-04T05:06:07Z", accessed = "2022-01-02T03:04:05Z";
    EXPECT_NE(listed.out.find("launch: Setup.exe\n"), std::string::npos) << listed.out;
    const size_t data = listed.out.find("    200000  "), readme = listed.out.find("        16  "),
                 setup = listed.out.find("      5000  ");
    ASSERT_NE(data, std::string::npos) << listed.out;
    EXPECT_LT(data, readme) << "sorted by name without regard to case";
    EXPECT_LT(readme, setup);
    EXPECT_NE(listed.out.find("  " + accessed + "  " + written + "  data.bin\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("3 entries, 205016 bytes"), std::string::npos);

    const RunResult extracted = Pack({"extract", installer, folder / "out"});
    ASSERT_EQ(extracted.exit_code, 0) << extracted.err;
    for (const char* name : {"readme.txt", "data.bin", "Setup.exe"}) {
        const std::string copy = folder / (std::string("out/") + name);
        const struct stat status = StatOf(copy);  // before reading it moves the access time
        EXPECT_TRUE(SameBytes(ReadFile(copy), ReadFile(files(name)))) << name;
        EXPECT_EQ(status.st_mtim.tv_sec, kWritten.tv_sec) << name;
        EXPECT_EQ(status.st_mtim.tv_nsec, kWritten.tv_nsec) << name;
        EXPECT_EQ(status.st_atim.tv_sec, kAccessed.tv_sec) << name;
        EXPECT_EQ(status.st_atim.tv_nsec, kAccessed.tv_nsec) << name;
    }

    const RunResult verified = Pack({"verify", installer});
    EXPECT_EQ(verified.exit_code, 0) << verified.err;
    EXPECT_NE(verified.out.find("sound: 3 entries"), std::string::npos) << verified.out;

    const RunResult again = Pack({"extract", installer, folder / "out"});
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_NE(again.err.find("already exists; not overwritten"), std::string::npos) << again.err;
}

TEST_F(PackerTest, TheSameInputsGiveTheSameBytes)
{
    const std::string epoch = "SOURCE_DATE_EPOCH=1600000000";  // 2020-09-13T12:26:40Z
    ASSERT_EQ(Pack({"create", "-o", folder / "one.exe", files()}, epoch).exit_code, 0);
    ASSERT_EQ(Pack({"create", "-o", folder / "two.exe", files()}, epoch).exit_code, 0);
    EXPECT_TRUE(SameBytes(ReadFile(folder / "one.exe"), ReadFile(folder / "two.exe")));
    // Zopfli's level, smaller than libdeflate's best, on a package of
    // several blocks: the same bytes whatever the number of threads.
    WriteFile(files("text.txt"), std::string(700000, 'x') + RandomBytes(300000, 7));
    for (const char* threads : {"1", "3"})
        ASSERT_EQ(Pack({"create", "--level=11", "--iterations=3", "--threads", threads, "-o",
                        folder / (std::string("zopfli") + threads + ".exe"), files()}, epoch).exit_code, 0);
    EXPECT_EQ(RunProgram("cmp", {folder / "zopfli1.exe", folder / "zopfli3.exe"}).exit_code, 0);
    EXPECT_EQ(Pack({"verify", folder / "zopfli3.exe"}).exit_code, 0);
    EXPECT_NE(Pack({"list", folder / "zopfli3.exe"}).out.find("data.bin"), std::string::npos);
    ASSERT_EQ(Pack({"extract", folder / "zopfli3.exe", folder / "unzopfli"}).exit_code, 0);
    EXPECT_TRUE(SameBytes(ReadFile(folder / "unzopfli/text.txt"), ReadFile(files("text.txt"))));
    ASSERT_EQ(Pack({"create", "--level=10", "-o", folder / "ten.exe", files()}, epoch).exit_code, 0);
    EXPECT_LT(fs::file_size(folder / "zopfli1.exe"), fs::file_size(folder / "ten.exe"));
    const std::string stream = RunProgram("wrestool", {"-x", "--raw", "--type=SETUP", folder / "zopfli1.exe"}).out;
    EXPECT_EQ(stream.substr(0, 2), "\x78\xDA") << "the zlib header says: maximum compression";
    // Every other level, on blocks of text and of noise, several at each:
    // the files back as they were, the same bytes on 1 and 3 threads, and
    // each level no larger than the one before.
    WriteFile(files("text.txt"), std::string(3 << 20, 'x') + RandomBytes(5 << 20, 8) + ReadFile(SFX_MANUAL_PAGE) +
                                     std::string(1 << 20, 'y') + RandomBytes(7 << 20, 9));
    uintmax_t larger = UINTMAX_MAX;
    for (const char* level : {"0", "1", "6", "9", "10"}) {
        SCOPED_TRACE(std::string("level ") + level);
        for (const char* threads : {"1", "3"})
            ASSERT_EQ(Pack({"create", "--level", level, "--threads", threads, "-o",
                            folder / (std::string("threads") + threads + ".exe"), files()}, epoch).exit_code, 0);
        EXPECT_EQ(RunProgram("cmp", {folder / "threads1.exe", folder / "threads3.exe"}).exit_code, 0);
        fs::remove_all(folder / "back");
        ASSERT_EQ(Pack({"extract", folder / "threads3.exe", folder / "back"}).exit_code, 0);
        EXPECT_TRUE(SameBytes(ReadFile(folder / "back/text.txt"), ReadFile(files("text.txt"))));
        EXPECT_LE(fs::file_size(folder / "threads3.exe"), larger);
        larger = fs::file_size(folder / "threads3.exe");
    }
    fs::remove(files("text.txt"));

    const RunResult listed = Pack({"list", folder / "one.exe"});
    EXPECT_EQ(listed.out.find("2021-"), std::string::npos) << "no time later than SOURCE_DATE_EPOCH";
    EXPECT_NE(listed.out.find("2020-09-13T12:26:40Z  2020-09-13T12:26:40Z  2020-09-13T12:26:40Z  data.bin"),
              std::string::npos)
        << listed.out;

    // Without the clamp too: packing reads the files without moving their
    // last access times, so the second run records what the first did.
    for (const char* name : {"readme.txt", "data.bin", "Setup.exe"})
        SetTimes(files(name));
    for (const char* output : {"three.exe", "four.exe"})
        ASSERT_EQ(Pack({"create", "-o", folder / output, files()}).exit_code, 0);
    EXPECT_TRUE(SameBytes(ReadFile(folder / "three.exe"), ReadFile(folder / "four.exe")));
    EXPECT_EQ(StatOf(files("data.bin")).st_atim.tv_sec, kAccessed.tv_sec) << "the access time is the user's";

    // --times write: all three times from the last write, whatever else moved them.
    ASSERT_EQ(Pack({"create", "--times=write", "-o", installer, files()}).exit_code, 0);
    EXPECT_NE(Pack({"list", installer}).out.find("2021-03-04T05:06:07Z  2021-03-04T05:06:07Z  2021-03-04T05:06:07Z  "
                                                 "data.bin"),
              std::string::npos);
}

// An icon file of one 32x32 entry whose image of `size` bytes lies at
// `offset`: a bitmap that claims to be `claimed` pixels wide.
std::string IconWithOneEntry(uint32_t size, uint32_t offset, uint32_t claimed = 32)
{
    Bytes icon(22 + 40, 0);
    StoreLe16(icon, 2, 1);
    StoreLe16(icon, 4, 1);
    icon[6] = icon[7] = 32;
    StoreLe32(icon, 14, size);
    StoreLe32(icon, 18, offset);
    StoreLe32(icon, 22, 40);
    StoreLe32(icon, 26, claimed);
    StoreLe32(icon, 30, 2 * claimed);
    StoreLe16(icon, 36, 32);
    return std::string(icon.begin(), icon.end());
}

// An icon file of `count` entries that all point at one 64x64 image.
std::string IconOfOneSharedImage(size_t count)
{
    const std::string image = IconImageBytes(64, 0xFF2060A0);
    std::string icon = IconFileOf(std::vector<IconFileImage>(count, {64, 64, 32, image}));
    for (size_t i = 0; i < count; ++i)
        PutLe(icon, 6 + 16 * i + 12, static_cast<uint32_t>(6 + 16 * count), 4);
    icon.resize(6 + 16 * count + image.size());
    return icon;
}

TEST_F(PackerTest, RefusesWhatTheInstallerCouldNotCarryAndWritesNothing)
{
    // A manifest of the given text, for --manifest; kRoot opens an <assembly>
    // root that is 73 characters long.
    const std::string manifest = folder / "app.manifest";
    const auto writing = [&](const std::string& text) { return [&, text] { WriteFile(manifest, text); }; };
    const std::string kRoot = "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">";
    const std::string kUtf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    const std::string badIcon = folder / "bad.ico";
    // An icon file of one image, spoilt.
    const auto spoilt = [&](IconFileImage image, const std::function<void(std::string&)>& spoil) {
        spoil(image.bytes);
        WriteFile(badIcon, IconFileOf({image}));
    };
    const IconFileImage bitmap = {16, 16, 32, IconImageBytes(16, 0xFF2060A0)}, png = {64, 64, 32, PngImageBytes(64)};
    // A file of zeros that takes no room on disk.
    const auto sparse = [&](uint64_t size) { WriteFile(files("large.bin"), ""), fs::resize_file(files("large.bin"), size); };
    // A file that another process rewrites in place while it is packed.
    std::optional<FileRewriter> rewriter;
    const auto rewritten = [&](bool keepWriteTime) {
        WriteFile(files("big.bin"), RandomBytes(8 << 20, 5));
        rewriter.emplace(files("big.bin"), keepWriteTime);
    };
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::vector<std::string> extra;  // further arguments before the folder
        std::string named;               // the file the message names
        std::string reason;
        int status = 1;                  // 2 for a wrong call
    };
    const Case cases[] = {
        {"empty file", [&] { WriteFile(files("empty.txt"), ""); }, {}, "empty.txt", "empty"},
        {"device name", [&] { WriteFile(files("con.txt"), "x"); }, {}, "con.txt", "CON is a device name on Windows"},
        {"trailing dot", [&] { WriteFile(files("name."), "x"); }, {}, "name.", "ends with a dot"},
        {"colon", [&] { WriteFile(files("a:b.txt"), "x"); }, {}, "a:b.txt", "contains ':'"},
        {"device before spaces", [&] { WriteFile(files("CON .txt"), "x"); }, {}, "CON .txt", "CON is a device"},
        {"superscript port", [&] { WriteFile(files("LPT\xc2\xb2.txt"), "x"); }, {}, "LPT\xc2\xb2.txt",
         "LPT\xc2\xb2 is a device name on Windows"},
        {"too long to install", [&] { WriteFile(files(std::string(245, 'n')), "x"); }, {}, std::string(245, 'n'),
         "names of at most 244 bytes fit"},
        {"short name shape", [&] { WriteFile(files("LONGFI~1.TXT"), "x"); }, {}, "LONGFI~1.TXT", "short name"},
        {"not in 1252", [&] { WriteFile(files("\xe6\x97\xa5\xe6\x9c\xac.txt"), "x"); }, {},
         "\xe6\x97\xa5\xe6\x9c\xac.txt", "code page 1252"},
        {"case twins", [&] { WriteFile(files("README.TXT"), "x"); }, {}, "README.TXT", "same name"},
        // Twins as the installer folds them on a system of each code page.
        {"twins in 1250", [&] { WriteFile(files("Śmietana.txt"), "x"), WriteFile(files("śmietana.txt"), "y"); },
         {"--codepage", "1250"}, "mietana.txt", "same name"},
        {"twins in 1251", [&] { WriteFile(files("ёлка.txt"), "x"), WriteFile(files("Ёлка.txt"), "y"); },
         {"--codepage", "1251"}, "лка.txt", "same name"},
        {"twins in 1253", [&] { WriteFile(files("αλφα.txt"), "x"), WriteFile(files("Αλφα.txt"), "y"); },
         {"--codepage", "1253"}, "λφα.txt", "same name"},
        {"full-width twins in 932", [&] { WriteFile(files("ａ.txt"), "x"), WriteFile(files("Ａ.txt"), "y"); },
         {"--codepage", "932"}, ".txt", "same name"},
        {"a character 932 holds only as another", [&] { WriteFile(files("x〜y.txt"), "x"); },
         {"--codepage", "932"}, "x〜y.txt", "code page 932 cannot hold"},
        {"4 GiB", [&] { fs::resize_file((WriteFile(files("huge.bin"), "x"), files("huge.bin")), 1ull << 32); },
         {}, "huge.bin", "4 GiB"},
        // Sizes a package records, but more than verify and the installer take.
        {"2 GiB and 1 MiB in all", [&] { sparse((2ull << 30) + (1 << 20)); }, {}, "the files hold 2148737240 bytes",
         "package would inflate to 2148738688 bytes, more than 2 GiB"},
        {"a file of 4 GiB less a byte", [&] { sparse((4ull << 30) - 1); }, {}, "the files hold 4295172311 bytes",
         "package would inflate to 4295173759 bytes, more than 2 GiB"},
        {"rewritten while read", [&] { rewritten(false); }, {"--level", "9", "--threads", "1"}, "big.bin",
         "big.bin: file changed as we read it"},
        {"rewritten, its write time put back", [&] { rewritten(true); }, {"--level", "9", "--threads", "1"}, "big.bin",
         "big.bin: file changed as we read it"},
        {"subfolder", [&] { fs::create_directory(files("sub")); }, {}, "sub", "name them (" + files("sub/*") + ")"},
        {"not an icon", [&] { WriteFile(folder / "bad.ico", "GIF89a"); }, {"--icon", folder / "bad.ico"}, "bad.ico",
         "not an icon file"},
        {"icon without images", [&] { WriteFile(folder / "bad.ico", std::string("\0\0\1\0\0\0", 6)); },
         {"--icon", folder / "bad.ico"}, "bad.ico", "without images"},
        {"icon image outside", [&] { WriteFile(folder / "bad.ico", IconWithOneEntry(40, 9999)); },
         {"--icon", folder / "bad.ico"}, "bad.ico", "image 1 lies outside the file"},
        {"icon of absurd size", [&] { WriteFile(folder / "bad.ico", IconWithOneEntry(40, 22, 70000)); },
         {"--icon", folder / "bad.ico"}, "bad.ico", "a bitmap of 70000x70000, not the size its entry gives"},
        {"icon bitmap header of no size there is", [&] { spoilt(bitmap, [](std::string& b) { PutLe(b, 0, 64, 4); }); },
         {"--icon", badIcon}, "bad.ico", "image 1 (16x16) is an image that is neither a bitmap (whose header would "
                                         "be of 40, 108 or 124 bytes) nor a PNG"},
        {"icon bitmap without pixels", [&] { WriteFile(badIcon, IconWithOneEntry(40, 22)); }, {"--icon", badIcon},
         "bad.ico", "image 1 (32x32) is a bitmap cut short in its pixels"},
        {"icon bitmap a byte short of its mask", [&] { spoilt(bitmap, [](std::string& b) { b.pop_back(); }); },
         {"--icon", badIcon}, "bad.ico", "cut short in its pixels: 1128 bytes with the mask, in 1127"},
        {"icon palette of more colours than bits",
         [&] { spoilt(bitmap, [](std::string& b) { PutLe(b, 14, 8, 2), PutLe(b, 32, 257, 4); }); },
         {"--icon", badIcon}, "bad.ico", "claims 257 colours, more than 8 bits per pixel choose among (256)"},
        {"icon bitmap compressed", [&] { spoilt(bitmap, [](std::string& b) { PutLe(b, 16, 1, 4); }); },
         {"--icon", badIcon}, "bad.ico", "compressed with method 1, which icons do not use"},
        {"icon palette of a 32-bit bitmap outside",
         [&] { spoilt(bitmap, [](std::string& b) { PutLe(b, 32, 0xFFFFFFFF, 4); }); }, {"--icon", badIcon}, "bad.ico",
         "cut short in its palette of 4294967295 colours"},
        {"icon colour masks outside", [&] { spoilt(bitmap, [](std::string& b) { PutLe(b, 16, 3, 4); }); },
         {"--icon", badIcon}, "bad.ico", "cut short in its pixels"},
        {"icon palette outside", [&] { spoilt(bitmap, [](std::string& b) { PutLe(b, 14, 8, 2), b.resize(140); }); },
         {"--icon", badIcon}, "bad.ico", "cut short in its palette of 256 colours"},
        {"icon PNG header's CRC", [&] { spoilt(png, [](std::string& b) { b[29] ^= 1; }); }, {"--icon", badIcon},
         "bad.ico", "image 1 (64x64) is a PNG whose header (IHDR) fails its CRC-32"},
        {"icon PNG header not first", [&] { spoilt(png, [](std::string& b) { b.insert(8, PngChunk("tEXt", "a")); }); },
         {"--icon", badIcon}, "bad.ico", "first chunk is not its 13-byte header (IHDR)"},
        {"icon PNG of no depth there is",
         [&] { spoilt(png, [](std::string& b) { std::string h = b.substr(16, 13); h[8] = 5;
                                                 b.replace(8, 25, PngChunk("IHDR", h)); }); },
         {"--icon", badIcon}, "bad.ico", "bit depth 5 and colour type 6"},
        {"icon PNG without its end", [&] { spoilt(png, [](std::string& b) { b.resize(b.size() - 12); }); },
         {"--icon", badIcon}, "bad.ico", "without its closing chunk (IEND)"},
        {"icon PNG chunk past the image", [&] { spoilt(png, [](std::string& b) { b[33] = '\x7f'; }); },
         {"--icon", badIcon}, "bad.ico", "past the image's end"},
        {"icon images sharing their bytes", [&] { WriteFile(badIcon, IconOfOneSharedImage(100)); },
         {"--icon", badIcon}, "bad.ico", "images that overlap"},
        {"icon of more images than an installer holds",
         [&] { WriteFile(badIcon, IconFileOf(std::vector<IconFileImage>(65533, {1, 1, 32, IconImageBytes(1, 0)}))); },
         {"--icon", badIcon}, "bad.ico", "65533 images are too many: the installer would hold"},
        {"icon ids taken by the stub's stray icons",
         [&] {
             const std::string original = ReadFile(kStub);
             Bytes stub(original.begin(), original.end());
             std::string error;
             CrowdIconIds(stub, *ParsePeImage(stub, &error));
             WriteFile(folder / "crowded.exe", std::string(stub.begin(), stub.end()));
             WriteFile(folder / "four.ico", MakeIconFile({{16, 0xFF0000FF}, {24, 0xFF00FF00}, {32, 0xFFFF0000},
                                                          {48, 0xFF000000}}));
         },
         {"--stub", folder / "crowded.exe", "--icon", folder / "four.ico"}, "crowded.exe",
         "no room for the icon's 4 images: the stub's other icons leave 3 of the icon ids 1 to 65535 free"},
        {"package ids past what a directory counts",
         [&] {
             const std::string original = ReadFile(kStub);
             Bytes stub(original.begin(), original.end());
             std::string error;
             CrowdPackageIds(stub, *ParsePeImage(stub, &error));
             WriteFile(folder / "crowded.exe", std::string(stub.begin(), stub.end()));
         },
         {"--stub", folder / "crowded.exe"}, "crowded.exe",
         "more entries in one directory than its 65535 can count: the resources of type SETUP (65536)"},
        {"manifest not XML", writing("<assembly><x></assembly>"), {"--manifest", manifest}, "app.manifest",
         "line 1, column 16: mismatched tag"},
        {"manifest of another root", writing("<?xml version=\"1.0\"?><html/>"), {"--manifest", manifest},
         "app.manifest", "its root is <html>, not <assembly>"},
        {"manifest: &#0;", writing(kRoot + "&#0;</assembly>"), {"--manifest", manifest}, "app.manifest",
         "line 1, column 74: reference to invalid character number"},
        {"manifest: &#x;", writing(kRoot + "&#x;</assembly>"), {"--manifest", manifest}, "app.manifest",
         "not well-formed (invalid token)"},
        {"manifest: a surrogate", writing(kRoot + "&#xD800;</assembly>"), {"--manifest", manifest}, "app.manifest",
         "reference to invalid character number"},
        {"manifest: a reference past Unicode", writing(kRoot + "&#99999999999;</assembly>"), {"--manifest", manifest},
         "app.manifest", "reference to invalid character number"},
        {"manifest: <!-->", writing(kRoot + "<!--></assembly>"), {"--manifest", manifest}, "app.manifest",
         "line 1, column 74: unclosed token"},
        {"manifest: -- in a comment", writing(kRoot + "<!-- a -- b --></assembly>"), {"--manifest", manifest},
         "app.manifest", "not well-formed (invalid token)"},
        {"manifest: attributes run together", writing("<assembly a=\"1\"b=\"2\"/>"), {"--manifest", manifest},
         "app.manifest", "line 1, column 16: not well-formed (invalid token)"},
        {"manifest: Latin-1 in UTF-8", writing(kUtf8 + "\n" + kRoot + "caf\xE9</assembly>"), {"--manifest", manifest},
         "app.manifest", "line 2, column 77: not well-formed (invalid token)"},
        {"manifest: Latin-1, UTF-8 by default", writing(kRoot + "caf\xE9</assembly>"), {"--manifest", manifest},
         "app.manifest", "not well-formed (invalid token)"},
        {"manifest: a control byte", writing(kRoot + "\x01</assembly>"), {"--manifest", manifest}, "app.manifest",
         "not well-formed (invalid token)"},
        {"manifest: ]]> in text", writing(kRoot + "]]></assembly>"), {"--manifest", manifest}, "app.manifest",
         "not well-formed (invalid token)"},
        {"manifest: declaration after space", writing(" " + kUtf8 + kRoot + "</assembly>"), {"--manifest", manifest},
         "app.manifest", "XML or text declaration not at start of entity"},
        {"manifest: declaration inside", writing(kRoot + kUtf8 + "</assembly>"), {"--manifest", manifest},
         "app.manifest", "XML or text declaration not at start of entity"},
        {"manifest: text after the root", writing(kRoot + "</assembly>text"), {"--manifest", manifest},
         "app.manifest", "junk after document element"},
        {"manifest in Latin-1", writing("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + kRoot + "caf\xE9</assembly>"),
         {"--manifest", manifest}, "app.manifest", "declares the encoding ISO-8859-1; Windows reads manifests as UTF-8"},
        {"manifest declared UTF-16", writing("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + kRoot + "</assembly>"),
         {"--manifest", manifest}, "app.manifest", "declares the encoding UTF-16"},
        {"manifest in UTF-16", writing(std::string("\xFF\xFE<\0a\0/\0>\0", 10)), {"--manifest", manifest},
         "app.manifest", "UTF-16 byte order mark"},
        {"manifest with NUL", writing(kRoot + std::string(1, '\0') + "</assembly>"), {"--manifest", manifest},
         "app.manifest", "NUL bytes"},
        {"manifest asking for no level there is",
         writing(kRoot + "<trustInfo><security><requestedPrivileges><requestedExecutionLevel level=\"requireAdministator\"/>"
                 "</requestedPrivileges></security></trustInfo></assembly>"),
         {"--manifest", manifest}, "app.manifest", "asks for the level \"requireAdministator\""},
        {"manifest of a uiAccess neither true nor false",
         writing(kRoot + "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"yes\"/></assembly>"),
         {"--manifest", manifest}, "app.manifest", "uiAccess is \"yes\", not true or false"},
        {"manifest outside Windows' namespace", writing("<assembly manifestVersion=\"1.0\"/>"), {"--manifest", manifest},
         "app.manifest", "not in the namespace Windows reads"},
        {"manifest without its version",
         writing("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\"/>"), {"--manifest", manifest}, "app.manifest",
         "no manifestVersion=\"1.0\""},
        {"manifest of an unbound prefix", writing("<x:assembly manifestVersion=\"1.0\"/>"), {"--manifest", manifest},
         "app.manifest", "line 1, column 1: unbound prefix"},
        {"manifest with a DTD", writing("<!DOCTYPE assembly [<!ENTITY e \"x\">]>" + kRoot + "&e;</assembly>"),
         {"--manifest", manifest}, "app.manifest", "a document type declaration"},
        {"unknown version key", [] {}, {"--version-string", "Colour=blue"}, "Colour", "the keys are", 2},
        {"five numbers", [] {}, {"--file-version", "1.2.3.4.5"}, "1.2.3.4.5", "one to four numbers", 2},
        {"a number past 65535", [] {}, {"--product-version", "70000.0.0.0"}, "70000.0.0.0", "0 to 65535", 2},
        {"publisher too wide", [] {}, {"--publisher", std::string(20, 'W')}, std::string(20, 'W'), "at most 20", 2},
        {"version block past 64 KiB", [] {}, {"--version-string", "Comments=" + std::string(33000, 'A')},
         "--version-string Comments", "Comments may be at most 32"},
        {"Latin-1 publisher", [] {}, {"--publisher", "Caf\xe9 Ltd"}, "--publisher", "byte 4 (0xE9) is not UTF-8", 2},
        {"lone surrogate", [] {}, {"--version-string", "ProductName=a\xed\xa0\x80"}, "ProductName",
         "byte 2 (0xED) is not UTF-8", 2},
        {"past U+10FFFF", [] {}, {"--publisher", "x\xf4\x90\x80\x80"}, "--publisher", "byte 2 (0xF4)", 2},
        {"overlong slash", [] {}, {"--publisher", "a\xc0\xaf"}, "--publisher", "byte 2 (0xC0)", 2},
        {"forged line", [] {}, {"--version-string", "Comments=\nsignature: present (9216 bytes)\n\x1b[8m"},
         "Comments", "character 1 is a control character (U+000A)", 2},
        {"escape", [] {}, {"--publisher", "Evil\x1b]0;x\x07"}, "--publisher", "(U+001B)", 2},
        {"delete", [] {}, {"--version-string", "ProductName=a\x7f"}, "ProductName", "(U+007F)", 2},
        {"C1 control", [] {}, {"--version-string", "FileDescription=a\xc2\x9b"}, "FileDescription", "(U+009B)", 2},
        {"right-to-left override", [] {}, {"--publisher", "Evil\xe2\x80\xae" "exe.txt"}, "--publisher",
         "character 5 (U+202E) is invisible", 2},
        {"byte order mark", [] {}, {"--version-string", "ProductName=\xef\xbb\xbfLarkspur"}, "ProductName",
         "character 1 (U+FEFF)", 2},
        {"blank publisher", [] {}, {"--publisher", " "}, "--publisher", "needs a name", 2},
        {"publisher with a space before", [] {}, {"--publisher", " Larkspur"}, "--publisher", "starts or ends with a space", 2},
        {"two manifests", [] {}, {"--manifest", "x", "--execution-level", "asInvoker"}, "--manifest", "exclude", 2},
        {"launch in a folder", [] {}, {"--launch", "bin/Setup.exe"}, "bin/Setup.exe", "a bare name", 2},
        {"launch empty", [] {}, {"--launch="}, "--launch", "needs the name of a packed file", 2},
        {"stub empty", [] {}, {"--stub="}, "--stub", "needs the stub's file", 2},
        {"output is an input", [] {}, {"-o", files("data.bin")}, "data.bin", "overwrite one of the inputs"},
        {"stub not PE", [&] { WriteFile(folder / "stub.exe", "MZ but nothing else"); },
         {"--stub", folder / "stub.exe"}, "stub.exe", "not a PE file"},
        {"launch not packed", [] {}, {"--launch", "missing.exe"}, "missing.exe", "launch file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder scratch;
        fs::remove_all(files());
        SetUp();
        c.prepare();
        std::vector<std::string> arguments = {"create", "-o", installer};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        arguments.push_back(files());
        const RunResult result = Pack(arguments);
        EXPECT_EQ(result.exit_code, c.status) << result.err;
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(installer)) << "no output after a refusal";
        for (const fs::directory_entry& item : fs::directory_iterator(folder / ""))
            EXPECT_NE(item.path().filename().string().rfind(".sfxpack-", 0), 0u) << item.path() << " left behind";
        if (c.extra.size() == 2 && c.extra[0] == "-o") {
            EXPECT_EQ(fs::file_size(files("data.bin")), 200000u) << "the input is untouched";
        }
        rewriter.reset();
    }
}

// Every input and output of every command that is not what it must be.
TEST_F(PackerTest, EveryBadPathEndsInOneLineNamingItAndItsCause)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string named;
        std::string cause;
        std::string program = kPacker;
    };
    const std::string dir = files(), missing = folder / "missing.exe", package = folder / "package.z";
    WriteFile(package, Deflate(MakeMergeFile({{"a.txt", "a"}})));
    // Outputs that are not regular files, and folders where extract finds one
    // in the place of its entry a.txt: each must stay what it is.
    const std::string fifo = folder / "fifo.exe", socket = folder / "socket.exe", dangling = folder / "dangling.exe",
                      toFifo = folder / "to-fifo.exe", toFolder = folder / "to-folder.exe", ready = folder / "ready.exe",
                      device = MakeCharacterDevice(folder / "null.exe");
    ASSERT_TRUE(MakeFifo(fifo));
    ASSERT_TRUE(MakeSocket(socket));
    fs::create_symlink("nowhere.exe", dangling);
    const std::string toDescriptor = folder / "to-descriptor.exe";
    fs::create_symlink("/dev/fd/5", toDescriptor);
    fs::create_symlink(fifo, toFifo);
    fs::create_symlink(dir, toFolder);
    ASSERT_EQ(Pack({"inject", kStub, package, "-o", ready}).exit_code, 0);
    const auto taken = [&](const std::string& kind) { return folder / ("taken-" + kind + "/a.txt"); };
    for (const char* kind : {"fifo", "socket", "link", "folder", "device"})
        fs::create_directory(folder / (std::string("taken-") + kind));
    ASSERT_TRUE(MakeFifo(taken("fifo")));
    ASSERT_TRUE(MakeSocket(taken("socket")));
    fs::create_symlink(package, taken("link"));
    fs::create_directory(taken("folder"));
    if (MakeCharacterDevice(taken("device")) != taken("device"))
        fs::create_symlink("/dev/null", taken("device"));
    const std::vector<std::pair<std::string, fs::file_type>> kept = {
        {fifo, fs::file_type::fifo}, {socket, fs::file_type::socket}, {device, fs::file_type::character},
        {dangling, fs::file_type::symlink}, {toFifo, fs::file_type::symlink}, {toFolder, fs::file_type::symlink},
        {taken("fifo"), fs::file_type::fifo}, {taken("socket"), fs::file_type::socket},
        {taken("link"), fs::file_type::symlink}, {taken("folder"), fs::file_type::directory}};
    // Lists of paths that are not what they seem: names run together at a
    // NUL, Latin-1, UTF-16 as Windows writes it, a line no path is as long as.
    const auto listing = [&](const std::string& name, const std::string& bytes) {
        WriteFile(folder / name, bytes);
        return folder / name;
    };
    const std::string runTogether = listing("nul.txt", files("readme.txt") + "\n" + files("data.bin") + '\0' +
                                                           files("Setup.exe") + "\n");
    const std::string latin1 = listing("latin1.txt", files("caf\xe9.txt") + "\n");
    const std::string latin1Names = listing("latin1-names.txt", files("readme.txt") + '\0' + "caf\xe9" + '\0');
    const std::string emptyLines = listing("empty-lines.txt", std::string(1000001, '\n'));
    const std::string utf16 = listing("utf16.txt", std::string("\xFF\xFEr\0e\0a\0d\0\n\0", 12));
    const std::string endless = listing("endless.txt", std::string(100000, 'a'));
    std::string accented = "a";  // cut at the limit inside a two-byte character
    while (accented.size() < 100000)
        accented += "\xC3\xA9";
    const std::string endlessAccents = listing("accents.txt", accented);
    const std::string justTooLong = listing("just-too-long.txt", files() + "/" + std::string(32767, 'a') + "\n");
    // A packer with no stub beside it nor where an install would put it.
    fs::create_directory(folder / "lonely");
    fs::copy_file(kPacker, folder / "lonely/sfxpack");
    const Case cases[] = {
        {{"verify", dir}, dir, "a folder, not a file"},
        {{"list", dir}, dir, "a folder, not a file"},
        {{"extract", dir, folder / "out"}, dir, "a folder, not a file"},
        {{"inject", dir, package, "-o", installer}, dir, "a folder, not a file"},
        {{"inject", kStub, dir, "-o", installer}, dir, "a folder, not a file"},
        {{"create", "--stub", dir, "-o", installer, dir}, dir, "a folder, not a file"},
        {{"create", "--stub", "/dev/zero", "-o", installer, dir}, "/dev/zero", "not a regular file"},
        {{"verify", missing}, missing, "no such file"},
        {{"create", "-o", installer, folder / "missing.txt"}, "missing.txt", "no such file"},
        {{"create", "-o", dir, dir}, dir, "a folder; name the file to write"},
        {{"inject", kStub, package, "-o", dir}, dir, "a folder; name the file to write"},
        {{"create", "-o", folder / "no/installer.exe", dir}, "no/installer.exe", "folder " + folder / "no"},
        {{"create", "-o", fifo, dir}, fifo, "not a regular file (a FIFO); not replaced"},
        {{"create", "-o", socket, dir}, socket, "not a regular file (a socket); not replaced"},
        {{"create", "-o", device, dir}, device, "not a regular file (a character device); not replaced"},
        {{"inject", kStub, package, "-o", fifo}, fifo, "not a regular file (a FIFO); not replaced"},
        {{"inject", kStub, package, "-o", device}, device, "not a regular file (a character device)"},
        {{"create", "-o", dangling, dir}, dangling, "a symbolic link to nowhere.exe, which does not exist; not written through"},
        {{"inject", kStub, package, "-o", dangling}, dangling, "which does not exist; not written through"},
        {{"create", "-o", toFifo, dir}, toFifo, "a symbolic link to " + fifo + ", not a regular file (a FIFO)"},
        {{"create", "-o", toFolder, dir}, toFolder, "not a regular file (a folder); not replaced"},
        {{"extract", ready, folder / "taken-fifo"}, taken("fifo"), "already exists; not overwritten"},
        {{"extract", ready, folder / "taken-socket"}, taken("socket"), "already exists; not overwritten"},
        {{"extract", ready, folder / "taken-link"}, taken("link"), "already exists; not overwritten"},
        {{"extract", ready, folder / "taken-folder"}, taken("folder"), "already exists; not overwritten"},
        {{"extract", ready, folder / "taken-device"}, taken("device"), "already exists; not overwritten"},
        {{"extract", kStub, files("readme.txt")}, "readme.txt", "not a folder"},
        {{"extract", ready, dangling}, dangling, "a symbolic link to nowhere.exe, which does not exist; not followed"},
        {{"create", "-o", installer, dangling}, dangling, "a symbolic link to nowhere.exe, which does not exist"},
        {{"extract", ready, ""}, "extract: DIR", "an empty name"},
        {{"create", "-o", "", dir}, "--output", "needs the installer's file"},
        {{"inject", kStub, package, "-o", ""}, "--output", "needs the installer's file"},
        {{"create", "--codepage", "12345", "-o", installer, dir}, "12345", "code page"},
        {{"list", "--codepage", "12345", kStub}, "--codepage 12345: not one of Windows' ANSI code pages", "code page"},
        {{"info", "--codepage", "437", kStub}, "--codepage 437: not one of Windows' ANSI code pages", "code page"},
        {{"create", "--files-from", runTogether, "-o", installer}, runTogether + ": line 2: byte " +
         std::to_string(files("data.bin").size() + 1) + " is NUL", "--null reads a list of names that NULs separate"},
        {{"create", "--files-from", latin1, "-o", installer}, latin1 + ": line 1: byte " +
         std::to_string(files().size() + 4) + " (0xE9) is not UTF-8", "iconv -t UTF-8"},
        {{"create", "--null", "--files-from", latin1Names, "-o", installer}, latin1Names + ": name 2: byte 4 (0xE9)",
         "not UTF-8"},
        // Descriptors that cannot take it: read only, closed (through the
        // name, the file behind them would be replaced), or where messages go.
        {{"-c", "exec " + kPacker + " create -o /dev/fd/0 " + Quoted(dir) + " </dev/null"}, "/dev/fd/0: descriptor 0",
         "open for reading only", "sh"},
        {{"-c", "exec " + kPacker + " create -o /dev/fd/5 " + Quoted(dir) + " 5<" + Quoted(package)},
         "/dev/fd/5: descriptor 5", "open for reading only", "sh"},
        {{"-c", "exec " + kPacker + " create -o /proc/self/fd/9 " + Quoted(dir) + " 9<&-"},
         "/proc/self/fd/9: descriptor 9", "is not open in sfxpack", "sh"},
        {{"-c", "exec " + kPacker + " create -o /dev/stdin " + Quoted(dir) + " <" + Quoted(package)},
         "/dev/stdin: descriptor 0", "open for reading only", "sh"},
        {{"-c", "exec " + kPacker + " create -o " + Quoted(toDescriptor) + " " + Quoted(dir) + " 5<" + Quoted(package)},
         toDescriptor + ": descriptor 5", "open for reading only", "sh"},
        {{"create", "-o", "/dev/stderr", dir}, "/dev/stderr: where sfxpack's own messages go", "mix"},
        // Lists that never end are lists of endless empty entries.
        {{"create", "--null", "--files-from", "/dev/zero", "-o", installer}, "/dev/zero: name 1000001",
         "more than 1000000 names, more than the files of a package"},
        {{"create", "--files-from", emptyLines, "-o", installer}, emptyLines + ": line 1000001",
         "more than 1000000 lines"},
        {{"create", "--files-from", utf16, "-o", installer}, utf16 + ": line 1", "UTF-16"},
        {{"create", "--files-from", endless, "-o", installer}, endless + ": line 1", "longer than any path"},
        {{"create", "--files-from", justTooLong, "-o", installer}, justTooLong + ": line 1", "longer than any path"},
        {{"create", "--files-from", endlessAccents, "-o", installer}, endlessAccents + ": line 1",
         "longer than any path"},
        {{"create", "--files-from", dir, "-o", installer}, dir, "a folder, not a file"},
        {{"create", "-o", installer, dir}, "none at " + folder / "lonely/sfxstub.exe" + " (beside sfxpack) or at " +
         folder / "share/quillmoor-sfx/sfxstub.exe" + " (where it is installed)", "--stub STUB.exe",
         folder / "lonely/sfxpack"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1] + ": " + c.named);
        const RunResult result = RunProgram(c.program, c.arguments);
        EXPECT_GE(result.exit_code, 1);
        EXPECT_LE(result.exit_code, 2) << "a refusal, never a crash";
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.cause), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), result.exit_code == 2 ? 2 : 1)
            << "one line: " << result.err;
        EXPECT_FALSE(fs::exists(installer));
        EXPECT_FALSE(fs::exists(folder / "out"));
    }
    for (const auto& [path, type] : kept)
        EXPECT_EQ(fs::symlink_status(path).type(), type) << path << " is no longer what it was";
    EXPECT_EQ(ReadFile(package), Deflate(MakeMergeFile({{"a.txt", "a"}}))) << "a link's file is left as it was";

    // The longest name a file may have is a name an installer may have.
    const std::string longest = folder / std::string(255, 'i');
    EXPECT_EQ(Pack({"create", "-o", longest, dir}).exit_code, 0);
    EXPECT_TRUE(fs::exists(longest));
    // A folder given twice is packed once, and said once.
    const RunResult twice = Pack({"create", "-o", installer, dir, dir + "/"});
    EXPECT_EQ(twice.exit_code, 0) << twice.err;
    EXPECT_EQ(twice.err, "sfxpack: warning: " + dir + "/: given more than once; packed once\n");
    EXPECT_NE(Pack({"list", installer}).out.find("3 entries"), std::string::npos);
}

// Each stub is wrong in one way; packing nearly 2 GiB must not start before
// that is said.
TEST_F(PackerTest, StubsThatCannotBeInstallersAreRefusedBeforeCompressing)
{
    struct Case {
        const char* what;
        std::string program;
        std::function<void(Bytes&, const PeImage&)> spoil;
        std::string reason;
    };
    const Case cases[] = {
        {"a DLL", kStub, [](Bytes& b, const PeImage& i) { StoreLe16(b, i.coff_header_offset + 18, i.characteristics | 0x2000); },
         "a DLL"},
        {"an EFI application", kStub, [](Bytes& b, const PeImage& i) { StoreLe16(b, i.optional_header_offset + 68, 10); },
         "EFI application"},
        {"an ARM64 program", kStub, [](Bytes& b, const PeImage& i) { StoreLe16(b, i.coff_header_offset, 0xAA64); },
         "another processor"},
        {"an overlay", kStub, [](Bytes& b, const PeImage&) { b.resize(b.size() + 4096, 'x'); },
         "an overlay of 4096 bytes at offset " + std::to_string(fs::file_size(kStub))},
        {"resource directories shared", kStub, ShareResourceDirectories, "a directory reached twice"},
        {"a signature inside", kStub,
         [](Bytes& b, const PeImage& i) { StoreLe32(b, i.DirectoryEntryOffset(kSecurityDirectory), 0x400),
                                          StoreLe32(b, i.DirectoryEntryOffset(kSecurityDirectory) + 4, 16); },
         "signature is not at the end"},
        {"malformed resources", kStub,
         [](Bytes& b, const PeImage& i) { StoreLe32(b, i.DirectoryEntryOffset(kResourceDirectory), 0x7FFF0000); },
         "malformed resources"},
        {"a misaligned section", kStub,
         [](Bytes& b, const PeImage& i) { StoreLe32(b, i.sections[1].header_offset + 12, i.sections[1].virtual_address + 8); },
         "out of place in memory"},
        {"no room for a section header", kUsualProgram,
         [](Bytes& b, const PeImage& i) { StoreLe32(b, i.optional_header_offset + 60,
                                                    i.section_table_offset + kSectionHeaderSize * i.sections.size()); },
         "no room for another section"},
    };
    WriteFile(files("large.bin"), "");
    fs::resize_file(files("large.bin"), (2ull << 30) - (1 << 20));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string original = ReadFile(c.program);
        Bytes stub(original.begin(), original.end());
        std::string error;
        const std::optional<PeImage> image = ParsePeImage(stub, &error);
        ASSERT_TRUE(image) << error;
        c.spoil(stub, *image);
        WriteFile(folder / "stub.exe", std::string(stub.begin(), stub.end()));
        const RunResult result = RunProgram("timeout", {"5", kPacker, "create", "--stub", folder / "stub.exe", "-o",
                                                        installer, files()});
        EXPECT_EQ(result.exit_code, 1) << "refused at once (timeout says 124): " << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(installer));
        const RunResult verified = RunProgram("timeout", {"5", kPacker, "verify", folder / "stub.exe"});
        EXPECT_EQ(verified.exit_code, 1) << "no endless reading (timeout says 124)";
    }
    fs::remove(files("large.bin"));

    // Zeros after the last section are padding: dropped, with a warning.
    std::string padded = ReadFile(kStub);
    padded.resize(padded.size() + 4096, '\0');
    WriteFile(folder / "padded.exe", padded);
    const RunResult fromPadded = Pack({"create", "--stub", folder / "padded.exe", "-o", installer, files()});
    EXPECT_EQ(fromPadded.exit_code, 0) << fromPadded.err;
    EXPECT_NE(fromPadded.err.find("4096 bytes of zeros after the stub's last section were dropped"), std::string::npos)
        << fromPadded.err;
    ASSERT_EQ(Pack({"create", "-o", folder / "plain.exe", files()}).exit_code, 0);
    EXPECT_EQ(fs::file_size(installer), fs::file_size(folder / "plain.exe")) << "the zeros are gone";

    // Stubs that may still install, as a vendor built them: taken with a
    // warning, and verify says it again of what was made of them.
    struct Doubt {
        const char* what;
        std::function<void(Bytes&, const PeImage&)> change;
        std::string warning;
        bool verify_warns;
    };
    const Doubt doubts[] = {
        {"a console program", [](Bytes& b, const PeImage& i) { StoreLe16(b, i.optional_header_offset + 68, 3); },
         "a console program", false},
        {"no progress window", DropDialogs,
         "it does not look like an installer stub: it has no progress window (dialog 1100)", true},
    };
    for (const Doubt& doubt : doubts) {
        SCOPED_TRACE(doubt.what);
        const std::string original = ReadFile(kStub);
        Bytes stub(original.begin(), original.end());
        std::string error;
        const std::optional<PeImage> image = ParsePeImage(stub, &error);
        ASSERT_TRUE(image) << error;
        doubt.change(stub, *image);
        WriteFile(folder / "doubtful.exe", std::string(stub.begin(), stub.end()));
        const RunResult packed = Pack({"create", "--stub", folder / "doubtful.exe", "-o", installer, files()});
        EXPECT_EQ(packed.exit_code, 0) << packed.err;
        EXPECT_NE(packed.err.find("warning: " + folder / "doubtful.exe" + ": " + doubt.warning), std::string::npos)
            << packed.err;
        const RunResult verified = Pack({"verify", installer});
        EXPECT_EQ(verified.exit_code, 0) << verified.err;
        if (doubt.verify_warns)
            EXPECT_NE(verified.err.find("warning: " + installer + ": " + doubt.warning), std::string::npos)
                << verified.err;
        else
            EXPECT_EQ(verified.err, "");
    }
}

// What `strip` leaves of a MinGW program: an empty symbol table and the
// string table of its long section names. Its resource section comes before
// its relocations, so the new one cannot replace it in place.
TEST_F(PackerTest, AProgramKeepsItsSymbolsUnlessToldAndLeavesNoDeadCopyOfItsResources)
{
    const std::string original = ReadFile(kUsualProgram);
    std::string error;
    const std::optional<PeImage> before = ParsePeImage(Bytes(original.begin(), original.end()), &error);
    ASSERT_TRUE(before) << error;
    ASSERT_NE(before->symbol_table_pointer, 0u) << "strip left no symbol table: nothing to test";
    uint32_t oldResources = 0;
    for (const PeSection& section : before->sections)
        if (section.name == ".rsrc")
            oldResources = section.raw_size;
    ASSERT_GT(oldResources, 0u);

    WriteFile(files("one.bin"), "1");
    for (const bool strip : {false, true}) {
        SCOPED_TRACE(strip ? "--strip-symbols" : "symbols kept");
        std::vector<std::string> arguments = {"create", "--stub", kUsualProgram, "-o", installer, files("one.bin")};
        if (strip)
            arguments.insert(arguments.begin() + 1, "--strip-symbols");
        const RunResult packed = Pack(arguments);
        ASSERT_EQ(packed.exit_code, 0) << packed.err;
        EXPECT_EQ(packed.err.find("symbol"), std::string::npos) << packed.err;

        const std::string written = ReadFile(installer);
        const std::optional<PeImage> after = ParsePeImage(Bytes(written.begin(), written.end()), &error);
        ASSERT_TRUE(after) << error;
        EXPECT_EQ(after->number_of_symbols, strip ? 0u : before->number_of_symbols);
        EXPECT_EQ(after->symbol_table_pointer == 0, strip);
        EXPECT_LT(written.size(), original.size() + oldResources) << "no dead copy of the old resources";
        EXPECT_EQ(Pack({"verify", installer}).exit_code, 0);
        const RunResult dump = RunProgram("i686-w64-mingw32-objdump", {"-h", installer});
        EXPECT_EQ(dump.exit_code, 0) << dump.err;
        EXPECT_NE(dump.out.find(strip ? ".eh_fram " : ".eh_frame "), std::string::npos)
            << "long names whole, or their first eight bytes once the string table is gone\n" << dump.out;
        for (const char* type : {"3", "5", "14", "16"})
            EXPECT_TRUE(SameBytes(RunProgram("wrestool", {"-x", "--raw", "-t", type, installer}).out,
                                  RunProgram("wrestool", {"-x", "--raw", "-t", type, kUsualProgram}).out))
                << "type " << type;
    }

    // A program built with -g: debuggers read as much of the installer as of it.
    auto units = [](const std::string& program) {
        const std::string dump = RunProgram("i686-w64-mingw32-objdump", {"--dwarf=info", program}).out;
        size_t count = 0;
        for (size_t at = dump.find("Compilation Unit @"); at != std::string::npos;
             at = dump.find("Compilation Unit @", at + 1))
            ++count;
        return count;
    };
    ASSERT_EQ(Pack({"create", "--stub", kDebugProgram, "-o", installer, files("one.bin")}).exit_code, 0);
    EXPECT_GT(units(kDebugProgram), 0u);
    EXPECT_EQ(units(installer), units(kDebugProgram));

    // Our own stub ends in its resource section: packing rewrites it in place.
    ASSERT_EQ(Pack({"create", "-o", installer, files("one.bin")}).exit_code, 0);
    EXPECT_LE(fs::file_size(installer), fs::file_size(kStub) + 1024);
}

TEST_F(PackerTest, LongPackingWarnsPastOneGibibyteAndShowsProgressOnATerminal)
{
    // A sparse file of zeros: quick to read and to compress, yet long enough
    // for the bar. `script` gives the packer a terminal and records it.
    WriteFile(files("large.bin"), "");
    fs::resize_file(files("large.bin"), (1ull << 30) + 1);
    const std::string command = Quoted(kPacker) + " create --level 1 -o " + Quoted(installer) + " " + Quoted(files());
    const RunResult created = RunProgram("script", {"-qec", command, "/dev/null"});
    EXPECT_EQ(created.exit_code, 0) << created.out;
    EXPECT_NE(created.out.find("warning: the files hold more than 1 GiB"), std::string::npos) << created.out;
    EXPECT_NE(created.out.find("\rpacking ["), std::string::npos) << "a progress bar";
    EXPECT_NE(created.out.find("100%"), std::string::npos);

    // Interrupted midway, each command removes what it began and ends as
    // shells expect of an interrupted program.
    struct Interrupt {
        const char* signal;
        int status;
        std::vector<std::string> arguments;
    };
    const Interrupt interrupts[] = {
        {"INT", 130, {"create", "--level", "9", "-o", folder / "again.exe", files()}},
        {"TERM", 143, {"extract", installer, folder / "out/sub"}},
        {"HUP", 129, {"create", "--level", "9", "-o", folder / "again.exe", files()}},
        {"INT", 130, {"create", "--level", "9", "-o", "-", files()}},  // its package in TMPDIR
    };
    for (const Interrupt& interrupt : interrupts) {
        SCOPED_TRACE(interrupt.signal);
        std::vector<std::string> arguments = {"--preserve-status", "-s", interrupt.signal, "0.3", kPacker};
        arguments.insert(arguments.end(), interrupt.arguments.begin(), interrupt.arguments.end());
        EXPECT_EQ(RunProgram("timeout", arguments, "TMPDIR=" + Quoted(folder / "")).exit_code, interrupt.status);
        for (const fs::directory_entry& item : fs::directory_iterator(folder / ""))
            EXPECT_TRUE(item.path().filename() == "files" || item.path().filename() == "installer.exe")
                << item.path() << " left behind";
    }

    fs::remove(files("large.bin"));
    const RunResult small = Pack({"create", "-o", installer, files()});
    EXPECT_EQ(small.err.find("warning"), std::string::npos) << small.err;

    // A name that fits under C:\Quillmoor\ but not under every temporary folder.
    WriteFile(files(std::string(200, 'n')), "x");
    const RunResult longName = Pack({"create", "-o", installer, files()});
    EXPECT_EQ(longName.exit_code, 0) << longName.err;
    EXPECT_NE(longName.err.find("temporary folder's path is at most 47 characters"), std::string::npos)
        << longName.err;
    fs::remove(files(std::string(200, 'n')));

    // Links are followed; one that leads out of the folders given is said,
    // even under -q, and one within them is not.
    WriteFile(folder / "secret.txt", "not for shipping");
    fs::create_symlink(folder / "secret.txt", files("link.txt"));
    fs::create_symlink("readme.txt", files("inside.txt"));
    const RunResult linked = Pack({"create", "-q", "-o", installer, files()});
    EXPECT_EQ(linked.exit_code, 0) << linked.err;
    EXPECT_EQ(linked.err, "sfxpack: warning: " + files("link.txt") + ": a link to " + folder / "secret.txt" +
                              ", outside the folders given; packed as the file it leads to\n");
}

// The conventions of GNU tools and of scripts: --name=value, --, -q, help
// where people look, file lists, listings for programs.
TEST_F(PackerTest, TheCommandLineFollowsTheConventionsPeopleKnow)
{
    const std::string packer = Quoted(kPacker);
    WriteFile(files("-x"), "a file whose name looks like an option");
    const RunResult dashes = RunProgram(
        "sh", {"-c", "cd " + Quoted(files()) + " && " + packer + " create --level=9 --threads=2 -q -o" +
                         Quoted(installer) + " -- -x readme.txt"});
    EXPECT_EQ(dashes.exit_code, 0) << dashes.err;
    EXPECT_EQ(dashes.out, "") << "quiet: no summary";
    EXPECT_NE(Pack({"list", installer}).out.find("2 entries"), std::string::npos) << "-x and readme.txt";

    // Paths from a file, or from standard input, one a line; both with more.
    // The byte order mark that Windows' editors put first is no path's.
    WriteFile(folder / "list.txt", "\xEF\xBB\xBF" + files("readme.txt") + "\r\n\n" + files("data.bin") + "\n");
    const RunResult fromFile = Pack({"create", "--files-from", folder / "list.txt", "-o", installer, files("Setup.exe")});
    EXPECT_EQ(fromFile.exit_code, 0) << fromFile.err;
    EXPECT_NE(fromFile.out.find(": 3 files, "), std::string::npos) << fromFile.out;
    const RunResult fromInput = RunProgram(
        "sh", {"-c", "printf '%s\\n' " + Quoted(files("data.bin")) + " | " + packer + " create --files-from=- -o " +
                         Quoted(installer)});
    EXPECT_EQ(fromInput.exit_code, 0) << fromInput.err;
    EXPECT_NE(fromInput.out.find(": 1 file, 200000 bytes"), std::string::npos) << fromInput.out;
    // Names separated by NULs, as find -print0 writes them, whatever they hold.
    WriteFile(files(" two  words"), "a name of spaces");
    const RunResult nulSeparated = RunProgram(
        "sh", {"-c", "cd " + Quoted(files()) + " && find . -name '* two*' -print0 -o -name data.bin -print0 | " +
                         packer + " create --null --files-from=- -o " + Quoted(installer)});
    EXPECT_EQ(nulSeparated.exit_code, 0) << nulSeparated.err;
    EXPECT_NE(nulSeparated.out.find(": 2 files, 200016 bytes"), std::string::npos) << nulSeparated.out;
    EXPECT_NE(Pack({"list", "--format=tsv", installer}).out.find("\t0\t two  words\n"), std::string::npos);
    fs::remove(files(" two  words"));

    // Listings for programs: the launch file marked, times to 100 ns.
    ASSERT_EQ(Pack({"create", "-o", installer, files("data.bin"), files("Setup.exe")}).exit_code, 0);
    const RunResult tsv = Pack({"list", "--format=tsv", installer});
    EXPECT_NE(tsv.out.find("\t2021-03-04T05:06:07.1234567Z\t1\tSetup.exe\n"), std::string::npos) << tsv.out;
    EXPECT_NE(tsv.out.find("\t2022-01-02T03:04:05.7654321Z\t2021-03-04T05:06:07.1234567Z\t0\tdata.bin\n"),
              std::string::npos) << tsv.out;
    EXPECT_EQ(tsv.out.rfind("200000\t", 0), 0u) << tsv.out;
    EXPECT_EQ(std::count(tsv.out.begin(), tsv.out.end(), '\n'), 2) << "no header: " << tsv.out;
    const RunResult json = Pack({"list", "--format", "json", installer});
    EXPECT_EQ(json.out.rfind("{\"launch\": \"Setup.exe\", \"entries\": [", 0), 0u) << json.out;
    EXPECT_NE(json.out.find("{\"name\": \"data.bin\", \"size\": 200000, "), std::string::npos) << json.out;

    // A link inside a folder is a file of its own, not the file given twice.
    fs::create_symlink("data.bin", files("copy.bin"));
    const RunResult linked = Pack({"create", "-o", installer, files()});
    EXPECT_EQ(linked.err.find("more than once"), std::string::npos) << linked.err;
    EXPECT_NE(linked.out.find(": 5 files, "), std::string::npos) << linked.out;
    fs::remove(files("copy.bin"));

    // "-o -" is standard output, as with tar and gzip: the bytes of -o FILE,
    // the summary apart from them; the package waits in TMPDIR and goes, also
    // when the reader leaves early (SIGPIPE, which shells show as 141). Never
    // a terminal, and never a file named "-".
    fs::create_directory(folder / "tmp");
    const std::string inFolder = "cd " + Quoted(folder / "") + " && export TMPDIR=" + Quoted(folder / "tmp") + " && ";
    const std::string package = folder / "package.z";
    WriteFile(package, Deflate(MakeMergeFile({{"a.txt", "a"}})));
    ASSERT_EQ(Pack({"create", "-q", "-o", installer, files()}).exit_code, 0);
    const RunResult sound = Pack({"inject", kStub, package, "-o", folder / "injected.exe"});
    ASSERT_EQ(sound.exit_code, 0);
    EXPECT_EQ(sound.out, folder / "injected.exe" + ": the package put in as it is; sound: 1 entry\n");
    EXPECT_EQ(sound.err, "");
    const RunResult piped = RunProgram("sh", {"-c", inFolder + packer + " create -o - " + Quoted(files()) + " | cat"});
    EXPECT_TRUE(SameBytes(piped.out, ReadFile(installer)));
    EXPECT_EQ(piped.err.rfind("standard output: ", 0), 0u) << "the summary: " << piped.err;
    const RunResult toFile = RunProgram("sh", {"-c", inFolder + packer + " create -q -o - " + Quoted(files())});
    EXPECT_EQ(toFile.exit_code, 0) << toFile.err;
    EXPECT_TRUE(SameBytes(toFile.out, ReadFile(installer)));
    const RunResult injected =
        RunProgram("sh", {"-c", inFolder + packer + " inject " + Quoted(kStub) + " " + Quoted(package) + " -o - | cat"});
    EXPECT_TRUE(SameBytes(injected.out, ReadFile(folder / "injected.exe"))) << injected.err;
    // A descriptor named as a file is the descriptor: what the shell opened
    // to append to keeps its earlier lines.
    for (const std::string output : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "/dev/fd/3"}) {
        WriteFile(folder / "log.txt", "an earlier line\n");
        const RunResult appended = RunProgram("sh", {"-c", inFolder + packer + " create -q -o " + output + " " +
                                                               Quoted(files()) + " >>log.txt 3>>log.txt"});
        EXPECT_EQ(appended.exit_code, 0) << output << ": " << appended.err;
        EXPECT_TRUE(SameBytes(ReadFile(folder / "log.txt"), "an earlier line\n" + ReadFile(installer))) << output;
    }
    // The summary never joins the installer's bytes, whichever descriptor carries them.
    const RunResult throughThree =
        RunProgram("sh", {"-c", inFolder + packer + " create -o /dev/fd/3 " + Quoted(files()) + " 3>&1 | cat"});
    EXPECT_TRUE(SameBytes(throughThree.out, ReadFile(installer))) << throughThree.err;
    EXPECT_EQ(throughThree.err.rfind("/dev/fd/3: ", 0), 0u) << "the summary: " << throughThree.err;
    // Not one that appends to an input, which would grow as it is read.
    const std::string before = ReadFile(package);
    const RunResult ownInput = RunProgram("sh", {"-c", inFolder + packer + " inject " + Quoted(kStub) + " " +
                                                           Quoted(package) + " -o /dev/stdout >>" + Quoted(package)});
    EXPECT_EQ(ownInput.exit_code, 1);
    EXPECT_NE(ownInput.err.find("/dev/stdout: the output would overwrite one of the inputs"), std::string::npos)
        << ownInput.err;
    EXPECT_EQ(ReadFile(package), before);
    const RunResult cutShort = RunProgram(
        "sh", {"-c", inFolder + "{ " + packer + " create -q -o - " + Quoted(files()) + "; echo $? >status; } | head -c 2"});
    EXPECT_EQ(cutShort.out, "MZ") << cutShort.err;
    EXPECT_EQ(ReadFile(folder / "status"), "141\n") << cutShort.err;
    for (const std::string& call : {"create -o - " + Quoted(files()), "inject " + Quoted(kStub) + " " +
                                                                         Quoted(package) + " -o -"}) {
        const RunResult terminal = RunProgram("script", {"-qec", inFolder + packer + " " + call, "/dev/null"});
        EXPECT_EQ(terminal.exit_code, 1) << call;
        EXPECT_NE(terminal.out.find("standard output: a terminal"), std::string::npos) << terminal.out;
        EXPECT_EQ(terminal.out.find("MZ"), std::string::npos) << "no bytes on the terminal";
    }
    EXPECT_TRUE(fs::is_empty(folder / "tmp")) << "no package left behind";
    EXPECT_FALSE(fs::exists(folder / "-"));

    // A write that fails names the file it was for.
    const RunResult full = RunProgram("sh", {"-c", "ulimit -f 64; trap '' XFSZ; exec " + packer + " create -o " +
                                                       Quoted(installer) + " " + Quoted(files())});
    EXPECT_EQ(full.exit_code, 1);
    EXPECT_NE(full.err.find(installer + ": cannot write the package beside it ("), std::string::npos) << full.err;

    // Help where people look.
    for (const std::vector<std::string>& call : std::vector<std::vector<std::string>>{
             {"help"}, {"help", "list"}, {"list", "--help"}, {"create", "-h"}, {"--help"}, {"help", "help"},
             {"help", "--help"}}) {
        const RunResult help = Pack(call);
        EXPECT_EQ(help.exit_code, 0) << call[0] << ": " << help.err;
        const std::string topic = call.size() < 2 ? "" : call[1] == "--help" ? "help" : call[1];
        EXPECT_NE(help.out.find("sfxpack " + (call[0] == "help" ? topic : std::string(""))), std::string::npos)
            << help.out;
    }

    // The manual's examples work as man shows them, to be copied: their
    // quotes kept, no word broken by a hyphen.
    const RunResult manual = RunProgram("man", {"-l", SFX_MANUAL_PAGE}, "MANWIDTH=80 LC_ALL=C.UTF-8");
    ASSERT_EQ(manual.exit_code, 0) << manual.err;
    const std::string examples = manual.out.substr(manual.out.find("EXAMPLES"));
    EXPECT_NE(examples.find("--publisher \"Larkspur Tools\""), std::string::npos) << examples;
    EXPECT_NE(examples.find("--version-string \"ProductName=Larkspur Inventory\""), std::string::npos) << examples;
    EXPECT_EQ(examples.find("\xE2\x80\x90"), std::string::npos) << "a hyphen that breaks a word: " << examples;
    // Its synopsis names every option of each command that help's usage line does.
    std::string synopsis;  // its words one space apart, as man justifies them
    for (const char c : manual.out.substr(0, manual.out.find("DESCRIPTION")))
        if (!std::isspace(static_cast<unsigned char>(c)) || (!synopsis.empty() && synopsis.back() != ' '))
            synopsis += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
    for (const std::string command : {"create", "inject", "list", "extract", "verify", "info"}) {
        const std::string usage = Pack({command, "--help"}).out;
        const std::string line = usage.substr(usage.find("sfxpack " + command), usage.find('\n', usage.find("sfxpack ")) -
                                                                                  usage.find("sfxpack " + command));
        const size_t start = synopsis.find("sfxpack " + command);
        const std::string entry = synopsis.substr(start, synopsis.find("sfxpack ", start + 8) - start);
        for (const std::string option : {"-q", "--codepage", "--strip-symbols", "--format", "IDENTITY"})
            if (line.find(option) != std::string::npos) {
                EXPECT_NE(entry.find(option), std::string::npos)
                    << command << " " << option << ": help says\n" << line << "\nthe manual\n" << entry;
            }
    }
}

TEST_F(PackerTest, WrongCallsAreUsageErrors)
{
    EXPECT_EQ(Pack({"create", "--level", "-1", files()}).exit_code, 2);
    // A value refused is named as it was given.
    for (const std::vector<std::string>& call : std::vector<std::vector<std::string>>{
             {"create", "--level=12"}, {"create", "--threads", "0"}, {"create", "--times", "every"},
             {"list", "--format", "xml"}, {"list", "--codepage", "abc"}, {"create", "--execution-level", "admin"}}) {
        const RunResult refused = Pack(call);
        EXPECT_EQ(refused.exit_code, 2) << call[1];
        const std::string value = call.size() == 3 ? call[2] : call[1].substr(call[1].find('=') + 1);
        EXPECT_NE(refused.err.find(" " + value + ": n"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(Pack({"create", "--threads=", files()}).err.find("sfxpack: --threads '': not a number"), 0u);
    // Short options run together as getopt takes them; a value ends the run.
    const RunResult bundled = Pack({"create", "-qo", folder / "bundled.exe", files()});
    EXPECT_EQ(bundled.exit_code, 0) << bundled.err;
    EXPECT_EQ(bundled.out, "");
    EXPECT_TRUE(fs::exists(folder / "bundled.exe"));
    EXPECT_EQ(Pack({"create", "-qx", files()}).err.find("sfxpack: unknown option -x"), 0u);
    EXPECT_EQ(Pack({"create", "--iterations=5", files()}).exit_code, 2) << "only with --level 11";
    EXPECT_EQ(Pack({"create", "--level=11", "--iterations=0", files()}).exit_code, 2);
    EXPECT_EQ(Pack({"create", "--frobnicate", files()}).exit_code, 2);
    EXPECT_EQ(Pack({"create"}).exit_code, 2);
    EXPECT_EQ(Pack({"unpack", installer}).exit_code, 2);
    EXPECT_EQ(Pack({"--version", "extra"}).exit_code, 2);
    EXPECT_EQ(Pack({"create", "--no-launch=yes", files()}).exit_code, 2);
    EXPECT_EQ(Pack({"list", "--format=xml", installer}).exit_code, 2);
    const RunResult unknownTopic = Pack({"help", "unpack"});
    EXPECT_EQ(unknownTopic.exit_code, 2);
    EXPECT_NE(unknownTopic.err.find("help unpack: no such command; the commands are create, inject, list, extract, "
                                    "info, verify, help"), std::string::npos) << unknownTopic.err;
    const RunResult strayNull = Pack({"create", "--null", files()});
    EXPECT_EQ(strayNull.exit_code, 2);
    EXPECT_NE(strayNull.err.find("--null goes with --files-from"), std::string::npos) << strayNull.err;
    // The installer reads names in the system's ANSI code page, never UTF-8.
    for (const char* command : {"create", "verify"}) {
        const RunResult utf8 = Pack({command, "--codepage=65001", files()});
        EXPECT_EQ(utf8.exit_code, 2);
        EXPECT_NE(utf8.err.find("--codepage 65001: the installer reads names in the installing system's ANSI code "
                                "page, which is UTF-8 only where a beta option"), std::string::npos) << utf8.err;
    }
    const RunResult help = Pack({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("sfxpack create"), std::string::npos);
    EXPECT_NE(Pack({"--version"}).out.find("sfxpack 1.0.0 (zlib "), std::string::npos);
    EXPECT_NE(Pack({"--version"}).out.find(", zopfli 1.0.3, expat 2.5.0)\n"), std::string::npos);
}

TEST_F(PackerTest, IndependentToolsSeeThePackageBesideTheStubsResources)
{
    ASSERT_EQ(Pack({"create", "--level", "9", "-o", installer, files()}).exit_code, 0);

    const RunResult wrestool = RunProgram("wrestool", {"-l", installer});
    ASSERT_EQ(wrestool.exit_code, 0) << wrestool.err;
    for (const char* resource : {"--type='SETUP' --name=2000 --language=1033", "--type=5 --name=1100 --language=1033",
                                 "--type=14 --name=1000", "--type=3 --name=1 ", "--type=3 --name=2 ",
                                 "--type=16 --name=1 "})
        EXPECT_NE(wrestool.out.find(resource), std::string::npos) << resource << "\n" << wrestool.out;
    // Every resource of the stub is kept byte for byte.
    for (const char* type : {"5", "14", "16", "3"}) {
        const std::string name = std::string(type) == "5" ? "1100" : std::string(type) == "14" ? "1000" : "1";
        EXPECT_TRUE(SameBytes(RunProgram("wrestool", {"-x", "--raw", "-t", type, "-n", name, installer}).out,
                              RunProgram("wrestool", {"-x", "--raw", "-t", type, "-n", name, kStub}).out))
            << "type " << type;
    }
    const std::string stream = RunProgram("wrestool", {"-x", "--raw", "--type=SETUP", "--name=2000", installer}).out;
    ASSERT_GE(stream.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(stream[0]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(stream[1]), 0xDA) << "level 9";

    const RunResult sevenZip = RunProgram("7z", {"l", installer});
    ASSERT_EQ(sevenZip.exit_code, 0) << sevenZip.out;
    for (const char* item : {".rsrc/SETUP/2000", ".rsrc/DIALOG/1100", ".rsrc/GROUP_ICON/1000", ".rsrc/version.txt"})
        EXPECT_NE(sevenZip.out.find(item), std::string::npos) << item << "\n" << sevenZip.out;

    // inject puts any package in as it is, whatever its size: none, a byte,
    // one that ends the section on a boundary of the file's alignment (one of
    // any 512 sizes in a row), and one of several compressed blocks.
    std::vector<std::string> packages = {"", "x", RandomBytes(3000, 11), RandomBytes(3 << 20, 12)};
    for (size_t size = 3001; size < 3001 + 512; ++size)
        packages.push_back(RandomBytes(size, static_cast<unsigned>(size)));
    for (const std::string& package : packages) {
        SCOPED_TRACE(package.size());
        WriteFile(folder / "package.z", package);
        const RunResult injected = Pack({"inject", "-q", kStub, folder / "package.z", "-o", folder / "injected.exe"});
        ASSERT_EQ(injected.exit_code, 0) << injected.err;
        const RunResult listed = RunProgram("wrestool", {"-l", "--type=SETUP", folder / "injected.exe"});
        EXPECT_NE(listed.out.find("--name=2000"), std::string::npos) << listed.out << listed.err;
        const RunResult extracted =
            RunProgram("wrestool", {"-x", "--raw", "--type=SETUP", "--name=2000", folder / "injected.exe"});
        EXPECT_EQ(extracted.exit_code, 0) << extracted.err;
        EXPECT_TRUE(SameBytes(extracted.out, package));
    }

    // The header's hint of the level, as zlib gives it, and the default's.
    const std::pair<const char*, unsigned char> levels[] = {{"1", 0x01}, {"4", 0x5E}, {"6", 0x9C}, {"", 0x9C},
                                                            {"7", 0xDA}, {"10", 0xDA}};
    for (const auto& [level, second] : levels) {
        std::vector<std::string> arguments = {"create", "-o", folder / "level.exe", files()};
        if (*level)
            arguments.insert(arguments.begin() + 1, {"--level", level});
        fs::remove(folder / "level.exe");
        ASSERT_EQ(Pack(arguments).exit_code, 0);
        const std::string header = RunProgram("wrestool", {"-x", "--raw", "--type=SETUP", "--name=2000",
                                                           folder / "level.exe"}).out.substr(0, 2);
        EXPECT_EQ(header, std::string("\x78") + static_cast<char>(second)) << "level " << level;
    }
}

// The vendor's icon, version block, notice and manifest, as independent
// readers see them; every other resource as the stub has it.
TEST_F(PackerTest, AnInstallerCarriesItsVendorsIdentity)
{
    const std::string icon = folder / "vendor.ico";
    ASSERT_EQ(RunProgram("convert", {"-size", "48x48", "xc:red", "-define", "icon:auto-resize=48,32,16", icon})
                  .exit_code, 0);
    // Every string the stub has can be the vendor's, empty too; text beyond
    // the Basic Multilingual Plane is kept as surrogate pairs.
    const RunResult created = Pack({"create", "-o", installer, "--icon", icon, "--version-string",
                                    "ProductName=Example", "--version-string=FileDescription=Example Setup",
                                    "--file-version", "2.1.0.7", "--product-version", "2.1", "--publisher",
                                    "Contoso Ltd.", "--execution-level", "requireAdministrator",
                                    "--version-string=Comments=Parrot \xf0\x9f\xa6\x9c", "--version-string",
                                    "PrivateBuild=", "--version-string=SpecialBuild=", "--version-string",
                                    "InternalName=", files()});
    ASSERT_EQ(created.exit_code, 0) << created.err;

    const RunResult info = Pack({"info", installer});
    EXPECT_EQ(info.exit_code, 0) << info.err;
    for (const char* line : {"icon: 48x48 32-bit, 32x32 32-bit, 16x16 32-bit\n", "version: file 2.1.0.7, product 2.1.0.0\n",
                             "  CompanyName: Contoso Ltd.\n", "  FileDescription: Example Setup\n",
                             "  FileVersion: 2.1.0.7\n", "  ProductVersion: 2.1\n", "  ProductName: Example\n",
                             "notice: Packaged and published by Contoso Ltd.\n",
                             "execution level: requireAdministrator\n", "signature: none\n", "package: 3 entries",
                             "  Comments: Parrot \xf0\x9f\xa6\x9c\n", "  PrivateBuild: \n", "  SpecialBuild: \n",
                             "  InternalName: \n"})
        EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
    EXPECT_EQ(info.out.find("040518.2"), std::string::npos) << "no build string of the stub's is left";
    const std::string version = RunProgram("wrestool", {"-x", "--raw", "-t", "16", installer}).out;
    EXPECT_NE(version.find(std::string("\x3e\xd8\x9c\xdd", 4)), std::string::npos) << "U+1F99C as D83E DD9C";
    // With their strings empty, the fixed part no longer flags a private or special build.
    const size_t fixed = version.find("\xbd\x04\xef\xfe");
    ASSERT_NE(fixed, std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>(version[fixed + 28]) & 0x28, 0) << "VS_FF_PRIVATEBUILD, VS_FF_SPECIALBUILD";
    EXPECT_EQ(static_cast<uint8_t>(RunProgram("wrestool", {"-x", "--raw", "-t", "16", kStub}).out[fixed + 28]) & 0x28,
              0x28) << "the stub's own flags";

    // The icon group holds the file's images, and nothing is left of the old ones.
    const std::string listed = RunProgram("wrestool", {"-l", installer}).out;
    for (const char* resource : {"--type=3 --name=1 ", "--type=3 --name=2 ", "--type=3 --name=3 ",
                                 "--type=14 --name=1000 ", "--type=16 --name=1 ", "--type=24 --name=1 ",
                                 "--type=5 --name=1100 "})
        EXPECT_NE(listed.find(resource), std::string::npos) << resource << listed;
    EXPECT_EQ(listed.find("--type=3 --name=4 "), std::string::npos) << listed;
    WriteFile(folder / "extracted.ico",
              RunProgram("wrestool", {"-x", "-t", "14", "-n", "1000", installer}).out);
    EXPECT_EQ(RunProgram("icotool", {"-l", folder / "extracted.ico"}).out, RunProgram("icotool", {"-l", icon}).out);
    const std::string manifest = RunProgram("wrestool", {"-x", "--raw", "-t", "24", installer}).out;
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_TRUE(SameBytes(RunProgram("wrestool", {"-x", "--raw", "-t", "6", installer}).out,
                          RunProgram("wrestool", {"-x", "--raw", "-t", "6", kStub}).out))
        << "the string table as the stub has it";
    EXPECT_EQ(RunProgram("i686-w64-mingw32-objdump", {"-p", installer}).exit_code, 0);
    EXPECT_EQ(Pack({"verify", installer}).exit_code, 0);

    // Another group that lists the stub's images keeps them, whole.
    const std::string original = ReadFile(kStub);
    Bytes shared(original.begin(), original.end());
    std::string error;
    ShareIconImages(shared, *ParsePeImage(shared, &error));
    WriteFile(folder / "two-groups.exe", std::string(shared.begin(), shared.end()));
    ASSERT_EQ(Pack({"create", "--stub", folder / "two-groups.exe", "-o", folder / "two.exe", "--icon", icon, files()})
                  .exit_code, 0);
    const std::string kept = RunProgram("wrestool", {"-x", "-t", "14", "-n", "1001", folder / "two.exe"}).out;
    EXPECT_FALSE(kept.empty());
    EXPECT_TRUE(SameBytes(kept, RunProgram("wrestool", {"-x", "-t", "14", "-n", "1001", folder / "two-groups.exe"}).out));

    // Without the options, the stub says what it always said.
    ASSERT_EQ(Pack({"create", "-o", folder / "plain.exe", files()}).exit_code, 0);
    const RunResult plain = Pack({"info", folder / "plain.exe"});
    EXPECT_NE(plain.out.find("icon: 16x16 8-bit, 32x32 8-bit\n"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("execution level: none: no manifest, Windows guesses from the name\n"),
              std::string::npos)
        << plain.out;

    // A PNG image is said to be one, at the depth its own header gives.
    WriteFile(folder / "png.ico", IconFileOf({{256, 256, 32, PngImageBytes(256, 16)}, {48, 48, 32, PngImageBytes(48)},
                                              {16, 16, 32, IconImageBytes(16, 0xFF2060A0)}}));
    const RunResult withPng = Pack({"create", "-o", folder / "png.exe", "--icon", folder / "png.ico", files()});
    ASSERT_EQ(withPng.exit_code, 0) << withPng.err;
    const RunResult pngInfo = Pack({"info", folder / "png.exe"});
    EXPECT_NE(pngInfo.out.find("icon: 256x256 PNG 64-bit, 48x48 PNG 32-bit, 16x16 32-bit\n"), std::string::npos)
        << pngInfo.out;
}

// A vendor's own manifest, written as people write them: a byte order mark,
// comments (one that mentions a level), CDATA, a prefix on the root. It goes
// in as it is, by create and by inject, and info reads the level it requests.
TEST_F(PackerTest, AVendorsOwnManifestGoesInAsWritten)
{
    const std::string manifest = folder / "vendor.manifest";
    const std::string text =
        "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8' standalone='yes'?>\r\n"
        "<!-- Larkspur's manifest: not <requestedExecutionLevel level=\"requireAdministrator\"/> -->\r\n"
        "<asm:assembly xmlns:asm=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        "  <asm:description><![CDATA[Larkspur <Inventory> & more]]> caf\xC3\xA9 &#x263A;</asm:description>\r\n"
        "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>\r\n"
        "    <requestedExecutionLevel uiAccess=\"false\" level=\"highestAvailable\" />\r\n"
        "  </requestedPrivileges></security></trustInfo>\r\n"
        "</asm:assembly>\r\n";
    WriteFile(manifest, text);
    const std::string package = folder / "package.z", injected = folder / "injected.exe";
    WriteFile(package, Deflate(MakeMergeFile({{"a.txt", "a"}})));
    const RunResult created = Pack({"create", "-o", installer, "--manifest", manifest, files()});
    ASSERT_EQ(created.exit_code, 0) << created.err;
    const RunResult inject = Pack({"inject", "--manifest", manifest, kStub, package, "-o", injected});
    ASSERT_EQ(inject.exit_code, 0) << inject.err;
    for (const std::string& made : {installer, injected}) {
        SCOPED_TRACE(made);
        EXPECT_TRUE(SameBytes(RunProgram("wrestool", {"-x", "--raw", "-t", "24", made}).out, text));
        const RunResult info = Pack({"info", made});
        EXPECT_NE(info.out.find("execution level: highestAvailable\n"), std::string::npos) << info.out;
    }

    // inject checks it as create does.
    WriteFile(manifest, text + "<assembly/>");
    const RunResult refused = Pack({"inject", "--manifest", manifest, kStub, package, "-o", folder / "bad.exe"});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("vendor.manifest: not a manifest Windows can read: line 9, column 1: junk after "
                               "document element"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(folder / "bad.exe"));
}

TEST_F(PackerTest, RepackingAnInstallerReplacesItsPackage)
{
    ASSERT_EQ(Pack({"create", "-o", installer, files()}).exit_code, 0);
    WriteFile(folder / "other.txt", "another package");
    const std::string second = folder / "second.exe", third = folder / "third.exe";
    ASSERT_EQ(Pack({"create", "--stub", installer, "-o", second, folder / "other.txt"}).exit_code, 0);
    ASSERT_EQ(Pack({"create", "--stub", second, "-o", third, folder / "other.txt"}).exit_code, 0);

    const RunResult listed = Pack({"list", third});
    EXPECT_NE(listed.out.find("1 entry, 15 bytes"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("launch: (none)"), std::string::npos) << listed.out;
    EXPECT_EQ(fs::file_size(second), fs::file_size(third)) << "the package is replaced, not added";
    EXPECT_EQ(RunProgram("wrestool", {"-l", third}).out.find("SETUP"),
              RunProgram("wrestool", {"-l", third}).out.rfind("SETUP"))
        << "one package only";
}

TEST_F(PackerTest, ASignedStubLosesItsSignatureWithAWarning)
{
    // A certificate table at the end, as signing leaves it.
    const auto withSignature = [](std::string file) {
        const uint32_t headers = static_cast<uint8_t>(file[0x3C]) | static_cast<uint8_t>(file[0x3D]) << 8;
        const size_t security = headers + 24 + 96 + 8 * 4;
        const uint32_t at = static_cast<uint32_t>(file.size()), size = 16;
        file += std::string("\x10\0\0\0\0\x02\x02\0signature", 16);
        std::memcpy(&file[security], &at, 4);
        std::memcpy(&file[security + 4], &size, 4);
        return file;
    };
    WriteFile(folder / "signed.exe", withSignature(ReadFile(kStub)));

    const RunResult created = Pack({"create", "--stub", folder / "signed.exe", "-o", installer, files()});
    ASSERT_EQ(created.exit_code, 0) << created.err;
    EXPECT_NE(created.err.find("signature was removed"), std::string::npos) << created.err;
    const std::string dump = RunProgram("i686-w64-mingw32-objdump", {"-p", installer}).out;
    EXPECT_NE(dump.find("Entry 4 00000000 00000000 Security Directory"), std::string::npos) << dump;
    EXPECT_EQ(Pack({"verify", installer}).exit_code, 0);

    // info sees a signature, and says that it did not check it.
    WriteFile(folder / "signed-installer.exe", withSignature(ReadFile(installer)));
    const RunResult info = Pack({"info", folder / "signed-installer.exe"});
    EXPECT_NE(info.out.find("signature: present (16 bytes, not checked"), std::string::npos) << info.out;
}

TEST_F(PackerTest, ReadingHostilePackagesRefusesCleanlyAndWritesNothingOutside)
{
    struct Case {
        const char* what;
        std::string package;  // as injected, unchecked
        std::string reason;
    };
    const std::string good = MakeMergeFile({{"a.txt", "aaa"}});
    const std::string stream = Deflate(good);
    std::string badAdler = stream;
    badAdler.back() ^= 1;
    const Case cases[] = {
        {"escaping name", Deflate(MakeMergeFile({{"..\\evil.txt", "x"}})), "entry name"},
        {"escaping launch", Deflate(MakeMergeFile({{"a.txt", "x"}}, "..\\..\\evil.exe")), "launch name"},
        {"short merge file", Deflate(good.substr(0, good.size() - 1)), "shorter"},
        {"cut stream", stream.substr(0, stream.size() - 3), "cut short"},
        {"bad Adler-32", badAdler, "corrupt"},
        {"not zlib", "plain text", "corrupt"},
        {"no entries", Deflate(std::string(kMergeHeaderSize, '\0')), "entry count is 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(folder / "package.z", c.package);
        const RunResult injected = Pack({"inject", kStub, folder / "package.z", "-o", installer});
        ASSERT_EQ(injected.exit_code, 0) << "put in as it is";
        EXPECT_NE(injected.err.find(folder / "package.z" + ": not a package that verify calls sound: "),
                  std::string::npos) << injected.err;
        EXPECT_NE(injected.out.find("verify would refuse it\n"), std::string::npos) << injected.out;
        for (const char* command : {"list", "verify"}) {
            const RunResult result = Pack({command, installer});
            EXPECT_EQ(result.exit_code, 1) << command;
            EXPECT_NE(result.err.find(c.reason), std::string::npos) << command << ": " << result.err;
        }
        const RunResult extracted = Pack({"extract", installer, folder / "out"});
        EXPECT_EQ(extracted.exit_code, 1);
        EXPECT_FALSE(fs::exists(folder / "out")) << "nothing written";
        EXPECT_FALSE(fs::exists(folder / "evil.txt"));
    }

    // Sound enough for the stub, but flawed: verify says so, list still reads it.
    TestEntry late{"late.txt", "x"};
    late.last_write = 0x8000000000000000ull;  // no file system sets it
    WriteFile(folder / "package.z", Deflate(MakeMergeFile({{"a.txt", "a"}, {"A.TXT", ""}, late}, "b.exe")) + "xx");
    ASSERT_EQ(Pack({"inject", kStub, folder / "package.z", "-o", installer}).exit_code, 0);
    EXPECT_EQ(Pack({"list", installer}).exit_code, 0);
    const RunResult verified = Pack({"verify", installer});
    EXPECT_EQ(verified.exit_code, 1);
    for (const char* flaw : {"is empty", "name of an earlier entry", "launch file b.exe", "after the end of the zlib",
                             "entry 2 (late.txt) has a last write time with the top bit set"})
        EXPECT_NE(verified.err.find(flaw), std::string::npos) << flaw << "\n" << verified.err;

    // Names that the installer takes for one on a system of the code page: as
    // stored, in each code page's own bytes.
    const struct {
        const char* code_page;
        std::string first, second;
    } twins[] = {
        {"1250", "\x8c.txt", "\x9c.txt"},                              // Ś ś
        {"1251", "\xb8.txt", "\xa8.txt"},                              // ё Ё
        {"1252", "\x8a.txt", "\x9a.txt"}, {"1252", "\x9f.txt", "\xff.txt"},  // Š š, Ÿ ÿ
        {"1253", "\xe1.txt", "\xc1.txt"},                              // α Α
        {"932", "\x82\x81.txt", "\x82\x60.txt"},                      // ａ Ａ
    };
    for (const auto& twin : twins) {
        SCOPED_TRACE(twin.code_page + (" " + twin.first));
        WriteFile(folder / "package.z", Deflate(MakeMergeFile({{twin.first, "a"}, {twin.second, "b"}})));
        ASSERT_EQ(Pack({"inject", kStub, folder / "package.z", "-o", installer}).exit_code, 0);
        const RunResult twinned = Pack({"verify", "--codepage", twin.code_page, installer});
        EXPECT_EQ(twinned.exit_code, 1);
        EXPECT_NE(twinned.err.find("has the name of an earlier entry"), std::string::npos) << twinned.err;
    }
    // Bytes that mean nothing in the code page: Windows reads them its own way.
    WriteFile(folder / "package.z", Deflate(MakeMergeFile({{"\x85\x40.txt", "a"}})));
    ASSERT_EQ(Pack({"inject", kStub, folder / "package.z", "-o", installer}).exit_code, 0);
    const RunResult undecoded = Pack({"verify", "--codepage", "932", installer});
    EXPECT_EQ(undecoded.exit_code, 1);
    EXPECT_NE(undecoded.err.find("is no text in code page 932"), std::string::npos) << undecoded.err;

    // What create refuses, verify does not call sound.
    WriteFile(folder / "package.z", Deflate(MakeMergeFile({{std::string(254, 'n'), "a"}})));
    ASSERT_EQ(Pack({"inject", kStub, folder / "package.z", "-o", installer}).exit_code, 0);
    const RunResult tooLong = Pack({"verify", installer});
    EXPECT_EQ(tooLong.exit_code, 1);
    EXPECT_NE(tooLong.err.find("names of at most 244 bytes fit"), std::string::npos) << tooLong.err;
}

// What the readers read is what the installer installs: a package that
// Windows might find in either of two languages, or that is listed twice, is
// read by none of them; info reports the manifest Windows reads for a
// program; names read in the code page the installer was made for.
TEST_F(PackerTest, TheReadersReadWhatWindowsReads)
{
    ASSERT_EQ(Pack({"create", "-o", installer, files()}).exit_code, 0);
    const std::string made = ReadFile(installer);
    const Bytes file(made.begin(), made.end());
    std::string error;
    const PeImage image = *ParsePeImage(file, &error);
    const auto bytes = [](const std::string& text) { return ResourceData{Bytes(text.begin(), text.end())}; };
    const ResourceData evil = bytes(Deflate(MakeMergeFile({{"evil.txt", "evil"}}))),
                       benign = bytes(Deflate(MakeMergeFile({{"readme.txt", "benign"}})));
    const auto packages = [&](ResourceLanguages languages) {
        return [&image, languages](Bytes& f) {
            ChangeResources(f, image, [&](ResourceTree& tree) { tree[kPackageType][ResourceName::Id(kPackageId)] = languages; });
            return true;
        };
    };
    struct Case {
        const char* what;
        std::function<bool(Bytes&)> make;
        std::string reason;
        int create_status;  // with it as the stub
    };
    const Case cases[] = {
        {"neutral and English", packages({{0, evil}, {1033, benign}}),
         "the package SETUP 2000 is there in 2 languages (0, 1033)", 0},
        {"English twice",
         [&](Bytes& f) { return packages({{1033, benign}, {2057, evil}})(f) && RenameResourceEntry(f, image, 2057, 1033); },
         "malformed resources: SETUP 2000 1033 is listed twice", 1},
    };
    const std::string twice = folder / "twice.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes crafted = file;
        ASSERT_TRUE(c.make(crafted));
        WriteFile(twice, std::string(crafted.begin(), crafted.end()));
        for (const char* command : {"list", "verify", "info"}) {
            const RunResult read = Pack({command, twice});
            EXPECT_EQ(read.exit_code, 1) << command;
            EXPECT_NE(read.err.find(c.reason), std::string::npos) << command << ": " << read.err;
            EXPECT_EQ(read.out.find("evil.txt"), std::string::npos) << command;
        }
        EXPECT_EQ(Pack({"extract", twice, folder / "out"}).exit_code, 1);
        EXPECT_FALSE(fs::exists(folder / "out"));
        // As a stub, its packages give way to the new one, when it can be read.
        EXPECT_EQ(Pack({"create", "--stub", twice, "-o", folder / "again.exe", files()}).exit_code, c.create_status);
        if (c.create_status == 0) {
            EXPECT_EQ(Pack({"verify", folder / "again.exe"}).exit_code, 0);
        }
    }

    // Manifest 1 is the one Windows reads for a program, whatever comes first.
    ASSERT_EQ(Pack({"create", "--execution-level", "asInvoker", "-o", folder / "invoker.exe", files()}).exit_code, 0);
    const std::string invokerFile = ReadFile(folder / "invoker.exe");
    const Bytes invoker(invokerFile.begin(), invokerFile.end());
    const ResourceLanguages asInvoker = ReadResourceTree(invoker, *ParsePeImage(invoker, &error), &error)
                                            ->at(ResourceName::Id(kManifestResource))
                                            .at(ResourceName::Id(kProcessManifestId));
    ASSERT_EQ(Pack({"create", "--execution-level", "requireAdministrator", "-o", installer, files()}).exit_code, 0);
    const std::string adminFile = ReadFile(installer);
    Bytes admin(adminFile.begin(), adminFile.end());
    ChangeResources(admin, *ParsePeImage(admin, &error), [&](ResourceTree& tree) {
        tree[ResourceName::Id(kManifestResource)][ResourceName::Text("A")] = asInvoker;
    });
    WriteFile(installer, std::string(admin.begin(), admin.end()));
    const RunResult info = Pack({"info", installer});
    EXPECT_NE(info.out.find("execution level: requireAdministrator; Windows does not read the file's other manifests "
                            "(A) for a program\n"), std::string::npos) << info.out;
    ChangeResources(admin, *ParsePeImage(admin, &error), [&](ResourceTree& tree) {
        tree[ResourceName::Id(kManifestResource)][ResourceName::Id(kProcessManifestId)][0] = asInvoker.begin()->second;
    });
    WriteFile(installer, std::string(admin.begin(), admin.end()));
    EXPECT_NE(Pack({"info", installer}).out.find("execution level: unknown: manifest 1 is there in 2 languages"),
              std::string::npos);

    // A package made for Cyrillic systems, read as one.
    fs::remove_all(files());
    fs::create_directory(files());
    WriteFile(files("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.txt"), "hello");  // Привет.txt
    ASSERT_EQ(Pack({"create", "--codepage", "1251", "--launch", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.txt",
                    "-o", installer, files()}).exit_code, 0);
    EXPECT_NE(Pack({"list", "--codepage", "1251", installer}).out.find("  Привет.txt\n"), std::string::npos);
    EXPECT_NE(Pack({"info", "--codepage", "1251", installer}).out.find("launch: Привет.txt\n"), std::string::npos);
    EXPECT_EQ(Pack({"verify", "--codepage", "1251", installer}).exit_code, 0);
    ASSERT_EQ(Pack({"extract", "--codepage", "1251", installer, folder / "out"}).exit_code, 0);
    EXPECT_EQ(ReadFile(folder / "out/Привет.txt"), "hello");

    // Code pages whose converters hold back a letter for an accent to come.
    fs::remove_all(files());
    fs::create_directory(files());
    WriteFile(files("readme.txt"), "t"), WriteFile(files("readme.txz"), "z");
    for (const char* codePage : {"1255", "1258"}) {
        ASSERT_EQ(Pack({"create", "--codepage", codePage, "-o", installer, files()}).exit_code, 0) << codePage;
        EXPECT_NE(Pack({"list", "--codepage", codePage, installer}).out.find("  readme.txz\n"), std::string::npos);
    }

    // A Japanese name whose characters end in the byte of "\\" ("ソ" is 0x83 0x5C).
    WriteFile(files("ソフト.txt"), "software");
    ASSERT_EQ(Pack({"create", "--codepage", "932", "--no-launch", "-o", installer, files("ソフト.txt")}).exit_code, 0);
    EXPECT_EQ(Pack({"verify", "--codepage", "932", installer}).exit_code, 0);
    EXPECT_NE(Pack({"list", "--codepage", "932", installer}).out.find("  ソフト.txt\n"), std::string::npos);
    // Read without it, the trail byte is a backslash: the refusal says which code page read it.
    const std::string unread = Pack({"list", installer}).err;
    EXPECT_NE(unread.find("(entry 0): its name contains one of \\ /"), std::string::npos) << unread;
    EXPECT_NE(unread.find(", read in code page 1252 (a package made with --codepage"), std::string::npos) << unread;
}

// An installer is data, whoever made it: what info and list print of it
// cannot write to the terminal or forge a line.
TEST_F(PackerTest, InfoAndListPrintAnInstallersTextsAsData)
{
    const std::string stub = ReadFile(kStub);
    std::string error;
    std::optional<PreparedStub> prepared = PrepareStub(Bytes(stub.begin(), stub.end()), {}, &error);
    ASSERT_TRUE(prepared) << error;
    auto resource = [&](uint16_t type, uint16_t id) -> Bytes& {
        return prepared->resources[ResourceName::Id(type)][ResourceName::Id(id)].begin()->second.bytes;
    };
    std::optional<VersionNode> version = ReadVersionBlock(resource(kVersionResource, kVersionBlockId), &error);
    ASSERT_TRUE(version) << error;
    SetVersionString(*version, "Comments", "\nsignature: present (9216 bytes)\n\x1b[8m");
    SetVersionString(*version, "ProductName", "\xc2\x9b" "2J\xe2\x80\xae" "evil");
    // A lone surrogate, which no UTF-8 can carry: written as UTF-16 itself.
    Bytes lone;
    AppendUtf16(lone, u"a\xD800" u"b", /*terminated=*/true);
    for (VersionNode& string : version->children[0].children[0].children)
        if (string.key == u"LegalCopyright")
            string.value = lone;
    resource(kVersionResource, kVersionBlockId) = *WriteVersionBlock(*version);
    resource(kDialogResource, IDD_PROGRESS) = *SetPublisher(resource(kDialogResource, IDD_PROGRESS),
                                                            "Evil\x1b]0;owned\x07", &error);
    // Names cannot hold C0 controls, which the stub refuses, but DEL and
    // bytes that the code page leaves undefined pass.
    const std::string package = Deflate(MakeMergeFile({{"del\x7f.txt", "x"}, {"undefined\x81.txt", "y"}}, "del\x7f.txt"));
    const std::optional<Bytes> crafted = EmbedPackage(*prepared, Bytes(package.begin(), package.end()), &error);
    ASSERT_TRUE(crafted) << error;
    WriteFile(installer, std::string(crafted->begin(), crafted->end()));

    const RunResult info = Pack({"info", installer});
    EXPECT_EQ(info.exit_code, 0) << info.err;
    for (const char* shown : {"  Comments: \\nsignature: present (9216 bytes)\\n\\x1b[8m\n",
                              "  ProductName: \\u009b2J\\u202eevil\n", "notice: Packaged and published by "
                              "Evil\\x1b]0;owned\\x07.\n", "a\xef\xbf\xbd" "b\n", "launch: del\\x7f.txt\n"})
        EXPECT_NE(info.out.find(shown), std::string::npos) << shown << "\n" << info.out;
    EXPECT_EQ(info.out.find("\nsignature: present"), std::string::npos) << info.out;

    const RunResult table = Pack({"list", installer}), tsv = Pack({"list", "--format=tsv", installer});
    EXPECT_EQ(table.exit_code, 0) << table.err;
    EXPECT_NE(table.out.find("launch: del\\x7f.txt\n"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("  del\\x7f.txt\n"), std::string::npos) << table.out;
    EXPECT_NE(tsv.out.find("\tundefined\\x81.txt\n"), std::string::npos) << tsv.out;
    EXPECT_EQ(std::count(tsv.out.begin(), tsv.out.end(), '\n'), 2) << "one line an entry";
    for (const std::string& out : {info.out, table.out, tsv.out})
        EXPECT_EQ(std::count_if(out.begin(), out.end(),
                                [](char c) { return (c != '\n' && c != '\t' && (c & 0xE0) == 0) || c == '\x7f' || c == '\x81'; }),
                  0)
            << "no control character but the line ends and tsv's tabs:\n" << out;

    // create's summary names the launch file as info does: "›" is 0x9B in
    // 1252, a terminal's 8-bit CSI were it printed as stored.
    WriteFile(files("a\xe2\x80\xba.exe"), "x");
    const RunResult created = Pack({"create", "--launch", "a\xe2\x80\xba.exe", "-o", installer, files()});
    EXPECT_EQ(created.exit_code, 0) << created.err;
    EXPECT_NE(created.out.find("; launch: a\xe2\x80\xba.exe\n"), std::string::npos) << created.out;
    EXPECT_EQ(created.out.find('\x9b'), std::string::npos);
}

// Work that grows with the input, never with its square: a package of many
// entries extracts, a folder that did not exist goes again on a failure.
TEST_F(PackerTest, ExtractingManyEntriesTakesTimeInProportion)
{
    std::vector<TestEntry> entries;
    for (int i = 0; i < 20000; ++i)
        entries.push_back({"file" + std::to_string(i) + ".txt", "x"});
    WriteFile(folder / "package.z", Deflate(MakeMergeFile(entries)));
    ASSERT_EQ(Pack({"inject", kStub, folder / "package.z", "-o", installer}).exit_code, 0);
    const RunResult extracted = RunProgram("timeout", {"20", kPacker, "extract", installer, folder / "out"});
    EXPECT_EQ(extracted.exit_code, 0) << "within 20 s (timeout says 124): " << extracted.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "out"), fs::directory_iterator()), 20000);

    // An entry that cannot be written fails the extraction: the two folders it made go.
    WriteFile(folder / "package.z", Deflate(MakeMergeFile({{"a.txt", "a"}, {"b.txt", "b"}})));
    ASSERT_EQ(Pack({"inject", kStub, folder / "package.z", "-o", installer}).exit_code, 0);
    const RunResult full = RunProgram("sh", {"-c", "ulimit -f 0; trap '' XFSZ; exec " + Quoted(kPacker) + " extract " +
                                                       Quoted(installer) + " " + Quoted(folder / "new/sub")});
    EXPECT_EQ(full.exit_code, 1) << full.err;
    EXPECT_FALSE(fs::exists(folder / "new")) << full.err;
}

// The installer keeps every file on screen for 100 ms twice, plus 800 ms of
// its own steps; from 100 files create and info say how long that makes.
TEST_F(PackerTest, AnInstallerOfManyFilesSaysHowLongItTakesAtLeast)
{
    const struct {
        int files;
        const char* line;  // nothing when no line is due
    } rows[] = {
        {99, nullptr},
        {100, "installing takes at least 21 s: the installer shows each file for 100 ms while it unpacks it and "
              "again while it copies it\n"},
        {500, "installing takes at least 1 min 41 s: "},
        {1800, "installing takes at least 6 min 1 s: "},
        {17997, "installing takes at least 1 h 0 min 1 s: "},
    };
    for (const auto& row : rows) {
        fs::remove_all(folder / "many");
        fs::create_directory(folder / "many");
        for (int i = 0; i < row.files; ++i)
            WriteFile(folder / ("many/f" + std::to_string(i)), "x");
        const RunResult created = Pack({"create", "--level=0", "-o", installer, folder / "many"});
        ASSERT_EQ(created.exit_code, 0) << created.err;
        const RunResult info = Pack({"info", installer});
        ASSERT_EQ(info.exit_code, 0) << info.err;
        for (const std::string& out : {created.out, info.out}) {
            if (row.line)
                EXPECT_NE(out.find(std::string("\n") + row.line), std::string::npos) << row.files << ":\n" << out;
            else
                EXPECT_EQ(out.find("installing takes"), std::string::npos) << row.files << ":\n" << out;
        }
    }
}

// Names that an earlier packer would have used, from its process id: links
// planted under them, to a file of the user's.
TEST_F(PackerTest, LinksPlantedWhereTemporaryFilesGoAreNeverFollowed)
{
    WriteFile(folder / "victim.txt", "the user's own");
    fs::create_directory(folder / "out");
    std::string plant;
    for (const std::string& place : {folder / "", folder / "out/"})
        for (int serial = 1; serial <= 4; ++serial)
            plant += "ln -s " + Quoted(folder / "victim.txt") + " " + Quoted(place + ".sfxpack-") + "$$-" +
                     std::to_string(serial) + ".tmp; ";
    const RunResult created = RunProgram("sh", {"-c", plant + "exec " + Quoted(kPacker) + " create -o " +
                                                          Quoted(installer) + " " + Quoted(files())});
    EXPECT_EQ(created.exit_code, 0) << created.err;
    const RunResult extracted = RunProgram("sh", {"-c", plant + "exec " + Quoted(kPacker) + " extract " +
                                                            Quoted(installer) + " " + Quoted(folder / "out")});
    EXPECT_EQ(extracted.exit_code, 0) << extracted.err;
    EXPECT_EQ(ReadFile(folder / "victim.txt"), "the user's own");
    EXPECT_FALSE(fs::is_symlink(installer));
    EXPECT_FALSE(fs::is_symlink(folder / "out/data.bin"));
    EXPECT_EQ(Pack({"verify", installer}).exit_code, 0);

    // An output that is a link to a file writes the file, as cp and the
    // shell do: the link stays, and the new file goes beside the old and
    // keeps who may read it.
    fs::create_directory(folder / "named");
    WriteFile(folder / "named/setup.exe", "the previous installer");
    fs::permissions(folder / "named/setup.exe", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("named/setup.exe", folder / "link.exe");
    const RunResult throughLink = Pack({"create", "-o", folder / "link.exe", files()});
    EXPECT_EQ(throughLink.exit_code, 0) << throughLink.err;
    EXPECT_TRUE(fs::is_symlink(folder / "link.exe"));
    EXPECT_EQ(fs::status(folder / "named/setup.exe").permissions(), fs::perms::owner_all);
    EXPECT_TRUE(SameBytes(ReadFile(folder / "named/setup.exe"), ReadFile(installer)));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "named"), fs::directory_iterator()), 1);
}

// Times that one side holds and the other does not are refused or kept as
// they are, never wrapped round.
TEST_F(PackerTest, TimesFarFromNowAreKeptOrRefusedNeverWrapped)
{
    const timespec in2300[2] = {{10413792000, 0}, {10413792000, 0}};  // 2300-01-01T00:00:00Z
    ASSERT_EQ(utimensat(AT_FDCWD, files("data.bin").c_str(), in2300, 0), 0);
    ASSERT_EQ(Pack({"create", "-o", installer, files()}).exit_code, 0);
    EXPECT_NE(Pack({"list", installer}).out.find("2300-01-01T00:00:00Z  2300-01-01T00:00:00Z  data.bin"),
              std::string::npos);

    const RunResult late = Pack({"create", "-o", folder / "late.exe", files()}, "SOURCE_DATE_EPOCH=99999999999999");
    EXPECT_EQ(late.exit_code, 1);
    EXPECT_NE(late.err.find("SOURCE_DATE_EPOCH=99999999999999: "), std::string::npos) << late.err;
    EXPECT_FALSE(fs::exists(folder / "late.exe"));

    // The first FILETIME, 1601: set as early as the file system goes, before 1970.
    TestEntry early{"early.txt", "x"};
    early.creation = early.last_access = early.last_write = 1;
    WriteFile(folder / "package.z", Deflate(MakeMergeFile({early})));
    ASSERT_EQ(Pack({"inject", kStub, folder / "package.z", "-o", installer}).exit_code, 0);
    ASSERT_EQ(Pack({"extract", installer, folder / "out"}).exit_code, 0);
    EXPECT_LT(StatOf(folder / "out/early.txt").st_mtim.tv_sec, 0);
}

// Threads the system will not give, and memory that runs out: the packer
// makes do with fewer threads, or says what ran out, and leaves nothing
// behind. The release build: the sanitizers need more address space than
// the limits leave.
TEST_F(PackerTest, ThreadsAndMemoryThatRunOutEndCleanly)
{
    ASSERT_TRUE(fs::exists(kReleasePacker)) << kReleasePacker << " is missing: scripts/package builds it";
    WriteFile(files("random.bin"), RandomBytes(32 << 20, 3));
    // Every level takes no more threads than the memory holds; zopfli's,
    // slow, on less, allocates without checking.
    const std::string zopfli = folder / "zopfli";
    fs::create_directory(zopfli);
    WriteFile(zopfli + "/random.bin", RandomBytes(2 << 20, 4));
    const std::vector<std::string> level11 = {"--level", "11", "--iterations", "1", "--threads", "64"};
    struct Case {
        const char* kilobytes;  // ulimit -v
        std::vector<std::string> options;
        std::string input;
        int status;  // -1: either done or out of memory, as the machine allows
    };
    const Case cases[] = {
        {"1500000", {"--threads", "256"}, files(), 0},
        {"300000", {"--threads", "256"}, files(), 0},
        {"100000", {"--threads", "256"}, files(), 0},
        {"60000", {"--threads", "256"}, files(), -1},
        {"30000", {"--threads", "256"}, files(), -1},
        {"600000", level11, zopfli, 0},
        {"150000", level11, zopfli, 0},
        {"100000", level11, zopfli, 0},
        {"40000", level11, zopfli, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("ulimit -v ") + c.kilobytes + " " + c.options[1]);
        std::string command = std::string("ulimit -v ") + c.kilobytes + "; exec " + Quoted(kReleasePacker) +
                              " create --stub " + Quoted(kStub) + " -o " + Quoted(installer);
        for (const std::string& option : c.options)
            command += " " + Quoted(option);
        const RunResult result = RunProgram("sh", {"-c", command + " " + Quoted(c.input)});
        ASSERT_TRUE(result.exit_code == 0 || result.exit_code == 1) << "never an abort: " << result.err;
        if (c.status >= 0) {
            EXPECT_EQ(result.exit_code, c.status) << result.err;
        }
        if (result.exit_code == 0) {
            EXPECT_EQ(Pack({"verify", installer}).exit_code, 0);
        } else {
            EXPECT_NE(result.err.find("out of memory"), std::string::npos) << result.err;
        }
        fs::remove(installer);
        for (const fs::directory_entry& item : fs::directory_iterator(folder / ""))
            EXPECT_TRUE(item.path().filename() == "files" || item.path().filename() == "zopfli")
                << item.path() << " left behind";
    }
}

}  // namespace
