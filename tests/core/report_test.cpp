// The lines both front ends print, as the sink receives them: the dumps in
// both forms with every length rule and the cut, the vendor records and the
// whole-record rule, the exchange, connect, status, status word, elapsed and
// loop lines, a reader of the list, a card event of every kind, and the ATR
// in hex.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/output/report.h"
#include "core/pcsc/atr.h"
#include "sim/card_atr.h"

namespace {

using Bytes = std::vector<BYTE>;
using Entries = std::vector<std::string>;

const Bytes SIM_ATR(STORAGE_ATR, STORAGE_ATR + ATR_SIZE);
const char* const SIM_ATR_HEX = STORAGE_ATR_TEXT;
const char* const READER = "Quarnel Sim Reader 00 00";

void Collect(void* context, const char* entry)
{
    static_cast<Entries*>(context)->push_back(entry);
}

// What a writer hands to its sink, an entry each.
Entries Written(const std::function<void(LineSink)>& write)
{
    Entries entries;
    write(LineSink {Collect, &entries});
    return entries;
}

std::string Dump(const Bytes& bytes, DumpForm form)
{
    char text[DUMP_TEXT_SIZE];
    uint32_t length = FormatDump(text, bytes.data(), uint32_t(bytes.size()), form);
    EXPECT_EQ(length, strlen(text));
    return text;
}

Bytes Letters(size_t count)
{
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = BYTE('A' + i % 26);
    return bytes;
}

// 64 letters in both forms: eight groups of eight, the last ending the line.
const std::string HEX_64 = "41 42 43 44 45 46 47 48   49 4A 4B 4C 4D 4E 4F 50   51 52 53 54 55 56 57 58   "
                           "59 5A 41 42 43 44 45 46   47 48 49 4A 4B 4C 4D 4E   4F 50 51 52 53 54 55 56   "
                           "57 58 59 5A 41 42 43 44   45 46 47 48 49 4A 4B 4C \r\n";
const std::string CHARS_64 = "ABCDEFGH  IJKLMNOP  QRSTUVWX  YZABCDEF  GHIJKLMN  OPQRSTUV  WXYZABCD  EFGHIJKL\r\n";

TEST(Report, DumpsAreATitleThenTheBytesInEitherForm)
{
    struct Case {
        Bytes bytes;
        DumpForm form;
        std::string dump;
    } cases[] = {
        {{}, DUMP_HEX, ""},
        {{}, DUMP_CHARACTERS, ""},
        {Letters(1), DUMP_HEX, "41 "},
        {Letters(1), DUMP_CHARACTERS, "A"},
        {Letters(8), DUMP_HEX, "41 42 43 44 45 46 47 48   "},
        {Letters(8), DUMP_CHARACTERS, "ABCDEFGH  "},
        {Letters(9), DUMP_HEX, "41 42 43 44 45 46 47 48   49 "},
        {Letters(9), DUMP_CHARACTERS, "ABCDEFGH  I"},
        // A full line ends in CR LF, so the next log entry's separator leaves an empty line.
        {Letters(64), DUMP_HEX, HEX_64},
        {Letters(64), DUMP_CHARACTERS, CHARS_64},
        {Letters(65), DUMP_HEX, HEX_64 + "4D "},
        {Letters(65), DUMP_CHARACTERS, CHARS_64 + "M"},
        {{0, 1, 2, 3, 4, 5, 6, 7, 0xAB}, DUMP_HEX, "00 01 02 03 04 05 06 07   AB "},
        // A zero byte shows nothing but still counts.
        {{'A', 'B', 0, 'D', 'E', 'F', 'G', 'H', 'I', 'J'}, DUMP_CHARACTERS, "ABDEFGH  IJ"},
        {Bytes(9, 0), DUMP_CHARACTERS, "  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bytes.size()) + (c.form == DUMP_HEX ? " hex" : " characters"));
        EXPECT_EQ(Written([&](LineSink sink) {
                      ReportDump(sink, "Title:", c.bytes.data(), uint32_t(c.bytes.size()), c.form);
                  }),
                  (Entries {"Title:", c.dump}));
        EXPECT_EQ(Dump(c.bytes, c.form), c.dump);
    }
}

struct LengthCase {
    size_t count;
    size_t hexLength;
    size_t charLength;
};

TEST(DumpFormat, LengthRulesOfBothForms)
{
    const LengthCase cases[] = {
        {0, 0, 0},       {8, 26, 10},     {9, 29, 11},     {64, 208, 80},   {65, 211, 81},
        {307, 997, 383}, {308, 993, 384}, {331, 993, 413}, {332, 993, 416}, {10000, 993, 416},
    };
    // The longest dump that is not cut; every shorter one is where it starts.
    const std::string whole = Dump(Letters(307), DUMP_HEX);
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.count);
        Bytes bytes = Letters(c.count);

        std::string hex = Dump(bytes, DUMP_HEX);
        EXPECT_EQ(hex.size(), c.hexLength);
        if (c.count >= 308)
            EXPECT_EQ(hex, whole.substr(0, 990) + "...");
        else
            EXPECT_EQ(hex, whole.substr(0, c.hexLength));

        std::string characters = Dump(bytes, DUMP_CHARACTERS);
        EXPECT_EQ(characters.size(), c.charLength);
        EXPECT_EQ(characters.size() >= 3 && characters.substr(characters.size() - 3) == "...", c.count >= 332);
    }
    std::string cut = Dump(Letters(332), DUMP_CHARACTERS);
    EXPECT_EQ(cut.substr(cut.size() - 8), "  QRS...");
}

