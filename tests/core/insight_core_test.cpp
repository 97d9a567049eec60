// The insight cores without a window or a reader: status names and texts,
// status word meanings, the ATR decoder and the known-ATR lookup over
// pcsc-tools' own list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/pcsc/atr.h"
#include "core/pcsc/status_text.h"
#include "core/pcsc/status_word.h"
#include "sim/card_atr.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The simulated reader's card, vicc's ISO 7816 card.
const Bytes kSimAtr(STORAGE_ATR, STORAGE_ATR + ATR_SIZE);
const Bytes kViccAtr = {0x3B, 0x95, 0x13, 0x81, 0x01, 0x80, 0x73, 0xFF, 0x01, 0x00, 0x0B};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Writes into a heap buffer of exactly `cap` bytes, so that a write past it shows under ASan.
template<class Describe> std::string Into(size_t cap, Describe describe)
{
    std::vector<char> out(cap, '#');
    describe(out.data(), cap);
    return std::string(out.data(), strnlen(out.data(), cap));
}

TEST(StatusText, NamesAndTextsOfPcscCodes)
{
    struct Case {
        LONG status;
        size_t cap;
        std::string shown;
    } cases[] = {
        {SCARD_S_SUCCESS, STATUS_TEXT_SIZE, "0x00000000 SCARD_S_SUCCESS: Command successful."},
        {SCARD_E_NO_SMARTCARD, STATUS_TEXT_SIZE, "0x8010000C SCARD_E_NO_SMARTCARD: No smart card inserted."},
        // pcsclite.h gives this value two names.
        {SCARD_E_UNEXPECTED, STATUS_TEXT_SIZE,
         "0x8010001F SCARD_E_UNSUPPORTED_FEATURE or SCARD_E_UNEXPECTED: Feature not supported."},
        {SCARD_W_REMOVED_CARD, STATUS_TEXT_SIZE, "0x80100069 SCARD_W_REMOVED_CARD: Card was removed."},
        // The same code carried sign-extended in a 64-bit LONG.
        {LONG(int32_t(0x80100069)), STATUS_TEXT_SIZE, "0x80100069 SCARD_W_REMOVED_CARD: Card was removed."},
        {0x12345678, STATUS_TEXT_SIZE, "0x12345678: Unknown error: 0x12345678"},
        {SCARD_E_NO_SMARTCARD, 20, "0x8010000C SCARD_E_"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Into(c.cap, [&](char* out, size_t cap) { DescribeStatus(c.status, out, cap); }), c.shown);
}

TEST(StatusWord, MeaningsOfKnownAnswers)
{
    struct Case {
        Bytes response;
        std::string shown;
    } cases[] = {
        {{0x90, 0x00}, "90 00: Normal processing"},
        {{0x61, 0x1A}, "61 1A: Normal processing, 26 bytes still available"},
        {{0x61, 0x00}, "61 00: Normal processing, 256 bytes still available"},
        {{0x63, 0xC3}, "63 C3: Warning: counter at 3 (often the tries left)"},
        // What contactless readers answer for storage cards, beside the ISO meaning.
        {{0x63, 0x00}, "63 00: Warning, memory changed: no information given; storage card: operation failed"},
        {{0x6A, 0x82}, "6A 82: File or application not found; storage card: addressed block or byte does not exist"},
        {{0x6A, 0x81}, "6A 81: Function not supported"},
        {{0x6C, 0x10}, "6C 10: Wrong Le field, 16 bytes available"},
        {{0x62, 0x99}, "62 99: Warning, memory unchanged"},
        {{0x9F, 0x10}, "9F 10: Proprietary status"},
        {{0x12, 0x34}, "12 34: not an ISO 7816-4 status word"},
        // Classes that ISO 7816-4 defines with SW2 00 alone.
        {{0x6D, 0x00}, "6D 00: Instruction code not supported or invalid"},
        {{0x6D, 0x01}, "6D 01: Not defined by ISO 7816-4 (SW1 6D: instruction code not supported or invalid)"},
        {{0x6E, 0xFF}, "6E FF: Not defined by ISO 7816-4 (SW1 6E: class not supported)"},
        {{0x6F, 0x12}, "6F 12: Not defined by ISO 7816-4 (SW1 6F: no precise diagnosis)"},
        {{0x67, 0x10}, "67 10: Not defined by ISO 7816-4 (SW1 67: wrong length)"},
        {{0x6B, 0x01}, "6B 01: Not defined by ISO 7816-4 (SW1 6B: wrong parameters P1-P2)"},
        // The status word is the last two bytes of the response.
        {{0x01, 0x02, 0x67, 0x00}, "67 00: Wrong length"},
        {{0x90}, "No status word: the response has 1 byte"},
        {{}, "No status word: the response has 0 bytes"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Into(STATUS_WORD_TEXT_SIZE,
                       [&](char* out, size_t cap) {
                           DescribeResponseStatus(c.response.data(), c.response.size(), out, cap);
                       }),
                  c.shown);
        // The meaning alone, as the command line's JSON holds it.
        size_t n = c.response.size();
        if (n >= 2) {
            EXPECT_EQ(
                Into(STATUS_WORD_TEXT_SIZE,
                     [&](char* out, size_t cap) { StatusWordMeaning(c.response[n - 2], c.response[n - 1], out, cap); }),
                c.shown.substr(strlen("90 00: ")));
        }
    }
    // Both are cut to the caller's buffer.
    EXPECT_EQ(Into(9, [](char* out, size_t cap) { DescribeStatusWord(0x6A, 0x82, out, cap); }), "6A 82: F");
    EXPECT_EQ(Into(5, [](char* out, size_t cap) { StatusWordMeaning(0x6A, 0x82, out, cap); }), "File");
}

TEST(Atr, DecodesRealAtrsAndSaysWhereBadOnesStop)
{
    struct Case {
        const char* what;
        Bytes atr;
        AtrVerdict verdict;
        std::vector<std::string> lines;  // among the decoded lines
    } cases[] = {
        {"contactless storage card (the simulated reader's)",
         kSimAtr,
         ATR_WELL_FORMED,
         {"TS = 3B: direct convention", "T0 = 8F: Y1 = 8 (TD1), K = 15 historical bytes",
          "TD1 = 80: protocol T=0, Y2 = 8 (TD2)", "TD2 = 01: protocol T=1, Y3 = 0 (none)", "Protocols offered: T=0 T=1",
          "Historical bytes (15): 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00",
          "Category 80: compact-TLV data objects",
          "PC/SC contactless card: standard 03 (ISO 14443 A, part 3), card name 00 01 (MIFARE Classic 1K)",
          "TCK = 6A: right"}},
        {"T=1 (vicc)",
         kViccAtr,
         ATR_WELL_FORMED,
         {"T0 = 95: Y1 = 9 (TA1 TD1), K = 5 historical bytes", "TA1 = 13: Fi = 372, Di = 4, up to 5 MHz",
          "Protocols offered: T=1", "TCK = 0B: right"}},
        {"contact T=0: no TD1, no TCK",
         {0x3B, 0x65, 0x00, 0x00, 0x9C, 0x11, 0x01, 0x01, 0x03},
         ATR_WELL_FORMED,
         {"TB1 = 00: no programming voltage (deprecated byte)", "TC1 = 00: extra guard time 0 etu",
          "Protocols offered: T=0 (no protocol named)", "Historical bytes (5): 9C 11 01 01 03",
          "TCK: none, as only T=0 is offered"}},
        {"T=0 and T=1 with T=1 bytes at level 3",
         {0x3B, 0xFE, 0x18, 0x00, 0x00, 0x80, 0x31, 0xFE, 0x45, 0x45, 0x73, 0x74,
          0x45, 0x49, 0x44, 0x20, 0x76, 0x65, 0x72, 0x20, 0x31, 0x2E, 0x30, 0xA8},
         ATR_WELL_FORMED,
         {"TA1 = 18: Fi = 372, Di = 12, up to 5 MHz", "TD2 = 31: protocol T=1, Y3 = 3 (TA3 TB3)",
          "TA3 = FE: IFSC 254 bytes", "TB3 = 45: BWI = 4, CWI = 5",
          "Historical bytes (14): 45 73 74 45 49 44 20 76 65 72 20 31 2E 30 \"EstEID ver 1.0\"", "TCK = A8: right"}},
        {"cut in the interface bytes",
         {0x3B, 0x95, 0x13},
         ATR_TRUNCATED,
         {"TA1 = 13: Fi = 372, Di = 4, up to 5 MHz", "The ATR stops after 3 bytes, before TD1"}},
        {"cut in the historical bytes",
         Bytes(kSimAtr.begin(), kSimAtr.begin() + 9),
         ATR_TRUNCATED,
         {"Historical bytes (15): 80 4F 0C A0 00", "The ATR stops after 9 bytes, before historical byte 6"}},
        {"no TCK where T=1 needs one",
         Bytes(kViccAtr.begin(), kViccAtr.end() - 1),
         ATR_TRUNCATED,
         {"The ATR stops after 10 bytes, before TCK"}},
        {"wrong TCK",
         {0x3B, 0x95, 0x13, 0x81, 0x01, 0x80, 0x73, 0xFF, 0x01, 0x00, 0x0C},
         ATR_WRONG_TCK,
         {"TCK = 0C: wrong, 0B expected"}},
        {"a byte after the end",
         {0x3B, 0x02, 0x14, 0x50, 0x99},
         ATR_EXTRA_BYTES,
         {"Historical bytes (2): 14 50", "Bytes after the end of the ATR: 99"}},
        {"bad TS", {0x42, 0x00}, ATR_BAD_TS, {"TS = 42: not an initial character (3B or 3F)"}},
        {"nothing", {}, ATR_TRUNCATED, {"The ATR stops after 0 bytes, before TS"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AtrVerdict verdict = ATR_WELL_FORMED;
        const std::vector<std::string> lines = Lines(Into(ATR_TEXT_SIZE, [&](char* out, size_t cap) {
            verdict = DescribeAtr(c.atr.data(), c.atr.size(), out, cap);
        }));
        EXPECT_EQ(verdict, c.verdict);
        for (const std::string& line : c.lines)
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << "no line: " << line;
        // A short buffer is cut, not overrun.
        Into(16, [&](char* out, size_t cap) { DescribeAtr(c.atr.data(), c.atr.size(), out, cap); });
    }
}

std::string Repeat(const std::string& piece, size_t times)
{
    std::string text;
    for (size_t i = 0; i < times; i++)
        text += piece;
    return text;
}

TEST(AtrList, PatternsMatchAsPcscToolsReadsThem)
{
    // A pattern one atom short of the bound and one at it: "3B 00" then stars.
    const std::string atBound = "3B 00" + Repeat("0*", ATR_PATTERN_MAX_ATOMS - 5);
    const std::string overBound = atBound + "0*";
    const std::string longAtr = "3B" + Repeat(" 00", 32);  // 98 atoms: more than a word of states
    struct Case {
        std::string pattern;
        std::string atr;
        bool matches;
    } cases[] = {
        {"3B .. 41 73", "3B 16 41 73", true},
        {"3b 16 41 73", "3B 16 41 73", true},  // regardless of case
        {"3B 16 41 73", "3b 16 41 73", true},
        {"3B 16 41", "3B 16 41 73", false},  // the whole ATR, not a prefix
        {"16 41 73", "3B 16 41 73", false},
        {"3F 65 35 10 0. 04 [6,E]C 90 00", "3F 65 35 10 02 04 EC 90 00", true},
        {"3F 65 35 10 0. 04 [6,E]C 90 00", "3F 65 35 10 02 04 7C 90 00", false},
        {"3B 75 94 00 00 62 02 02 0[1-3] 01", "3B 75 94 00 00 62 02 02 04 01", false},
        {"3B 75 94 00 00 62 02 02 0[1-3] 01", "3B 75 94 00 00 62 02 02 03 01", true},
        {"3B 0[a-c]", "3B 0B", true},
        {"3B EF 00 FF 81 31 42 45 .* 38", "3B EF 00 FF 81 31 42 45 65 63 38 38", true},
        {"3B EF 00 FF 81 31 42 45 .* 38", "3B EF 00 FF 81 31 42 45 65 63 38 39", false},
        {"3B 00.*", "3B 00", true},  // a repeated atom may stand for nothing
        {"3B 0*1", "3B 0001", true},
        {"3B 0*1", "3B 0011", false},
        {"3B 0*1", "3B 1", true},
        {"3B [01]*6A", "3B 0110106A", true},
        {"3B [^0]0", "3B 00", false},
        {"3B [^0]0", "3B 10", true},
        {"3B ..", "3B ZZ", false},  // no atom matches what no ATR holds
        // Refused: anything outside the list's grammar matches nothing.
        {"3B+", "3BB", false},
        {"3B|3F", "3B", false},
        {"(3B)", "3B", false},
        {"3B?", "3B", false},
        {"3B\\ 00", "3B 00", false},
        {"*3B", "3B", false},
        {"3B**", "3B", false},
        {"3B []", "3B ", false},
        {"3B [3-1]", "3B 2", false},
        {"3B [0- ]", "3B 0", false},
        {"", "", false},
        {"3B [12", "3B 1", false},  // a bracket that never closes
        {"3B [", "3B [", false},    // nor one at the very end
        // Many repeated atoms in a row: linear, where backtracking never ends.
        {Repeat(".*", 20) + "Z", longAtr, false},
        {Repeat(".*", 20) + "0", longAtr, true},
        {longAtr, longAtr, true},
        {"3B" + Repeat(" 0*0*", 40) + " 00", "3B 00", false},  // the blanks are not repeated
        {"3B" + Repeat(" *0*", 40) + "00", "3B 00", true},
        {atBound, "3B 00", true},
        {overBound, "3B 00", false},
    };
    for (const Case& c : cases) {
        // A heap copy of exactly the pattern's size, so that a read past its end shows under ASan.
        std::unique_ptr<char[]> pattern(new char[c.pattern.size() + 1]);
        memcpy(pattern.get(), c.pattern.c_str(), c.pattern.size() + 1);
        EXPECT_EQ(AtrPatternMatches(pattern.get(), c.atr.c_str()), c.matches) << c.pattern << " / " << c.atr;
    }
}

// A list file is read whole, and only a regular one: a pipe or a device at
// the list's path is never opened for reading, so it cannot hold up a Connect.
TEST(AtrList, ReadsWholeRegularFilesOnly)
{
    char folder[] = "/tmp/qtu-lists.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder;
    const std::string entry = "3B 00\n\tThe card\n";
    std::ofstream(dir + "/list") << entry;
    for (const char* name : {"/at-bound", "/over-bound"})
        std::ofstream(dir + name) << entry;
    ASSERT_EQ(truncate((dir + "/at-bound").c_str(), off_t(ATR_LIST_MAX_SIZE)), 0);
    ASSERT_EQ(truncate((dir + "/over-bound").c_str(), off_t(ATR_LIST_MAX_SIZE + 1)), 0);
    ASSERT_EQ(mkfifo((dir + "/lonely").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir + "/held").c_str(), 0600), 0);
    const int writer = open((dir + "/held").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, entry.data(), entry.size()), ssize_t(entry.size()));

    struct Case {
        std::string path;
        AtrListRead read;
        size_t size;
        int entries;  // of the card 3B 00
    } cases[] = {
        {dir + "/list", ATR_LIST_READ, entry.size(), 1},
        {dir + "/at-bound", ATR_LIST_READ, ATR_LIST_MAX_SIZE, 1},  // the zeros after the entry are one refused line
        {dir + "/over-bound", ATR_LIST_TOO_LARGE, 0, 0},
        {dir + "/lonely", ATR_LIST_NOT_REGULAR, 0, 0},  // no writer: opening it would wait
        {dir + "/held", ATR_LIST_NOT_REGULAR, 0, 0},    // a writer: reading would wait for its end
        {"/dev/zero", ATR_LIST_NOT_REGULAR, 0, 0},
        {dir, ATR_LIST_NOT_REGULAR, 0, 0},
        {dir + "/missing", ATR_LIST_MISSING, 0, 0},
        {dir + "/list/below", ATR_LIST_MISSING, 0, 0},
    };
    // One record for every case: what a refused file leaves is no list.
    std::unique_ptr<AtrListFile> file(new AtrListFile {});
    const uint8_t card[] = {0x3B, 0x00};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ReadAtrList(c.path.c_str(), file.get()), c.read);
        EXPECT_EQ(file->read, c.read);
        EXPECT_EQ(file->size, c.size);
        char names[64];
        EXPECT_EQ(FindAtrInList(file->text, file->size, card, sizeof card, names, sizeof names), c.entries);
    }
    // What the writer wrote is still in the pipe: nobody read it.
    char held[64];
    EXPECT_EQ(read(writer, held, sizeof held), ssize_t(entry.size()));
    close(writer);
    for (const char* name : {"/list", "/at-bound", "/over-bound", "/lonely", "/held"})
        unlink((dir + name).c_str());
    rmdir(folder);
}

