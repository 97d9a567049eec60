// The APDU script cores without a window or a reader: the strict hex parser
// the scripts and the command line read bytes with, the script reader on
// files of every form it takes or refuses, and the runner's order of steps.
// Each expected value is written out, never worked out by the code under test.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/compose/apdu_script.h"
#include "core/compose/data_entry.h"
#include "core/compose/script_runner.h"
#include "descriptors.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Repeat(const std::string& text, int times)
{
    std::string repeated;
    for (int i = 0; i < times; ++i)
        repeated += text;
    return repeated;
}

TEST(StrictHex, ReadsPairsWithBlanksBetweenAndRefusesEverythingElse)
{
    const struct {
        std::string text;
        uint32_t capacity;
        HexFailure failure;
        Bytes bytes;
    } cases[] = {
        {"00CA000000", 8, HEX_OK, {0x00, 0xCA, 0x00, 0x00, 0x00}},
        {"00 ca\t00  00\t\t00", 8, HEX_OK, {0x00, 0xCA, 0x00, 0x00, 0x00}},  // tabs, runs of blanks, either case
        {" \t9F 00 \t", 8, HEX_OK, {0x9F, 0x00}},                            // blanks around
        {"00CA 0000", 8, HEX_OK, {0x00, 0xCA, 0x00, 0x00}},                  // runs of even length
        {"01 02 03", 3, HEX_OK, {0x01, 0x02, 0x03}},                         // exactly the capacity
        {"01 02 03", 2, HEX_TOO_LONG, {}},
        {"01", 0, HEX_TOO_LONG, {}},
        {"0", 8, HEX_ODD_DIGITS, {}},
        {"00 0", 8, HEX_ODD_DIGITS, {}},
        {"0 00", 8, HEX_ODD_DIGITS, {}},
        {"000 0", 8, HEX_ODD_DIGITS, {}},
        {"", 8, HEX_NO_BYTES, {}},
        {" \t ", 8, HEX_NO_BYTES, {}},
        {"00\r", 8, HEX_NOT_HEX, {}},  // a CR or an LF is no blank
        {"00\n", 8, HEX_NOT_HEX, {}},
        {"0x00", 8, HEX_NOT_HEX, {}},
        {"00,01", 8, HEX_NOT_HEX, {}},
        {"0G", 8, HEX_NOT_HEX, {}},
        {"\x1B[2J", 8, HEX_NOT_HEX, {}},
        {"00\xA0", 8, HEX_NOT_HEX, {}},  // a Latin-1 no-break space is no blank
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Bytes dest(c.capacity + 1, 0x5A);
        uint32_t count = 99;
        EXPECT_EQ(ParseHexStrict(c.text.c_str(), dest.data(), c.capacity, &count), c.failure);
        EXPECT_EQ(count, c.bytes.size());
        EXPECT_EQ(Bytes(dest.begin(), dest.begin() + c.bytes.size()), c.bytes);
        EXPECT_EQ(dest[c.capacity], 0x5A) << "wrote past the capacity";
    }
}

// The steps as one line, each "LINE:" and then the APDU's hex (" ?SW" with
// an expect), "reset", "loop N ends LINE" or "end LINE" (its loop's line);
// for a refused script "!LINE: reason".
std::string Describe(bool loaded, const ApduScript& script, const ScriptFailure& failure)
{
    if (!loaded)
        return "!" + std::to_string(failure.line) + ": " + failure.reason;
    std::string text;
    char part[64];
    for (int32_t i = 0; i < script.stepCount; ++i) {
        const ScriptStep& step = script.steps[i];
        text += (i > 0 ? ", " : "") + std::to_string(step.line) + ":";
        bool jumps = step.jump >= 0 && step.jump < script.stepCount;
        std::string target = jumps ? std::to_string(script.steps[step.jump].line) : "?";
        switch (step.kind) {
        case STEP_APDU:
            for (uint32_t b = 0; b < step.length && step.offset + b < script.byteCount; ++b) {
                snprintf(part, sizeof part, "%02X", script.bytes[step.offset + b]);
                text += part;
            }
            if (step.expect) {
                snprintf(part, sizeof part, " ?%04X", step.sw);
                text += part;
            }
            break;
        case STEP_RESET:
            text += "reset";
            break;
        case STEP_COLD_RESET:
            text += "reset cold";
            break;
        case STEP_BEGIN_TRANSACTION:
            text += "begin transaction";
            break;
        case STEP_END_TRANSACTION:
            text += "end transaction";
            break;
        case STEP_LOOP:
            text += "loop " + std::to_string(step.count) + " ends " + target;
            break;
        case STEP_END:
            text += "end " + target;
            break;
        }
    }
    return text;
}