TEST(DumpFormat, VendorHeaderShowsEveryField)
{
    struct Case {
        VendorIoRecord record;
        const char* header;
    } cases[] = {
        {{2, {}, 3, 100, 0, {}, 0, {}}, "CMD = 2, PA = 0x00000003, PB = 0x00000064, PC = 0x00000000, LE = 0"},
        {{255, {}, 0xFFFFFFFF, 100, 0xABCDEF01, {}, 255, {}},
         "CMD = 255, PA = 0xFFFFFFFF, PB = 0x00000064, PC = 0xABCDEF01, LE = 255"},
    };
    for (const Case& c : cases) {
        char text[DUMP_TEXT_SIZE];
        FormatVendorHeader(text, c.record);
        EXPECT_STREQ(text, c.header);
    }
}

// The exchange, connect, status, status word, elapsed and loop lines.
TEST(Report, LinesAroundAnExchange)
{
    const Bytes request = {0x00, 0xCA, 0x00, 0x00, 0x00};
    const Bytes response = {0x04, 0xA1, 0xB2, 0xC3, 0x90, 0x00};
    VendorIoRecord record {};
    record.cmd = 8;
    record.pa = 3;
    record.le = 2;
    record.data[0] = 0x51;
    record.data[1] = 0x53;
    record.data[2] = 0xEE;  // beyond LE: not shown
    const std::string header = "CMD = 8, PA = 0x00000003, PB = 0x00000000, PC = 0x00000000, LE = 2";
    LoopSummary summary {};
    summary.runsMade = 3;
    summary.outcomes[0] = {true, 0x9000, 2};
    summary.outcomes[1] = {false, uint32_t(SCARD_E_NOT_TRANSACTED), 1};
    summary.outcomeCount = 2;
    summary.minUs = summary.medianUs = summary.p90Us = summary.p99Us = summary.maxUs = summary.meanUs = 9.149;

    struct Case {
        const char* what;
        std::function<void(LineSink)> write;
        Entries entries;
    } cases[] = {
        {"transmit input",
         [&](LineSink sink) { ReportTransmitInput(sink, request.data(), uint32_t(request.size()), DUMP_HEX); },
         {"SCardTransmit: Input:", "00 CA 00 00 00 "}},
        {"transmit output",
         [&](LineSink sink) {
             ReportTransmitOutput(sink, SCARD_S_SUCCESS, response.data(), uint32_t(response.size()), DUMP_HEX);
         },
         {"SCardTransmit: Output:", "04 A1 B2 C3 90 00 "}},
        {"transmit failure",
         [&](LineSink sink) {
             ReportTransmitOutput(sink, SCARD_E_NOT_TRANSACTED, response.data(), uint32_t(response.size()), DUMP_HEX);
         },
         {"SCardTransmit: Failure!"}},
        {"control input",
         [&](LineSink sink) { ReportControlInput(sink, record); },
         {"SCardControl: Input:", header, "51 53 "}},
        {"control output",
         [&](LineSink sink) { ReportControlOutput(sink, SCARD_S_SUCCESS, record, VENDOR_RECORD_SIZE); },
         {"SCardControl: Output:", header, "51 53 "}},
        {"control failure",
         [&](LineSink sink) { ReportControlOutput(sink, SCARD_E_UNSUPPORTED_FEATURE, record, VENDOR_RECORD_SIZE); },
         {"SCardControl: Failure!"}},
        {"connect",
         [](LineSink sink) { ReportConnected(sink, "SCardConnect", SCARD_PROTOCOL_T1); },
         {"SCardConnect: OK, protocol = 0x00000002."}},
        {"reconnect failure",
         [](LineSink sink) { ReportFailure(sink, "SCardReconnect"); },
         {"SCardReconnect: Failure!"}},
        {"status",
         [](LineSink sink) { ReportStatus(sink, "Status: ", SCARD_S_SUCCESS); },
         {"Status: 0x00000000 SCARD_S_SUCCESS: Command successful."}},
        {"status word",
         [&](LineSink sink) { ReportResponseStatus(sink, "SW: ", response.data(), DWORD(response.size())); },
         {"SW: 90 00: Normal processing"}},
        {"no status word",
         [&](LineSink sink) { ReportResponseStatus(sink, "SW: ", response.data(), 1); },
         {"SW: No status word: the response has 1 byte"}},
        {"elapsed",
         [](LineSink sink) {
             ReportElapsed(sink, Span {100, 50100}, 1000000, 1);
         },
         {"Elapsed: 0.05 ms"}},
        // No runs count as one.
        {"elapsed of no runs",
         [](LineSink sink) {
             ReportElapsed(sink, Span {0, 2500000}, 1000000, 0);
         },
         {"Elapsed: 2.50 ms"}},
        {"loop summary",
         [&](LineSink sink) { ReportLoopSummary(sink, summary); },
         {"Loop: 3 runs, 2 answered 90 00, 1 failed 0x80100016 (Transaction failed.)",
          "Loop times (µs): min 9.1, median 9.1, p90 9.1, p99 9.1, max 9.1, mean 9.1"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Written(c.write), c.entries) << c.what;
    // The stop is said only for a loop the user stopped.
    static LoopRecord loop;
    loop.runsPlanned = 5000;
    loop.runsMade = 12;
    for (bool stopped : {false, true}) {
        loop.stopped = stopped;
        EXPECT_EQ(Written([&](LineSink sink) { ReportLoopStopped(sink, loop); }),
                  stopped ? Entries {"Loop stopped after 12 of 5000 runs."} : Entries {});
    }
    // Only a whole record is dumped.
    for (int32_t size : {0, 275, 277, -1})
        EXPECT_EQ(Written([&](LineSink sink) { ReportControlOutput(sink, SCARD_S_SUCCESS, record, size); }),
                  Entries {"SCardControl: Output:"})
            << size;
}

SCARD_READERSTATE ReaderState(const char* name, DWORD state, const Bytes& atr, DWORD atrLength)
{
    SCARD_READERSTATE reader {};
    reader.szReader = name;
    reader.dwEventState = state;
    std::copy_n(atr.begin(), std::min(atr.size(), sizeof reader.rgbAtr), reader.rgbAtr);
    reader.cbAtr = atrLength;
    return reader;
}

TEST(Report, ReaderLineNamesTheStateAndTheAtr)
{
    struct Case {
        int index;
        SCARD_READERSTATE reader;
        const char* line;
    } cases[] = {
        // CHANGED says nothing of the reader.
        {0, ReaderState(READER, SCARD_STATE_PRESENT | SCARD_STATE_INUSE | SCARD_STATE_CHANGED, SIM_ATR, 20),
         "0: Quarnel Sim Reader 00 00: PRESENT|INUSE, ATR 3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A"},
        {1, ReaderState("Quarnel Sim Reader 01 00", SCARD_STATE_EMPTY, {}, 0), "1: Quarnel Sim Reader 01 00: EMPTY"},
        {2, ReaderState("R", SCARD_STATE_UNAWARE, {}, 0), "2: R:"},
        {3, ReaderState("R", ~DWORD(0) & 0xFFFF, {}, 0),
         "3: R: UNKNOWN|UNAVAILABLE|EMPTY|PRESENT|ATRMATCH|EXCLUSIVE|INUSE|MUTE|UNPOWERED"},
        // A length beyond the record's array is no ATR.
        {4, ReaderState("R", SCARD_STATE_PRESENT, SIM_ATR, MAX_ATR_SIZE + 1), "4: R: PRESENT"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Written([&](LineSink sink) { ReportReader(sink, c.index, c.reader); }), Entries {c.line});

    const char* names[READER_STATE_NAME_MAX];
    ASSERT_EQ(ReaderStateNames(SCARD_STATE_EMPTY | SCARD_STATE_MUTE | SCARD_STATE_IGNORE, names), 2);
    EXPECT_STREQ(names[0], "EMPTY");
    EXPECT_STREQ(names[1], "MUTE");
}

CardEvent Event(CardEventKind kind, const char* reader, bool inferred, const Bytes& atr, LONG status = 0)
{
    CardEvent event {};
    event.kind = kind;
    event.inferred = inferred;
    event.status = status;
    snprintf(event.reader, sizeof event.reader, "%s", reader);
    std::copy_n(atr.begin(), std::min(atr.size(), sizeof event.atr), event.atr);
    event.atrLength = DWORD(atr.size());
    return event;
}

TEST(Report, CardEventLineOfEveryKind)
{
    const std::string at = "12:00:01.250  ";
    struct Case {
        CardEvent event;
        const char* name;
        std::string line;
    } cases[] = {
        {Event(CARD_EVENT_READER_ADDED, READER, false, {}), "reader_added", at + "Reader added  " + READER},
        {Event(CARD_EVENT_READER_REMOVED, READER, false, {}), "reader_removed", at + "Reader removed  " + READER},
        {Event(CARD_EVENT_READER_UNAVAILABLE, READER, false, {}), "reader_unavailable",
         at + "Reader unavailable  " + READER},
        {Event(CARD_EVENT_READER_AVAILABLE, READER, false, {}), "reader_available", at + "Reader available  " + READER},
        {Event(CARD_EVENT_CARD_INSERTED, READER, false, SIM_ATR), "card_inserted",
         at + "Card inserted  " + READER + "  " + SIM_ATR_HEX},
        {Event(CARD_EVENT_CARD_INSERTED, READER, true, {}), "card_inserted", at + "Card inserted (missed)  " + READER},
        {Event(CARD_EVENT_CARD_REMOVED, READER, true, {}), "card_removed", at + "Card removed (missed)  " + READER},
        {Event(CARD_EVENT_ATR_READ, READER, false, {0x3B, 0x95, 0x13}), "atr_read",
         at + "ATR read  " + READER + "  3B 95 13"},
        {Event(CARD_EVENT_WATCH_FAILED, "", false, {}, SCARD_E_NO_SERVICE), "watch_failed",
         at + "Watching stopped    0x8010001D SCARD_E_NO_SERVICE: Service not available."},
        // A kind beyond the table has no words.
        {Event(CardEventKind(CARD_EVENT_WATCH_FAILED + 1), READER, false, {}), "", at + "  " + READER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Written([&](LineSink sink) { ReportCardEvent(sink, "12:00:01.250", c.event); }), Entries {c.line});
        EXPECT_STREQ(CardEventName(c.event.kind), c.name);
    }
    // An ATR length beyond the event's array shows the array and no more.
    CardEvent event = Event(CARD_EVENT_CARD_INSERTED, "R", false, Bytes(MAX_ATR_SIZE, 0x11));
    event.atrLength = 4 * MAX_ATR_SIZE;
    std::string atr = "11";
    for (int i = 1; i < MAX_ATR_SIZE; ++i)
        atr += " 11";
    EXPECT_EQ(Written([&](LineSink sink) { ReportCardEvent(sink, "+1.011 s", event); }),
              Entries {"+1.011 s  Card inserted  R  " + atr});
}

TEST(Report, HexBytesAreCutToTheBuffer)
{
    struct Case {
        size_t cap;
        std::string text;
    } cases[] = {
        {1, ""}, {2, "3"}, {3, "3B"}, {6, "3B 8F"}, {7, "3B 8F "}, {60, SIM_ATR_HEX},
    };
    for (const Case& c : cases) {
        // A heap buffer of exactly `cap` bytes, so that a write past it shows under ASan.
        std::vector<char> out(c.cap, '#');
        size_t length = FormatHexBytes(out.data(), c.cap, SIM_ATR.data(), SIM_ATR.size());
        EXPECT_EQ(std::string(out.data()), c.text) << c.cap;
        EXPECT_EQ(length, c.text.size()) << c.cap;
    }
    char untouched = '#';
    EXPECT_EQ(FormatHexBytes(&untouched, 0, SIM_ATR.data(), SIM_ATR.size()), 0u);
    EXPECT_EQ(untouched, '#');
}

}  // namespace