// An ATR longer than any the lookup takes is named by nothing, not by a
// pattern that matches the part of it that fits.
TEST(AtrList, TooLongAnAtrMatchesNothing)
{
    const std::string list = "00" + Repeat(" 00", ATR_LOOKUP_MAX - 1) + "\n\tCut\n.*\n\tAnything\n";
    char names[64];
    const Bytes fits(ATR_LOOKUP_MAX, 0x00);
    EXPECT_EQ(FindAtrInList(list.data(), list.size(), fits.data(), fits.size(), names, sizeof names), 2);
    EXPECT_STREQ(names, "Cut\nAnything");
    const Bytes over(ATR_LOOKUP_MAX + 1, 0x00);
    EXPECT_EQ(FindAtrInList(list.data(), list.size(), over.data(), over.size(), names, sizeof names), 0);
    EXPECT_STREQ(names, "");
}

// The user's cache of the list comes first, pcsc-tools' own list after it;
// what neither names is not an error. A lookup sees each list as its file is
// now: a rewritten cache is read again, a pipe put in its place is not read.
TEST(AtrList, NamesCardsFromTheUsersCacheThenFromPcscTools)
{
    char home[] = "/tmp/qtu-home.XXXXXX";
    ASSERT_NE(mkdtemp(home), nullptr);
    const std::string cache = std::string(home) + "/.cache";
    const std::string cached = cache + "/smartcard_list.txt";
    ASSERT_EQ(mkdir(cache.c_str(), 0700), 0);
    const char* savedHome = getenv("HOME");
    const std::string saved = savedHome ? savedHome : "";
    setenv("HOME", home, 1);
    int writer = -1;

    enum Change { KEEP, WRITE, PIPE };
    struct Case {
        const char* what;
        Change change;  // to the user's cache before the lookup
        std::string content;
        Bytes atr;
        int entries;
        bool all;                        // the names found are these, or
        std::vector<std::string> names;  // among the names found
    } cases[] = {
        {"vicc's card in the cache",
         WRITE,
         "# a comment\n"
         "3B 95 13 81 01 80 73 FF 01 00 0B\n"
         "\tCached card\n"
         "\thttps://example.org/\n"
         "3B 00\n"
         "\tNot this one\n"
         "\n"
         "3b 95 13 81 01 80 73 ff .. 00 0b\r\n"
         "\tThe same card, a second entry",  // no closing newline
         kViccAtr,
         2,
         true,
         {"Cached card", "https://example.org/", "The same card, a second entry"}},
        {"the simulated reader's card from pcsc-tools",
         KEEP,
         "",
         kSimAtr,
         3,
         false,
         {"NXP/Philips MIFARE Classic 1K (as per PCSC std part3)"}},
        {"a card nobody knows", KEEP, "", {0x3F, 0x01, 0x42}, 0, true, {}},
        {"vicc's card once more", KEEP, "", kViccAtr, 2, false, {"Cached card"}},
        {"vicc's card after the cache was rewritten",
         WRITE,
         "3B 95 13 81 01 80 73 FF 01 00 0B\n\tRenamed card\n",
         kViccAtr,
         1,
         true,
         {"Renamed card"}},
        {"vicc's card with a pipe for the cache",
         PIPE,
         "3B 95 13 81 01 80 73 FF 01 00 0B\n\tPiped card\n",
         kViccAtr,
         1,
         true,
         {"vsmartcard - iso7816 (Other)", "https://frankmorgner.github.io/vsmartcard/"}},
    };
    std::unique_ptr<KnownAtrLists> lists(new KnownAtrLists {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.change == WRITE)
            std::ofstream(cached) << c.content;
        if (c.change == PIPE) {
            ASSERT_EQ(unlink(cached.c_str()), 0);
            ASSERT_EQ(mkfifo(cached.c_str(), 0600), 0);
            writer = open(cached.c_str(), O_RDWR | O_NONBLOCK);
            ASSERT_GE(writer, 0);
            ASSERT_EQ(write(writer, c.content.data(), c.content.size()), ssize_t(c.content.size()));
        }
        int entries = -1;
        const std::vector<std::string> names = Lines(Into(CARD_NAME_TEXT_SIZE, [&](char* out, size_t cap) {
            entries = IdentifyCard(lists.get(), c.atr.data(), c.atr.size(), out, cap);
        }));
        EXPECT_EQ(entries, c.entries);
        if (c.all) {
            EXPECT_EQ(names, c.names);
        }
        for (const std::string& name : c.names)
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << "no name: " << name;
    }

    setenv("HOME", saved.c_str(), 1);
    if (writer >= 0)
        close(writer);
    unlink(cached.c_str());
    rmdir(cache.c_str());
    rmdir(home);
}

}  // namespace