struct ScriptCase {
    const char* name;
    std::string text;
    std::string expected;  // Describe's line
};

class ScriptFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/qtu-script-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override
    {
        for (const std::string& path : written)
            unlink(path.c_str());
        EXPECT_EQ(rmdir(folder.c_str()), 0);
    }

    std::string Write(const std::string& text)
    {
        std::string path = folder + "/" + std::to_string(written.size()) + ".apdu";
        FILE* file = fopen(path.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file != nullptr) {
            EXPECT_EQ(fwrite(text.data(), 1, text.size(), file), text.size());
            fclose(file);
        }
        written.push_back(path);
        return path;
    }

    // Loads `path`; the file must be closed again whatever came of it.
    std::string Load(const std::string& path)
    {
        int before = OpenDescriptors();
        bool loaded = LoadApduScript(path.c_str(), script.get(), &failure);
        EXPECT_EQ(OpenDescriptors(), before) << "the script stays open";
        return Describe(loaded, *script, failure);
    }

    template<size_t N> void Check(const ScriptCase (&cases)[N])
    {
        for (const ScriptCase& c : cases)
            EXPECT_EQ(Load(Write(c.text)), c.expected) << c.name;
    }

    std::string folder;
    std::vector<std::string> written;
    std::unique_ptr<ApduScript> script = std::make_unique<ApduScript>();
    ScriptFailure failure;
};

const std::string NOT_A_COMMAND = "\": not an APDU, reset, loop N, end, expect SW, begin/end transaction or exit";

