// The streaming file inflater: what lands in the output file, the result code,
// and every notification in order, for whole, empty, cut, corrupt and
// overlong streams, aborts, and files that cannot be opened or written.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "inflate/stream_inflater.h"
#include "tests/support/same_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

// Records every notification; can ask for an abort at a chosen one.
class RecordingInflater : public StreamInflater {
public:
    std::vector<int> progress;
    std::vector<std::string> statuses;
    std::vector<std::string> order;  // "progress" and "status", as they came
    int abortAtProgressCall = 0;     // 1 = the first OnProgress; 0 = never

    void OnProgress(int percent) override
    {
        progress.push_back(percent);
        order.push_back("progress");
        if (static_cast<int>(progress.size()) == abortAtProgressCall)
            abort_requested = 1;
    }
    void OnStatus(const char* status) override
    {
        statuses.push_back(status);
        order.push_back("status");
    }
};

// Bytes that compress, but not to nothing: several input blocks' worth.
std::string SampleData(size_t size, unsigned seed = 1)
{
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>("abcdefgh"[random() % 8] + (i % 1000 == 0 ? random() % 64 : 0));
    return data;
}

std::string Compress(const std::string& data, int level = Z_DEFAULT_COMPRESSION)
{
    uLongf size = compressBound(data.size());
    std::string stream(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(stream.data()), &size,
                        reinterpret_cast<const Bytef*>(data.data()), data.size(), level),
              Z_OK);
    stream.resize(size);
    return stream;
}

bool NeverDecreases(const std::vector<int>& values)
{
    for (size_t i = 1; i < values.size(); ++i)
        if (values[i] < values[i - 1])
            return false;
    return true;
}

class StreamInflaterTest : public ::testing::Test {
protected:
    // Inflates the given bytes from a file; the output lands in `output`.
    int Inflate(const std::string& input)
    {
        WriteFile(in, input);
        return engine.Decompress(in.c_str(), out.c_str());
    }

    TempFolder folder;
    const std::string in = folder / "package.z";
    const std::string out = folder / "merge.dat";
    RecordingInflater engine;
};

TEST_F(StreamInflaterTest, InflatesAWholeStreamWithRisingPercentagesEndingAt100)
{
    const std::string data = SampleData(1 << 20);
    const std::string stream = Compress(data);
    ASSERT_GT(stream.size(), 4u * StreamInflater::BUFFER_SIZE) << "several input blocks";

    EXPECT_EQ(Inflate(stream), 0);

    EXPECT_TRUE(SameBytes(ReadFile(out), data));
    ASSERT_GE(engine.progress.size(), 2u);
    EXPECT_TRUE(NeverDecreases(engine.progress));
    EXPECT_LT(engine.progress.front(), 100) << "no notification before the first inflate";
    EXPECT_EQ(engine.progress.back(), 100);
    EXPECT_EQ(engine.statuses, std::vector<std::string>{"Success"});
    EXPECT_EQ(engine.order.back(), "status") << "the status comes after the last percentage";
}

TEST_F(StreamInflaterTest, AnEmptyInputIsAZlibErrorWithAnEmptyOutput)
{
    EXPECT_EQ(Inflate(""), Z_BUF_ERROR);

    EXPECT_EQ(engine.progress, std::vector<int>{100}) << "a length of 0 counts as complete";
    EXPECT_EQ(engine.statuses, std::vector<std::string>{"Zlib Error"});
    ASSERT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(ReadFile(out), "");
}

TEST_F(StreamInflaterTest, IgnoresBytesAfterTheEndOfTheStream)
{
    const std::string data = SampleData(100000);

    EXPECT_EQ(Inflate(Compress(data) + std::string(3000, 'x')), 0);

    EXPECT_TRUE(SameBytes(ReadFile(out), data));
    EXPECT_EQ(engine.statuses, std::vector<std::string>{"Success"});
    EXPECT_LT(engine.progress.back(), 100) << "the trailing bytes were never consumed";
}

