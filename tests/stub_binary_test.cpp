// The release stub as a file: a PE32 GUI program for Windows 2000 and XP that
// imports only from the system, with exactly the resources it promises. The
// imports and resources are read by independent tools (objdump, wrestool), the
// resources decoded here field by field.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string kStub = SFX_WIN32_STUB;

std::string RunTool(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    if (pclose(pipe) != 0)
        throw std::runtime_error("failed: " + command);
    return output;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error(path + " is missing: build the win32 preset first");
    return {std::istreambuf_iterator<char>(file), {}};
}

std::string Resource(const std::string& type, int name)
{
    return RunTool("wrestool -x --raw -t " + type + " -n " + std::to_string(name) + " '" + kStub + "'");
}

// Little-endian reads that refuse to run past the end.
class Reader {
public:
    explicit Reader(std::string bytes, size_t at = 0) : bytes_(std::move(bytes)), at_(at) {}

    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    void Skip(size_t count) { Need(count), at_ += count; }
    void AlignTo4() { at_ = (at_ + 3) & ~size_t{3}; }
    size_t At() const { return at_; }
    void Seek(size_t at) { at_ = at; }

    // A NUL-terminated UTF-16 string holding ASCII text.
    std::string Text()
    {
        std::string text;
        for (uint16_t c; (c = U16()) != 0;)
            text += c < 0x80 ? static_cast<char>(c) : '?';
        return text;
    }

    // A name or an ordinal: 0xFFFF then a number, or a string.
    std::string NameOrOrdinal()
    {
        const size_t start = at_;
        if (U16() == 0xFFFF)
            return "#" + std::to_string(U16());
        at_ = start;
        return Text();
    }

private:
    uint8_t Byte() { return Need(1), static_cast<uint8_t>(bytes_[at_++]); }
    void Need(size_t count) const
    {
        if (at_ + count > bytes_.size())
            throw std::runtime_error("read past the end");
    }
    std::string bytes_;
    size_t at_;
};

TEST(StubBinary, IsAPe32GuiProgramThatWindows2000Loads)
{
    Reader pe(ReadFile(kStub));
    pe.Seek(0x3C);
    const uint32_t headers = pe.U32();
    pe.Seek(headers);
    ASSERT_EQ(pe.U32(), 0x00004550u) << "PE signature";
    EXPECT_EQ(pe.U16(), 0x014Cu) << "machine i386";
    pe.Seek(headers + 24);
    ASSERT_EQ(pe.U16(), 0x010Bu) << "PE32 optional header";
    pe.Seek(headers + 24 + 40);
    const uint16_t os[] = {pe.U16(), pe.U16()};
    pe.Skip(4);
    const uint16_t subsystemVersion[] = {pe.U16(), pe.U16()};
    pe.Seek(headers + 24 + 68);
    EXPECT_EQ(pe.U16(), 2u) << "Windows GUI subsystem";
    EXPECT_LE(os[0] * 100 + os[1], 500) << "operating system version";
    EXPECT_LE(subsystemVersion[0] * 100 + subsystemVersion[1], 500) << "subsystem version";
}

TEST(StubBinary, ImportsOnlyDllsTheSystemLoadsFromItsOwnFolderAndShell32ByOrdinal165)
{
    const std::string dump = RunTool("i686-w64-mingw32-objdump -p '" + kStub + "'");
    // comctl32 is not among them: a copy beside the installer would be loaded
    // first, so the stub loads it by its full path instead.
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll",
                                          "advapi32.dll", "msvcrt.dll"};
    std::set<std::string> imported;
    std::set<int> shell32Ordinals;
    std::istringstream lines(dump);
    std::string line, dll;
    const std::regex dllName(R"(\s*DLL Name: (\S+))"), byOrdinal(R"(\s*[0-9a-f]+\s+(\d+)\s+<none>\s*)");
    for (std::smatch match; std::getline(lines, line);) {
        if (std::regex_match(line, match, dllName)) {
            dll = match[1];
            for (char& c : dll)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            imported.insert(dll);
        } else if (dll == "shell32.dll" && std::regex_match(line, match, byOrdinal)) {
            shell32Ordinals.insert(std::stoi(match[1]));
        }
    }
    for (const std::string& name : imported)
        EXPECT_TRUE(system.count(name)) << name << " is not a system DLL";
    EXPECT_TRUE(imported.count("msvcrt.dll"));
    EXPECT_TRUE(shell32Ordinals.count(165)) << "SHCreateDirectory by ordinal";
}