TEST_F(ScriptFileTest, ReadsScriptorsFormAndTheLenientOne)
{
    const ScriptCase cases[] = {
        {"scriptor's form", "# GetUID twice\nreset\n00 CA 00 00 00\n00CA000000\n\nFF CA 00 \\\n00 00\nexit\n00 CA\n",
         "2:reset, 3:00CA000000, 4:00CA000000, 6:FFCA000000"},
        {"CR LF", "reset\r\n00 CA 00 00 00\r\nexpect 90 00\r\n", "1:reset, 2:00CA000000 ?9000"},
        {"tabs", "\t00\tCA 00\t\t00 00\t# GetUID\n", "1:00CA000000"},
        {"no LF at the end", "00 CA\n00 B0", "1:00CA, 2:00B0"},
        {"CR at the end", "reset\r\n00 B0\r", "1:reset, 2:00B0"},
        {"continued", "00 A4 04 00 \\\n  07 A0 00 00 00 03 10 10\n", "1:00A4040007A0000000031010"},
        {"continued without a blank", "00CA\\\n000000\n", "1:00CA000000"},
        {"continued twice, then expect", "00 \\\nCA \\\n00 00 00\nexpect 6A82\n", "1:00CA000000 ?6A82"},
        {"continued past comment and blank lines", "00 CA \\\n# note\n\n  \n00 00 00\n", "1:00CA000000"},
        {"continued, CR LF", "00 CA \\\r\n00 00 00\r\n", "1:00CA000000"},
        {"a backslash alone", "00 CA\\\n\\\n00 00 00\n", "1:00CA000000"},
        {"blanks after the backslash", "00 CA \\  \n00 00 00\n", "1:00CA000000"},
        {"comments", "# head\n00 CA 00 00 00 # GetUID\nreset# again\n  # indented\n", "2:00CA000000, 3:reset"},
        {"keywords in either case", "RESET\nLoop 2\n00\nEnD\nExit\n00\n", "1:reset, 2:loop 2 ends 4, 3:00, 4:end 2"},
        // "end transaction" inside a loop is no end of it; "reset" alone is warm, as scriptor's.
        {"resets and a transaction", "Reset Warm\nloop 2\nbegin  transaction\nreset COLD\nEnd Transaction\nend\n",
         "1:reset, 2:loop 2 ends 6, 3:begin transaction, 4:reset cold, 5:end transaction, 6:end 2"},
        {"nothing read after exit", std::string("00 CA\nexit\nselect 3F00\n\0\n", 25), "1:00CA"},
        {"empty", "", ""},
        {"blanks and comments", "\n  \n\t\n# c\n", ""},
        {"expect past a comment", "00\n# c\n\nexpect 6a82\n", "1:00 ?6A82"},
        {"byte order mark", "\xEF\xBB\xBFreset\n", "1:reset"},
        {"byte order mark, then a comment", "\xEF\xBB\xBF# c\r\n00\r\n", "2:00"},
        {"loop counts", "loop 1\nend\nloop 1000000\nend\n", "1:loop 1 ends 2, 2:end 1, 3:loop 1000000 ends 4, 4:end 3"},
        {"8 deep", "loop 1\nloop 2\nloop 3\nloop 4\nloop 5\nloop 6\nloop 7\nloop 8\n00\n" + Repeat("end\n", 8),
         "1:loop 1 ends 17, 2:loop 2 ends 16, 3:loop 3 ends 15, 4:loop 4 ends 14, 5:loop 5 ends 13, "
         "6:loop 6 ends 12, 7:loop 7 ends 11, 8:loop 8 ends 10, 9:00, 10:end 8, 11:end 7, 12:end 6, "
         "13:end 5, 14:end 4, 15:end 3, 16:end 2, 17:end 1"},
        {"8 deep twice", Repeat("loop 1\n", 7) + "loop 2\nend\nloop 3\nend\n" + Repeat("end\n", 7),
         "1:loop 1 ends 18, 2:loop 1 ends 17, 3:loop 1 ends 16, 4:loop 1 ends 15, 5:loop 1 ends 14, "
         "6:loop 1 ends 13, 7:loop 1 ends 12, 8:loop 2 ends 9, 9:end 8, 10:loop 3 ends 11, 11:end 10, "
         "12:end 7, 13:end 6, 14:end 5, 15:end 4, 16:end 3, 17:end 2, 18:end 1"},
        {"8192 characters, CR LF", "#" + std::string(8191, 'x') + "\r\nreset\n", "2:reset"},
    };
    Check(cases);
}