TEST_F(StreamInflaterTest, AStreamCutShortKeepsWhatWasWritten)
{
    const std::string data = SampleData(1 << 20);
    const std::string stream = Compress(data);

    EXPECT_EQ(Inflate(stream.substr(0, stream.size() / 2)), Z_BUF_ERROR);

    const std::string written = ReadFile(out);
    EXPECT_GT(written.size(), 0u);
    EXPECT_LT(written.size(), data.size());
    EXPECT_TRUE(SameBytes(written, data.substr(0, written.size())));
    EXPECT_EQ(engine.statuses, std::vector<std::string>{"Zlib Error"});
}

TEST_F(StreamInflaterTest, CorruptStreamsAreDataErrors)
{
    const std::string data = SampleData(50000);
    const std::string stream = Compress(data);
    struct Case {
        const char* name;
        std::string input;
    };
    std::string wrongAdler = stream, wrongHeader = stream, presetDictionary = stream;
    wrongAdler.back() ^= 0x01;
    wrongHeader[0] = 0x00;
    presetDictionary[1] = static_cast<char>(0xBB);  // FDICT set, check bits still right: 0x78BB % 31 == 0
    const Case cases[] = {
        {"wrong Adler-32", wrongAdler},
        {"wrong header", wrongHeader},
        {"random bytes", SampleData(20000, 7)},
    };
    for (const Case& c : cases) {
        RecordingInflater fresh;
        WriteFile(in, c.input);
        EXPECT_EQ(fresh.Decompress(in.c_str(), out.c_str()), Z_DATA_ERROR) << c.name;
        EXPECT_EQ(fresh.statuses, std::vector<std::string>{"Zlib Error"}) << c.name;
    }
    // A stream that asks for a preset dictionary fails too, with zlib's own code.
    RecordingInflater fresh;
    WriteFile(in, presetDictionary);
    EXPECT_EQ(fresh.Decompress(in.c_str(), out.c_str()), Z_NEED_DICT);
    EXPECT_EQ(fresh.statuses, std::vector<std::string>{"Zlib Error"});
}

TEST_F(StreamInflaterTest, ABadChecksumStillLeavesTheInflatedBytesForTheCallerToDelete)
{
    const std::string data = SampleData(50000);
    std::string stream = Compress(data);
    stream.back() ^= 0x01;

    EXPECT_EQ(Inflate(stream), Z_DATA_ERROR);
    EXPECT_TRUE(SameBytes(ReadFile(out), data));
}

TEST_F(StreamInflaterTest, PercentageDividesFirstAboveTenMillionBytes)
{
    struct Case {
        int32_t length;
        uLong consumed;
        int percent;
    };
    const Case cases[] = {
        {0, 0, 100},
        {200, 1, 0},
        {200, 199, 99},
        {200, 200, 100},
        {10000000, 5000000, 50},
        {10000001, 5000000, 50},   // consumed / (length / 100); the product would give 49
        {50000000, 45000000, 90},  // consumed x 100 would not fit in 32 bits
        {INT32_MAX, INT32_MAX, 100},
    };
    for (const Case& c : cases) {
        engine.input_length = c.length;
        engine.total_in = c.consumed;
        EXPECT_EQ(engine.PercentComplete(), c.percent) << c.consumed << " of " << c.length;
    }
}

TEST_F(StreamInflaterTest, AnAbortFromTheFirstNotificationStopsAtOnce)
{
    const std::string data = SampleData(1 << 20);
    engine.abortAtProgressCall = 1;

    EXPECT_EQ(Inflate(Compress(data)), StreamInflater::INFLATE_ABORTED);

    EXPECT_EQ(engine.progress.size(), 2u) << "the first notification and the final one";
    EXPECT_EQ(engine.statuses, std::vector<std::string>{"User Abort"});
    const std::string written = ReadFile(out);
    EXPECT_GT(written.size(), 0u);
    EXPECT_LE(written.size(), static_cast<size_t>(StreamInflater::BUFFER_SIZE)) << "one pass's output";
    EXPECT_TRUE(SameBytes(written, data.substr(0, written.size())));
}

