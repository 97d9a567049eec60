// The lines both front ends print, built in fixed buffers and handed to the
// caller's sink one finished entry at a time.
#include "core/output/report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/output/result_text.h"
#include "core/pcsc/atr.h"
#include "core/pcsc/status_text.h"
#include "core/pcsc/status_word.h"

namespace {

// Room for the longest line: a reader's name with its states and ATR, or an
// event with the reader's name, a status and an ATR.
constexpr size_t LINE_SIZE = MAX_READERNAME + STATUS_TEXT_SIZE + 3 * MAX_ATR_SIZE + 160;

// A line built piece by piece, cut where its buffer ends.
struct Line {
    char text[LINE_SIZE];
    size_t used;
};

[[gnu::format(printf, 2, 3)]] void Put(Line* line, const char* format, ...)
{
    if (line->used + 1 >= sizeof line->text)
        return;
    va_list args;
    va_start(args, format);
    int written = vsnprintf(line->text + line->used, sizeof line->text - line->used, format, args);
    va_end(args);
    if (written > 0)
        line->used = std::min(line->used + size_t(written), sizeof line->text - 1);
}

// The bytes in hex after `prefix`; nothing for none.
void PutHex(Line* line, const char* prefix, const BYTE* bytes, size_t count)
{
    if (count == 0)
        return;
    Put(line, "%s", prefix);
    if (line->used + 1 < sizeof line->text)
        line->used += FormatHexBytes(line->text + line->used, sizeof line->text - line->used, bytes, count);
}

const struct {
    DWORD bit;
    const char* name;
} READER_STATES[READER_STATE_NAME_MAX] = {
    {SCARD_STATE_UNKNOWN, "UNKNOWN"},     {SCARD_STATE_UNAVAILABLE, "UNAVAILABLE"},
    {SCARD_STATE_EMPTY, "EMPTY"},         {SCARD_STATE_PRESENT, "PRESENT"},
    {SCARD_STATE_ATRMATCH, "ATRMATCH"},   {SCARD_STATE_EXCLUSIVE, "EXCLUSIVE"},
    {SCARD_STATE_INUSE, "INUSE"},         {SCARD_STATE_MUTE, "MUTE"},
    {SCARD_STATE_UNPOWERED, "UNPOWERED"},
};

// One table for both front ends: the JSON name and the text of each kind.
const struct {
    const char* name;
    const char* text;
} CARD_EVENT_WORDS[] = {
    {"reader_added", "Reader added"},
    {"reader_removed", "Reader removed"},
    {"reader_unavailable", "Reader unavailable"},
    {"reader_available", "Reader available"},
    {"card_inserted", "Card inserted"},
    {"card_removed", "Card removed"},
    {"atr_read", "ATR read"},
    {"watch_failed", "Watching stopped"},
};
static_assert(std::size(CARD_EVENT_WORDS) == CARD_EVENT_WATCH_FAILED + 1, "words for every kind of event");

}  // namespace

void ReportDump(LineSink sink, const char* title, const BYTE* bytes, uint32_t count, DumpForm form)
{
    char text[DUMP_TEXT_SIZE];
    FormatDump(text, bytes, count, form);
    sink.put(sink.context, title);
    sink.put(sink.context, text);
}

void ReportVendorRecord(LineSink sink, const char* title, const VendorIoRecord& record, int32_t size)
{
    sink.put(sink.context, title);
    if (size != VENDOR_RECORD_SIZE)
        return;
    char text[DUMP_TEXT_SIZE];
    FormatVendorHeader(text, record);
    sink.put(sink.context, text);
    FormatDump(text, record.data, std::min<uint32_t>(record.le, VENDOR_DATA_SIZE), DUMP_HEX);
    sink.put(sink.context, text);
}

void ReportTransmitInput(LineSink sink, const BYTE* request, uint32_t length, DumpForm form)
{
    ReportDump(sink, "SCardTransmit: Input:", request, length, form);
}

void ReportTransmitOutput(LineSink sink, LONG status, const BYTE* response, uint32_t length, DumpForm form)
{
    if (status == SCARD_S_SUCCESS)
        ReportDump(sink, "SCardTransmit: Output:", response, length, form);
    else
        ReportFailure(sink, "SCardTransmit");
}

void ReportControlInput(LineSink sink, const VendorIoRecord& request)
{
    ReportVendorRecord(sink, "SCardControl: Input:", request, VENDOR_RECORD_SIZE);
}