TEST_F(ScriptFileTest, RefusesWithTheLineAndWhatIsWrong)
{
    const std::string LOOP_COUNT = "loop takes a count from 1 to 1000000";
    const std::string STATUS_WORD = "expect takes a status word of two hex bytes, as 90 00";
    const ScriptCase cases[] = {
        {"odd digits", "00CA000000\n00 CA 0\n", "!2: \"00 CA 0\": odd number of hex digits"},
        {"a word", "select 3F00\n", "!1: \"select 3F00" + NOT_A_COMMAND},
        {"exit with more", "exit now\n", "!1: \"exit now" + NOT_A_COMMAND},
        {"reset with more", "reset now\n", "!1: reset takes warm, cold or nothing"},
        {"begin alone", "begin\n", "!1: \"begin" + NOT_A_COMMAND},
        {"end transaction with more", "end transaction now\n", "!1: \"end transaction now" + NOT_A_COMMAND},
        {"a CR inside a line", "reset\r00 CA 00 00 00\r", "!1: \"reset\\x0D00 CA 00 00 00" + NOT_A_COMMAND},
        {"escape sequences", "\x1B[2J\x1B]0;owned\x07\n", "!1: \"\\x1B[2J\\x1B]0;owned\\x07" + NOT_A_COMMAND},
        {"a byte order mark past the start",
         "00\n\xEF\xBB\xBF"
         "00\n",
         "!2: \"\\xEF\\xBB\\xBF00" + NOT_A_COMMAND},
        {"quoted up to 60 characters", std::string(70, 'z') + "\n", "!1: \"" + std::string(60, 'z') + NOT_A_COMMAND},
        {"60 escaped characters", std::string(61, '\x01') + "\n", "!1: \"" + Repeat("\\x01", 60) + NOT_A_COMMAND},
        {"a continued byte", "00 C\\\nA 00\n", "!1: \"00 C\": odd number of hex digits"},
        {"exit inside a continued APDU", "00 CA \\\nexit\n",
         "!2: \"exit\": not a hex byte, in the APDU continued from line 1"},
        {"expect inside a continued APDU", "00 CA \\\n\nexpect 9000\n",
         "!3: \"expect 9000\": not a hex byte, in the APDU continued from line 1"},
        {"a keyword continued", "reset \\\n00\n", "!1: \"reset " + NOT_A_COMMAND},
        {"continued to the end", "00 CA \\\n# c\n\n", "!1: the APDU goes on past the end of the script"},
        {"continued to the end, later", "reset\n\n00 \\\nCA \\\n", "!3: the APDU goes on past the end of the script"},
        {"9 deep", "loop 1\nloop 2\nloop 3\nloop 4\nloop 5\nloop 6\nloop 7\nloop 8\nloop 9\n00\n" + Repeat("end\n", 9),
         "!9: loops nest at most 8 deep"},
        {"end without loop", "end\n", "!1: end without loop"},
        {"one end too many", "loop 2\nend\nend\n", "!3: end without loop"},
        {"loop without end", "loop 2\n00\n", "!1: loop without end"},
        {"the outer loop without end", "loop 2\nloop 3\nend\n", "!1: loop without end"},
        {"a later loop without end", "loop 2\nend\nreset\nloop 3\n", "!4: loop without end"},
        {"loop 0", "loop 0\nend\n", "!1: " + LOOP_COUNT},
        {"loop 1000001", "loop 1000001\nend\n", "!1: " + LOOP_COUNT},
        {"loop -1", "loop -1\nend\n", "!1: " + LOOP_COUNT},
        {"loop without count", "loop\nend\n", "!1: " + LOOP_COUNT},
        {"loop 2x", "loop 2x\nend\n", "!1: " + LOOP_COUNT},
        {"loop past a long", "loop 99999999999999999999\nend\n", "!1: " + LOOP_COUNT},
        {"expect first", "expect 9000\n", "!1: expect must follow an APDU"},
        {"expect after reset", "reset\nexpect 9000\n", "!2: expect must follow an APDU"},
        {"expect twice", "00\nexpect 9000\nexpect 9000\n", "!3: expect must follow an APDU"},
        {"expect after end", "loop 1\n00\nend\nexpect 9000\n", "!4: expect must follow an APDU"},
        {"expect 00 00", "00\nexpect 00 00\n", "!2: " + STATUS_WORD},
        {"expect three bytes", "00\nexpect 90 00 00\n", "!2: " + STATUS_WORD},
        {"expect one digit", "00\nexpect 9\n", "!2: " + STATUS_WORD},
        {"expect 70 00", "00\nexpect 7000\n", "!2: " + STATUS_WORD},
        {"expect nothing", "00\nexpect\n", "!2: " + STATUS_WORD},
        {"NUL", std::string("00 CA\0 00\n", 10), "!1: NUL byte at column 6"},
        {"NUL in a comment", std::string("reset\n\n# a\0b\n", 13), "!3: NUL byte at column 4"},
        {"NUL after a CR", std::string("ab\r\0", 4), "!1: NUL byte at column 4"},
        {"UTF-16",
         std::string("\xFF\xFE"
                     "0\0"
                     "0\0",
                     6),
         "!1: NUL byte at column 4"},
        {"8193 characters", std::string(8193, '#') + "\n", "!1: longer than 8192 characters"},
    };
    Check(cases);
}