TEST(StubBinary, CarriesOneIconGroupOfTwo256ColourImages)
{
    const std::string list = RunTool("wrestool -l '" + kStub + "'");
    EXPECT_NE(list.find("--type=14 --name=1000 --language=1033"), std::string::npos) << list;
    EXPECT_EQ(list.find("--type=14 --name=1000"), list.rfind("--type=14")) << "one icon group only";

    Reader group(Resource("14", 1000));
    EXPECT_EQ(group.U16(), 0u);
    EXPECT_EQ(group.U16(), 1u) << "icons";
    ASSERT_EQ(group.U16(), 2u) << "images";
    const int sizes[] = {16, 32};
    for (int image = 0; image < 2; ++image) {
        SCOPED_TRACE("image " + std::to_string(image + 1));
        const uint16_t widthAndHeight = group.U16();
        EXPECT_EQ(widthAndHeight, sizes[image] | sizes[image] << 8);
        group.Skip(2);  // colour count (0 for 256) and reserved
        EXPECT_EQ(group.U16(), 1u) << "planes";
        EXPECT_EQ(group.U16(), 8u) << "bits per pixel";
        group.Skip(4);
        const uint16_t id = group.U16();
        EXPECT_EQ(id, image + 1);

        Reader bitmap(Resource("3", id));
        bitmap.Skip(4);
        EXPECT_EQ(bitmap.U32(), static_cast<uint32_t>(sizes[image])) << "width";
        EXPECT_EQ(bitmap.U32(), static_cast<uint32_t>(2 * sizes[image])) << "height with the mask";
        EXPECT_EQ(bitmap.U16(), 1u);
        EXPECT_EQ(bitmap.U16(), 8u);
    }
}