void ReportControlOutput(LineSink sink, LONG status, const VendorIoRecord& reply, int32_t size)
{
    if (status == SCARD_S_SUCCESS)
        ReportVendorRecord(sink, "SCardControl: Output:", reply, size);
    else
        ReportFailure(sink, "SCardControl");
}

void ReportConnected(LineSink sink, const char* call, DWORD protocol)
{
    Line line {};
    Put(&line, "%s: OK, protocol = 0x%08X.", call, unsigned(uint32_t(protocol)));
    sink.put(sink.context, line.text);
}

void ReportFailure(LineSink sink, const char* call)
{
    Line line {};
    Put(&line, "%s: Failure!", call);
    sink.put(sink.context, line.text);
}

void ReportStatus(LineSink sink, const char* label, LONG status)
{
    char description[STATUS_TEXT_SIZE];
    DescribeStatus(status, description, sizeof description);
    Line line {};
    Put(&line, "%s%s", label, description);
    sink.put(sink.context, line.text);
}

void ReportResponseStatus(LineSink sink, const char* label, const BYTE* response, DWORD length)
{
    char meaning[STATUS_WORD_TEXT_SIZE];
    DescribeResponseStatus(response, length, meaning, sizeof meaning);
    Line line {};
    Put(&line, "%s%s", label, meaning);
    sink.put(sink.context, line.text);
}

void ReportElapsed(LineSink sink, const Span& span, int64_t ticksPerMs, int32_t runs)
{
    char text[RESULT_TEXT_SIZE];
    FormatElapsed(text, span, ticksPerMs, runs);
    Line line {};
    Put(&line, "Elapsed: %s", text + strspn(text, " "));
    sink.put(sink.context, line.text);
}

void ReportLoopStopped(LineSink sink, const LoopRecord& record)
{
    if (!record.stopped)
        return;
    Line line {};
    Put(&line, "Loop stopped after %d of %d runs.", int(record.runsMade), int(record.runsPlanned));
    sink.put(sink.context, line.text);
}

void ReportFollowUp(LineSink sink, int32_t index, FollowUpKind kind, uint16_t sw)
{
    Line line {};
    Put(&line, "Follow-up %d: %s after %02X %02X", int(index), FollowUpText(kind), unsigned(sw >> 8),
        unsigned(sw & 0xFF));
    sink.put(sink.context, line.text);
}

void ReportFollowUpsCut(LineSink sink)
{
    Line line {};
    Put(&line, "Follow-ups ended after %d: the card still asks for another.", int(FOLLOW_UP_MAX));
    sink.put(sink.context, line.text);
}

void ReportLoopSummary(LineSink sink, const LoopSummary& summary)
{
    char text[LOOP_LINE_SIZE];
    FormatLoopCounts(text, summary);
    sink.put(sink.context, text);
    FormatLoopTimes(text, summary);
    sink.put(sink.context, text);
}

int ReaderStateNames(DWORD state, const char* (&names)[READER_STATE_NAME_MAX])
{
    int count = 0;
    for (const auto& named : READER_STATES)
        if (state & named.bit)
            names[count++] = named.name;
    return count;
}

void ReportReader(LineSink sink, int index, const SCARD_READERSTATE& reader)
{
    Line line {};
    Put(&line, "%d: %s:", index, reader.szReader != nullptr ? reader.szReader : "");
    const char* names[READER_STATE_NAME_MAX];
    int count = ReaderStateNames(reader.dwEventState, names);
    for (int i = 0; i < count; ++i)
        Put(&line, "%s%s", i == 0 ? " " : "|", names[i]);
    // A length beyond the record's array is no ATR.
    if (reader.cbAtr <= MAX_ATR_SIZE)
        PutHex(&line, ", ATR ", reader.rgbAtr, reader.cbAtr);
    sink.put(sink.context, line.text);
}

const char* CardEventName(CardEventKind kind)
{
    return kind < std::size(CARD_EVENT_WORDS) ? CARD_EVENT_WORDS[kind].name : "";
}

const char* CardEventText(CardEventKind kind)
{
    return kind < std::size(CARD_EVENT_WORDS) ? CARD_EVENT_WORDS[kind].text : "";
}

void ReportCardEvent(LineSink sink, const char* time, const CardEvent& event)
{
    Line line {};
    Put(&line, "%s  %s%s  %.*s", time, CardEventText(event.kind), event.inferred ? " (missed)" : "",
        int(sizeof event.reader), event.reader);
    if (event.kind == CARD_EVENT_WATCH_FAILED) {
        char description[STATUS_TEXT_SIZE];
        DescribeStatus(event.status, description, sizeof description);
        Put(&line, "  %s", description);
    }
    PutHex(&line, "  ", event.atr, std::min<size_t>(event.atrLength, MAX_ATR_SIZE));
    sink.put(sink.context, line.text);
}