TEST_F(ScriptFileTest, HoldsExactly4096CommandsAnd65536Bytes)
{
    const std::string LINE_OF_BYTES = Repeat("A5", 4096);  // 8192 characters, the longest line
    const std::string CONTINUED_LINE = Repeat("A5", 4095) + "\\\n";
    const struct {
        const char* name;
        std::string text;
        int32_t steps;
        uint32_t bytes;
        uint32_t lastLength;  // of the last step
        std::string refusal;  // empty: loaded
    } cases[] = {
        {"4096 commands", Repeat("reset\n", 4096), 4096, 0, 0, ""},
        {"4097 commands", Repeat("reset\n", 4097), 0, 0, 0, "!4097: more than 4096 commands"},
        {"an end past 4096", Repeat("reset\n", 4095) + "loop 1\nend\n", 0, 0, 0, "!4097: more than 4096 commands"},
        {"expects count none", Repeat("A5\nexpect 9000\n", 4096), 4096, 4096, 1, ""},
        {"65536 bytes", Repeat(LINE_OF_BYTES + "\n", 16), 16, 65536, 4096, ""},
        {"65537 bytes", Repeat(LINE_OF_BYTES + "\n", 16) + "00\n", 0, 0, 0, "!17: more than 65536 bytes of APDUs"},
        {"one APDU of 65536 bytes", Repeat(CONTINUED_LINE, 16) + Repeat("A5", 16) + "\n", 1, 65536, 65536, ""},
        {"one APDU of 65537 bytes", Repeat(CONTINUED_LINE, 16) + Repeat("A5", 17) + "\n", 0, 0, 0,
         "!17: more than 65536 bytes of APDUs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool loaded = LoadApduScript(Write(c.text).c_str(), script.get(), &failure);
        if (!c.refusal.empty()) {
            EXPECT_EQ(Describe(loaded, *script, failure), c.refusal);
            continue;
        }
        ASSERT_TRUE(loaded) << failure.line << ": " << failure.reason;
        EXPECT_EQ(script->stepCount, c.steps);
        EXPECT_EQ(script->byteCount, c.bytes);
        EXPECT_EQ(script->steps[script->stepCount - 1].length, c.lastLength);
        if (c.bytes > 0) {
            EXPECT_EQ(script->bytes[0], 0xA5);
            EXPECT_EQ(script->bytes[c.bytes - 1], 0xA5);
        }
    }
}

TEST_F(ScriptFileTest, RefusesWhatIsNoRegularFileWithoutWaiting)
{
    std::string fifo = folder + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    written.push_back(fifo);
    // A FIFO without a writer: opening it without O_NONBLOCK would wait here for ever.
    EXPECT_EQ(Load(fifo), "!0: a FIFO, not a regular file");
    EXPECT_EQ(Load(folder), "!0: a directory, not a regular file");
    EXPECT_EQ(Load("/dev/null"), "!0: a character device, not a regular file");
    EXPECT_EQ(Load(folder + "/missing"), "!0: No such file or directory");
}

// A callback that writes down each step it is given, "LINE:HEX" (" ?SW" with
// an expect) or "LINE:reset", and says stop at the call `stopAt` (0: never).
struct Recorder {
    std::string calls;
    int count;
    int stopAt;
};

bool Record(void* context, const ScriptStep& step, const uint8_t* apdu)
{
    Recorder* recorder = static_cast<Recorder*>(context);
    recorder->calls += (recorder->count > 0 ? ", " : "") + std::to_string(step.line) + ":";
    char part[16];
    for (uint32_t i = 0; apdu != nullptr && i < step.length; ++i) {
        snprintf(part, sizeof part, "%02X", apdu[i]);
        recorder->calls += part;
    }
    if (apdu == nullptr)
        recorder->calls += "reset";
    if (step.expect) {
        snprintf(part, sizeof part, " ?%04X", step.sw);
        recorder->calls += part;
    }
    return ++recorder->count != recorder->stopAt;
}

TEST_F(ScriptFileTest, RunnerCountsNestedLoopsAndStopsWhenTold)
{
    const std::string SCRIPT = "00 01\n"
                               "loop 2\n"
                               "  00 02\n"
                               "  expect 9000\n"
                               "  loop 3\n"
                               "    reset\n"
                               "  end\n"
                               "  00 03\n"
                               "end\n"
                               "00 04\n";
    ASSERT_EQ(Load(Write(SCRIPT)),
              "1:0001, 2:loop 2 ends 9, 3:0002 ?9000, 5:loop 3 ends 7, 6:reset, 7:end 5, 8:0003, "
              "9:end 2, 10:0004");
    const struct {
        int stopAt;
        ScriptRunEnd end;
        std::string calls;
    } cases[] = {
        {0, SCRIPT_RUN_DONE,
         "1:0001, 3:0002 ?9000, 6:reset, 6:reset, 6:reset, 8:0003, 3:0002 ?9000, 6:reset, 6:reset, 6:reset, 8:0003, "
         "10:0004"},
        {1, SCRIPT_RUN_STOPPED, "1:0001"},
        {4, SCRIPT_RUN_STOPPED, "1:0001, 3:0002 ?9000, 6:reset, 6:reset"},
        {7, SCRIPT_RUN_STOPPED, "1:0001, 3:0002 ?9000, 6:reset, 6:reset, 6:reset, 8:0003, 3:0002 ?9000"},
        {12, SCRIPT_RUN_STOPPED,
         "1:0001, 3:0002 ?9000, 6:reset, 6:reset, 6:reset, 8:0003, 3:0002 ?9000, 6:reset, 6:reset, 6:reset, 8:0003, "
         "10:0004"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stopAt);
        Recorder recorder {"", 0, c.stopAt};
        EXPECT_EQ(RunApduScript(*script, ScriptCalls {Record, &recorder}), c.end);
        EXPECT_EQ(recorder.calls, c.calls);
    }
}

// Scripts LoadApduScript never makes: the runner checks what it indexes with.
TEST(ScriptRunner, RefusesAScriptThatDoesNotHoldTogether)
{
    constexpr ScriptStep LOOP {STEP_LOOP, 1, 0, 0, false, 0, 2, 0};
    constexpr ScriptStep APDU {STEP_APDU, 2, 0, 1, false, 0, 0, 0};
    const struct {
        const char* name;
        std::vector<ScriptStep> steps;
        uint32_t byteCount;
        std::string calls;
    } cases[] = {
        {"9 deep", {LOOP, LOOP, LOOP, LOOP, LOOP, LOOP, LOOP, LOOP, LOOP, APDU}, 1, ""},
        {"an end that is not its loop's", {LOOP, APDU, {STEP_END, 3, 0, 0, false, 0, 0, 1}}, 1, "2:00"},
        {"an end without loop", {APDU, {STEP_END, 3, 0, 0, false, 0, 0, 0}}, 1, "2:00"},
        {"loop 0", {{STEP_LOOP, 1, 0, 0, false, 0, 0, 2}, APDU, {STEP_END, 3, 0, 0, false, 0, 0, 0}}, 1, ""},
        {"a loop without end", {LOOP, APDU}, 1, "2:00"},
        {"bytes past the script's", {APDU, {STEP_APDU, 3, 1, 1, false, 0, 0, 0}}, 1, "2:00"},
        {"more bytes than room", {APDU}, SCRIPT_BYTES_MAX + 1, ""},
    };
    auto script = std::make_unique<ApduScript>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        *script = ApduScript {};
        std::copy(c.steps.begin(), c.steps.end(), script->steps);
        script->stepCount = int32_t(c.steps.size());
        script->byteCount = c.byteCount;
        Recorder recorder {"", 0, 0};
        EXPECT_EQ(RunApduScript(*script, ScriptCalls {Record, &recorder}), SCRIPT_RUN_MALFORMED);
        EXPECT_EQ(recorder.calls, c.calls);
    }
    script->stepCount = SCRIPT_STEPS_MAX + 1;
    EXPECT_EQ(RunApduScript(*script, ScriptCalls {Record, nullptr}), SCRIPT_RUN_MALFORMED);
}

}  // namespace