TEST_F(StreamInflaterTest, AnAbortFromTheFinalNotificationMakesACompleteRunAborted)
{
    const std::string data = SampleData(100000);
    const std::string stream = Compress(data);
    {
        RecordingInflater counter;  // how many notifications a full run makes
        WriteFile(in, stream);
        ASSERT_EQ(counter.Decompress(in.c_str(), out.c_str()), 0);
        engine.abortAtProgressCall = static_cast<int>(counter.progress.size());
    }

    EXPECT_EQ(Inflate(stream), StreamInflater::INFLATE_ABORTED);
    EXPECT_EQ(engine.statuses, std::vector<std::string>{"User Abort"});
    EXPECT_TRUE(SameBytes(ReadFile(out), data));
}

TEST_F(StreamInflaterTest, ASecondRunOnTheSameEngineStartsClean)
{
    engine.abortAtProgressCall = 1;
    ASSERT_EQ(Inflate(Compress(SampleData(1 << 20, 1))), StreamInflater::INFLATE_ABORTED);

    const std::string second = SampleData(300000, 2);
    engine.abortAtProgressCall = 0;
    engine.progress.clear();
    engine.statuses.clear();

    EXPECT_EQ(Inflate(Compress(second)), 0);
    EXPECT_TRUE(SameBytes(ReadFile(out), second));
    EXPECT_EQ(engine.statuses, std::vector<std::string>{"Success"});
    EXPECT_EQ(engine.progress.back(), 100);
    EXPECT_EQ(engine.input_file, nullptr);
    EXPECT_EQ(engine.output_file, nullptr);
}

TEST_F(StreamInflaterTest, FilesThatCannotBeOpenedFailWithoutTouchingTheOther)
{
    WriteFile(in, Compress("hello"));
    const std::string missing = folder / "missing.z";
    const std::string unwritable = folder / "no-such-folder/merge.dat";

    EXPECT_NE(engine.Decompress(missing.c_str(), out.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(out)) << "no output for an input that cannot be read";
    EXPECT_NE(engine.Decompress(in.c_str(), unwritable.c_str()), 0);
    EXPECT_EQ(engine.statuses, (std::vector<std::string>{"Zlib Error", "Zlib Error"}));
    EXPECT_TRUE(engine.progress.empty());
    EXPECT_EQ(engine.input_file, nullptr);
}

#ifndef _WIN32
TEST_F(StreamInflaterTest, AFullDiskIsAFailureNeverASuccess)
{
    struct Case {
        const char* name;
        size_t size;
    };
    // Small outputs sit in the runtime's buffer until the file is closed;
    // large ones fail on the first write.
    const Case cases[] = {{"small", 100}, {"large", 1 << 20}};
    for (const Case& c : cases) {
        RecordingInflater fresh;
        WriteFile(in, Compress(SampleData(c.size)));
        EXPECT_EQ(fresh.Decompress(in.c_str(), "/dev/full"), -1) << c.name;
        EXPECT_EQ(fresh.statuses, std::vector<std::string>{"Zlib Error"}) << c.name;
    }
}
#endif

TEST(DecompressFile, InflatesFileToFileAndReportsFailures)
{
    TempFolder folder;
    const std::string in = folder / "in.z", out = folder / "out";
    const std::string data = SampleData(200000);
    WriteFile(in, Compress(data, 9));

    EXPECT_EQ(DecompressFile(in.c_str(), out.c_str()), 0);
    EXPECT_TRUE(SameBytes(ReadFile(out), data));

    WriteFile(in, "not a zlib stream");
    EXPECT_EQ(DecompressFile(in.c_str(), out.c_str()), Z_DATA_ERROR);
}

}  // namespace