struct Control {
    uint32_t style;
    int x, y, width, height;
    int id;
    std::string className, text;
    bool operator==(const Control&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Control& c)
{
    return out << c.id << " " << c.className << " \"" << c.text << "\" style 0x" << std::hex << c.style
               << std::dec << " at " << c.x << "," << c.y << " " << c.width << "x" << c.height;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST(StubBinary, HasTheProgressWindowTemplate)
{
    EXPECT_NE(RunTool("wrestool -l '" + kStub + "'").find("--type=5 --name=1100 --language=1033"),
              std::string::npos);
    Reader dialog(Resource("5", 1100));
    ASSERT_EQ(dialog.U32(), 0x80CA08C2u) << "style (and the plain template form)";
    EXPECT_EQ(dialog.U32(), 0u) << "extended style";
    const uint16_t count = dialog.U16();
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(dialog.S16(), 0);
    EXPECT_EQ(dialog.S16(), 0);
    EXPECT_EQ(dialog.S16(), 206);
    EXPECT_EQ(dialog.S16(), 122);
    EXPECT_EQ(dialog.NameOrOrdinal(), "") << "menu";
    EXPECT_EQ(dialog.NameOrOrdinal(), "") << "class";
    EXPECT_EQ(dialog.Text(), ".") << "caption";
    EXPECT_EQ(dialog.U16(), 8u) << "font size";
    EXPECT_EQ(dialog.Text(), "Tahoma");

    std::vector<Control> controls;
    for (int i = 0; i < count; ++i) {
        dialog.AlignTo4();
        Control c;
        c.style = dialog.U32();
        EXPECT_EQ(dialog.U32(), 0u) << "extended style of control " << i;
        c.x = dialog.S16(), c.y = dialog.S16(), c.width = dialog.S16(), c.height = dialog.S16();
        c.id = dialog.U16();
        // The static class is stored as its atom; a class given by name is
        // matched without regard to case.
        c.className = Lower(dialog.NameOrOrdinal());
        if (c.className == "#130")
            c.className = "static";
        c.text = dialog.NameOrOrdinal();
        dialog.Skip(dialog.U16());
        controls.push_back(c);
    }

    const uint32_t kChildVisible = 0x50000000, kGroup = 0x00020000;
    const std::vector<Control> expected = {
        {kChildVisible | 0x1, 8, 30, 162, 14, 1200, "msctls_progress32", "Progress1"},
        {kChildVisible | kGroup | 0x2, 174, 33, 22, 8, 1201, "static", "100%"},
        {kChildVisible | kGroup | 0x0, 9, 19, 187, 8, 1202, "static", "."},
        {kChildVisible | kGroup | 0x1, 10, 52, 189, 29, 1203, "static",
         "Please wait, this process will take couple of minutes. While extracting the files into the "
         "specified folder.\r\nPackaged and published by Quillmoor."},
        {kChildVisible | kGroup | 0x1, 10, 84, 189, 30, 65535, "static",
         "Compression Library (Zlib) source code\r\n(C) 1995-2022 Jean-loup Gailly and Mark Adler"},
    };
    EXPECT_EQ(controls, expected);
}

// One node of a version block: key, value and children.
struct VersionNode {
    std::string key;
    std::string text;          // text values
    std::vector<uint32_t> words;  // binary values, as 32-bit words
    std::vector<VersionNode> children;
};

VersionNode ReadVersionNode(Reader& in)
{
    in.AlignTo4();
    const size_t start = in.At();
    const uint16_t length = in.U16(), valueLength = in.U16(), type = in.U16();
    VersionNode node;
    node.key = in.Text();
    in.AlignTo4();
    if (type == 1 && valueLength > 0) {
        const size_t valueStart = in.At();
        node.text = in.Text();
        in.Seek(valueStart + 2 * valueLength);
    } else {
        for (int i = 0; i < valueLength / 4; ++i)
            node.words.push_back(in.U32());
    }
    in.AlignTo4();
    while (in.At() < start + length)
        node.children.push_back(ReadVersionNode(in));
    in.Seek(start + length);
    return node;
}

TEST(StubBinary, HasTheVersionBlock)
{
    Reader block(Resource("16", 1));
    const VersionNode root = ReadVersionNode(block);
    ASSERT_EQ(root.key, "VS_VERSION_INFO");
    const std::vector<uint32_t> fixed = {0xFEEF04BD, 0x00010000, 0x00010000, 0x00000002, 0x00010000,
                                         0x00000002, 0x3F, 0x28, 0x00040004, 1, 0, 0, 0};
    EXPECT_EQ(root.words, fixed) << "fixed part: versions 1.0.0.2, flags, VOS_NT_WINDOWS32, VFT_APP";

    std::map<std::string, std::string> strings;
    std::vector<uint32_t> translation;
    for (const VersionNode& child : root.children) {
        if (child.key == "StringFileInfo") {
            ASSERT_EQ(child.children.size(), 1u);
            EXPECT_EQ(child.children[0].key, "040904b0");
            for (const VersionNode& value : child.children[0].children)
                strings[value.key] = value.text;
        } else if (child.key == "VarFileInfo") {
            ASSERT_EQ(child.children.size(), 1u);
            EXPECT_EQ(child.children[0].key, "Translation");
            translation = child.children[0].words;
        }
    }
    EXPECT_EQ(translation, std::vector<uint32_t>{0x04B00409}) << "US English, Unicode";

    const std::map<std::string, std::string> fixedStrings = {
        {"FileDescription", "Self-Extractor"}, {"FileVersion", "1, 0, 0, 2"},
        {"ProductVersion", "1, 0, 0, 2"},       {"PrivateBuild", "040518.2"},
        {"SpecialBuild", "Windows XP/2000"},    {"Comments", ""},
        {"LegalTrademarks", ""},                {"OriginalFilename", ""}};
    for (const auto& [key, value] : fixedStrings) {
        ASSERT_TRUE(strings.count(key)) << key << " is missing";
        EXPECT_EQ(strings[key], value) << key;
    }
    for (const char* ours : {"CompanyName", "InternalName", "ProductName", "LegalCopyright"})
        EXPECT_FALSE(strings[ours].empty()) << ours;
    EXPECT_EQ(strings.size(), 12u);
}

}  // namespace