void ReportControlCode(LineSink sink, DWORD code)
{
    char text[CONTROL_CODE_TEXT_SIZE];
    FormatControlCode(text, code);
    Line line {};
    Put(&line, "SCardControl: Code: %s", text);
    sink.put(sink.context, line.text);
}

void ReportControlExchange(LineSink sink, DWORD code, const BYTE* request, uint32_t requestLength,
                           const ControlOutcome& outcome, const BYTE* reply, int64_t ticksPerMs)
{
    ReportControlCode(sink, code);
    if (request != nullptr)
        ReportDump(sink, "SCardControl: Input:", request, requestLength, DUMP_HEX);
    if (outcome.status == SCARD_S_SUCCESS)
        ReportDump(sink, "SCardControl: Output:", reply, outcome.returned, DUMP_HEX);
    else
        ReportFailure(sink, "SCardControl");
    ReportStatus(sink, "Status: ", outcome.status);
    ReportElapsed(sink, outcome.span, ticksPerMs, 1);
}

void ReportFeature(LineSink sink, const FeatureEntry& entry)
{
    char code[CONTROL_CODE_TEXT_SIZE];
    FormatControlCode(code, entry.code);
    const char* name = FeatureName(entry.tag);
    Line line {};
    if (name != nullptr)
        Put(&line, "%s (0x%02X): %s", name, unsigned(entry.tag), code);
    else
        Put(&line, "Feature 0x%02X: %s", unsigned(entry.tag), code);
    sink.put(sink.context, line.text);
}

void ReportProperty(LineSink sink, const PropertyEntry& entry)
{
    const char* name = PropertyName(entry.tag);
    Line line {};
    if (name != nullptr)
        Put(&line, "%s (%u): ", name, unsigned(entry.tag));
    else
        Put(&line, "Property %u:", unsigned(entry.tag));
    switch (PropertyKindOf(entry.tag)) {
    case PROPERTY_NUMBER:
        Put(&line, "0x%0*X (%u)", 2 * int(entry.length), unsigned(entry.number), unsigned(entry.number));
        break;
    case PROPERTY_STRING:
        Put(&line, "\"");
        for (int i = 0; i < entry.length; ++i) {
            BYTE c = entry.bytes[i];
            if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
                Put(&line, "%c", c);
            else
                Put(&line, "\\x%02X", unsigned(c));
        }
        Put(&line, "\"");
        break;
    case PROPERTY_UNKNOWN:
        PutHex(&line, " ", entry.bytes, entry.length);
        break;
    }
    sink.put(sink.context, line.text);
}

void ReportTlvStop(LineSink sink, const char* what, TlvStop stop, uint32_t offset)
{
    const char* const reasons[] = {"", "cut short", "a length its tag cannot have", "more entries than it can hold"};
    static_assert(std::size(reasons) == TLV_TOO_MANY + 1, "a reason for every stop");
    if (stop == TLV_WHOLE || unsigned(stop) >= std::size(reasons))
        return;
    Line line {};
    Put(&line, "The %s stops at byte %u: %s.", what, unsigned(offset), reasons[stop]);
    sink.put(sink.context, line.text);
}

void ReportEscapeCode(LineSink sink, bool offered, DWORD code)
{
    char text[CONTROL_CODE_TEXT_SIZE];
    FormatControlCode(text, code);
    Line line {};
    Put(&line, "CCID escape: %s", offered ? text : "not offered");
    sink.put(sink.context, line.text);
}

void ReportReset(LineSink sink, const ResetResult& result)
{
    if (result.status != SCARD_S_SUCCESS) {
        ReportFailure(sink, "SCardReconnect");
        return;
    }
    ReportConnected(sink, "SCardReconnect", result.protocol);
    ReportDump(sink, "ATR:", result.atr, result.atrLength, DUMP_HEX);
    if (result.atrChanged)
        sink.put(sink.context, "ATR changed.");
}

void ReportCallVerdict(LineSink sink, const char* call, LONG status)
{
    if (status != SCARD_S_SUCCESS) {
        ReportFailure(sink, call);
        return;
    }
    Line line {};
    Put(&line, "%s: OK.", call);
    sink.put(sink.context, line.text);
}
