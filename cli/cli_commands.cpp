// The command line's commands: each opens its own PC/SC context, calls the
// cores a window handler would call and prints what they return, as the
// window's log would show it or as JSON.
#include "cli/cli_commands.h"

#include <poll.h>
#include <pthread.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

#include "cli/cli_output.h"
#include "core/clock/counter.h"
#include "core/compose/apdu_script.h"
#include "core/compose/data_entry.h"
#include "core/compose/script_runner.h"
#include "core/compose/storage.h"
#include "core/compose/vendor.h"
#include "core/output/samples_csv.h"
#include "core/pcsc/atr.h"
#include "core/pcsc/attributes.h"
#include "core/pcsc/card_watcher.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/control.h"
#include "core/pcsc/features.h"
#include "core/pcsc/pcsc_api.h"
#include "core/pcsc/status_text.h"
#include "core/transmit/follow_up.h"
#include "core/transmit/transmit.h"

namespace {

// Room for an extended APDU and for its answer.
constexpr DWORD APDU_BUFFER_SIZE = MAX_BUFFER_SIZE_EXTENDED;
constexpr size_t READER_NAMES_SIZE = PCSCLITE_MAX_READERS_CONTEXTS * MAX_READERNAME + 1;
// A script's place and a loop's run before a complaint: "FILE:LINE: run N of M: ".
constexpr size_t PLACE_PREFIX_SIZE = PATH_MAX + 48;
// What a refusal of hex arguments quotes of them.
constexpr size_t QUOTED_TEXT_SIZE = 61;

// Set by SIGINT or SIGTERM while `send` runs: its loop ends after the run
// under way, and the command with that signal's status.
std::atomic<bool> stopRequested;
volatile sig_atomic_t stopSignal;
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may set the flag");

// Every reader pcscd lists, with the state it has now.
struct ReaderStates {
    char names[READER_NAMES_SIZE];
    SCARD_READERSTATE states[PCSCLITE_MAX_READERS_CONTEXTS];
    int count;
};

// A context, the chosen reader and the connection to it, with the options it
// was made with and the card's ATR as last read (for a reset's comparison).
struct Session {
    SCARDCONTEXT context;
    SCARDHANDLE card;
    DWORD protocol;
    ConnectOptions options;
    BYTE atr[MAX_ATR_SIZE];
    DWORD atrLength;  // 0 when none was read
    char reader[MAX_READERNAME];
};

// "CALL: 0x8010000C SCARD_E_NO_SMARTCARD: ..." on stderr after `prefix`
// ("stops.apdu:1: ", "run 3 of 9: " or ""); with `args` asking for JSON, an
// "error" object on stdout before it, for a reader of the JSON alone.
int ComplainOfCall(const CliArguments* args, const char* prefix, const char* call, LONG status)
{
    if (args != nullptr && args->json) {
        JsonBegin("error");
        JsonString("command", args->command);
        JsonString("call", call);
        JsonStatus(status);
        JsonEnd();
    }
    char text[STATUS_TEXT_SIZE];
    DescribeStatus(status, text, sizeof text);
    return Complain(EXIT_FAILED, "%s%s: %s", prefix, call, text);
}

LONG ReadReaderStates(SCARDCONTEXT context, ReaderStates* readers)
{
    readers->count = 0;
    DWORD length = sizeof readers->names;
    LONG status = pcsc.ListReaders(context, nullptr, readers->names, &length);
    if (status == SCARD_E_NO_READERS_AVAILABLE)
        return SCARD_S_SUCCESS;
    if (status != SCARD_S_SUCCESS)
        return status;
    size_t offset = 0;
    while (readers->count < PCSCLITE_MAX_READERS_CONTEXTS) {
        const char* name = NextReaderName(readers->names, length, &offset);
        if (name == nullptr)
            break;
        readers->states[readers->count++] = SCARD_READERSTATE {name, nullptr, SCARD_STATE_UNAWARE, 0, 0, {}};
    }
    if (readers->count == 0)
        return SCARD_S_SUCCESS;
    // Told nothing of the readers, pcscd answers at once with their state.
    status = pcsc.GetStatusChange(context, 0, readers->states, DWORD(readers->count));
    return status == SCARD_E_TIMEOUT ? SCARD_S_SUCCESS : status;
}

// The reader `wanted` names by its name or its index in the list; without
// one, the first that holds a card. -1 for none.
int FindReader(const ReaderStates& readers, const char* wanted)
{
    for (int i = 0; i < readers.count; ++i) {
        bool present = (readers.states[i].dwEventState & SCARD_STATE_PRESENT) != 0;
        if (wanted == nullptr ? present : strcmp(readers.states[i].szReader, wanted) == 0)
            return i;
    }
    if (wanted == nullptr || *wanted < '0' || *wanted > '9')
        return -1;
    char* end;
    unsigned long index = strtoul(wanted, &end, 10);
    return *end == '\0' && index < unsigned(readers.count) ? int(index) : -1;
}

// Opens a context and connects to the chosen reader as --share and
// --protocol say. With `direct` and no share mode named, a reader without a
// card is reached directly (vendor requests and the reader's own attributes
// need no card).
int OpenSession(const CliArguments& args, Session* session, bool direct)
{
    *session = Session {};
    LONG status = pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &session->context);
    if (status != SCARD_S_SUCCESS)
        return ComplainOfCall(&args, "", "SCardEstablishContext", status);
    static ReaderStates readers;
    status = ReadReaderStates(session->context, &readers);
    if (status != SCARD_S_SUCCESS)
        return ComplainOfCall(&args, "", "SCardListReaders", status);
    int index = FindReader(readers, args.reader);
    if (index < 0 && args.reader != nullptr)
        return Complain(EXIT_USAGE, "no reader \"%s\"", args.reader);
    if (index < 0)
        return Complain(EXIT_FAILED, "no reader holds a card");
    snprintf(session->reader, sizeof session->reader, "%s", readers.states[index].szReader);
    session->options = args.connect;
    status = ConnectCard(session->context, session->reader, session->options, &session->card, &session->protocol);
    if (status == SCARD_E_NO_SMARTCARD && direct && !args.shareGiven) {
        session->options = ConnectOptions {SHARE_DIRECT, args.connect.protocol};
        status = ConnectCard(session->context, session->reader, session->options, &session->card, &session->protocol);
    }
    if (status != SCARD_S_SUCCESS)
        return ComplainOfCall(&args, "", "SCardConnect", status);
    // A direct connection to an empty reader has none: the length stays 0.
    ReadAtr(session->card, session->atr, sizeof session->atr, &session->atrLength);
    if (!args.json) {
        printf("Reader: %s\n", session->reader);
        ReportConnected(standardOutput, "SCardConnect", session->protocol);
    }
    return EXIT_AS_EXPECTED;
}

// Ends the connection as --disposition says and releases the context.
// Returns `result`, or the failure of a disconnect that --disposition asked
// for (said on stderr) when all had gone as expected.
int CloseSession(const CliArguments& args, Session* session, int result)
{
    LONG status = SCARD_S_SUCCESS;
    if (session->card != 0)
        status = pcsc.Disconnect(session->card, args.disposition);
    if (session->context != 0)
        pcsc.ReleaseContext(session->context);
    *session = Session {};
    if (status == SCARD_S_SUCCESS || !args.dispositionGiven || result != EXIT_AS_EXPECTED)
        return result;
    return ComplainOfCall(&args, "", "SCardDisconnect", status);
}

// The state's bits by name, as a JSON array.
void JsonStateNames(DWORD state)
{
    const char* names[READER_STATE_NAME_MAX];
    int count = ReaderStateNames(state, names);
    JsonOpen("state", '[');
    for (int i = 0; i < count; ++i)
        JsonString(nullptr, names[i]);
    JsonClose(']');
}

// The names of the verdicts, as the JSON gives them.
const char* const ATR_VERDICT_NAMES[] = {"well_formed", "bad_ts", "truncated", "wrong_tck", "extra_bytes"};
static_assert(std::size(ATR_VERDICT_NAMES) == ATR_EXTRA_BYTES + 1, "a name for every verdict");

// The lines of `text` ('\n' between them) as a JSON array, or printed each
// after `indent`.
void PrintLines(const char* name, char* text, const char* indent, bool json)
{
    if (json)
        JsonOpen(name, '[');
    for (char* line = text; line != nullptr;) {
        char* end = strchr(line, '\n');
        if (end != nullptr)
            *end = '\0';
        if (json)
            JsonString(nullptr, line);
        else if (*line != '\0')
            printf("%s%s\n", indent, line);
        line = end != nullptr ? end + 1 : nullptr;
    }
    if (json)
        JsonClose(']');
}

}  // namespace

void JsonLoopTimes(const LoopSummary& summary)
{
    JsonOpen("times_us", '{');
    JsonDecimal("min", summary.minUs);
    JsonDecimal("median", summary.medianUs);
    JsonDecimal("p90", summary.p90Us);
    JsonDecimal("p99", summary.p99Us);
    JsonDecimal("max", summary.maxUs);
    JsonDecimal("mean", summary.meanUs);
    JsonClose('}');
}

void JsonAtrFields(const BYTE* atr, DWORD length, AtrVerdict verdict, char* decoding, int known, char* names)
{
    JsonBytes("atr", atr, length);
    JsonString("verdict", ATR_VERDICT_NAMES[verdict]);
    PrintLines("lines", decoding, "", true);
    // No names is an empty array, not one empty name.
    if (known == 0) {
        JsonOpen("cards", '[');
        JsonClose(']');
    } else {
        PrintLines("cards", names, "", true);
    }
}

namespace {

// The window's decoding of an ATR and the card's known names: an "atr"
// object, or lines after `indent`, the names last ("Not in the known-ATR
// lists." for none, as the window says). Returns the verdict.
AtrVerdict PrintAtrDecoding(const char* reader, const BYTE* atr, DWORD length, const char* indent, bool json)
{
    static char decoding[ATR_TEXT_SIZE];
    static char names[CARD_NAME_TEXT_SIZE];
    // The lists as read once for the process; `list --decode` names every card from the same read.
    static KnownAtrLists lists;
    AtrVerdict verdict = DescribeAtr(atr, length, decoding, sizeof decoding);
    int known = IdentifyCard(&lists, atr, length, names, sizeof names);
    if (json) {
        JsonBegin("atr");
        JsonString("reader", reader);
        JsonAtrFields(atr, length, verdict, decoding, known, names);
        JsonEnd();
        return verdict;
    }
    PrintLines(nullptr, decoding, indent, json);
    if (known == 0)
        printf("%sNot in the known-ATR lists.\n", indent);
    else
        PrintLines(nullptr, names, indent, json);
    EndOutput();
    return verdict;
}

void PrintReaderState(int index, const SCARD_READERSTATE& state, bool json)
{
    const BYTE* atr = state.cbAtr > 0 && state.cbAtr <= MAX_ATR_SIZE ? state.rgbAtr : nullptr;
    if (json) {
        JsonBegin("reader");
        JsonNumber("index", index);
        JsonString("reader", state.szReader);
        JsonStateNames(state.dwEventState);
        JsonBytes("atr", atr, state.cbAtr);
        JsonEnd();
        return;
    }
    ReportReader(standardOutput, index, state);
}

// Where an exchange of a script comes from: its file and line.
struct ScriptPlace {
    const char* file;
    int32_t line;  // 0 for an exchange outside a script
};

void PrintPlace(const ScriptPlace& place, bool json)
{
    if (place.line == 0)
        return;
    if (json)
        JsonNumber("line", place.line);
    else
        printf("%s:%d:\n", place.file, int(place.line));
}

// What to send and what its answers must end with.
struct Request {
    const BYTE* bytes;
    DWORD length;
    int32_t runs;  // 1 for one exchange, more for a loop
    bool expect;
    uint16_t sw;
    bool getResponse;  // a single exchange makes the follow-ups 61 xx and 6C xx ask for
};

// Where an exchange stands in its chain of follow-ups.
struct FollowUpStep {
    FollowUpKind came;  // what this exchange is: FOLLOW_UP_NONE for the request itself
    int32_t index;      // 0 for the request, then 1 to FOLLOW_UP_MAX
    uint16_t after;     // the status word that asked for it
    BYTE* next;         // APDU_BUFFER_SIZE bytes for the follow-up its answer asks for
    DWORD nextLength;
    FollowUpKind asks;  // what its answer asks for; NONE ends the chain
    bool cut;           // its answer asked for one more than FOLLOW_UP_MAX
};

// The loop's counts and distribution as the window's log shows them, or
// as JSON fields.
void PrintLoopSummary(const LoopRecord& record, bool json)
{
    LoopSummary summary;
    SummarizeLoop(record, &summary);
    if (!json) {
        ReportLoopStopped(standardOutput, record);
        ReportLoopSummary(standardOutput, summary);
        return;
    }
    JsonNumber("runs", record.runsPlanned);
    JsonNumber("runs_made", record.runsMade);
    JsonNumber("first_failure", record.firstFailure);
    JsonOpen("outcomes", '[');
    for (int32_t i = 0; i < summary.outcomeCount; ++i) {
        const LoopOutcomeCount& outcome = summary.outcomes[i];
        const BYTE sw[2] = {BYTE(outcome.code >> 8), BYTE(outcome.code)};
        JsonOpen(nullptr, '{');
        JsonStatus(outcome.answered ? SCARD_S_SUCCESS : LONG(outcome.code));
        JsonBytes("sw", outcome.answered && outcome.code != 0 ? sw : nullptr, 2);
        JsonNumber("runs", outcome.runs);
        JsonClose('}');
    }
    JsonClose(']');
    JsonNumber("other_runs", summary.otherRuns);
    JsonLoopTimes(summary);
}

// Says on stderr why an exchange did not go as expected: the first run that
// failed, its PC/SC status or its status word, after the script's place.
void ComplainOfExchange(const Request& request, const LoopRecord& record, const ScriptPlace& place)
{
    char prefix[PLACE_PREFIX_SIZE] = "";
    int used = 0;
    if (place.line != 0)
        used = snprintf(prefix, sizeof prefix, "%s:%d: ", place.file, int(place.line));
    int run = record.firstFailure - 1;
    if (run < 0 || run >= LOOP_COUNT_MAX)
        return;
    if (request.runs > 1 && used >= 0 && size_t(used) < sizeof prefix)
        snprintf(prefix + used, sizeof prefix - size_t(used), "run %d of %d: ", run + 1, int(request.runs));
    if (record.status[run] != SCARD_S_SUCCESS) {
        ComplainOfCall(nullptr, prefix, "SCardTransmit", record.status[run]);
        return;
    }
    uint16_t sw = record.sw[run];
    if (sw == 0 && !request.expect)
        Complain(EXIT_FAILED, "%san answer without a status word", prefix);
    else if (sw == 0)
        Complain(EXIT_FAILED, "%san answer without a status word, not the expected %02X %02X", prefix,
                 unsigned(request.sw >> 8), unsigned(request.sw & 0xFF));
    else
        Complain(EXIT_FAILED, "%sSW %02X %02X, not the expected %02X %02X", prefix, unsigned(sw >> 8),
                 unsigned(sw & 0xFF), unsigned(request.sw >> 8), unsigned(request.sw & 0xFF));
}

// The last exchange's runs, for its samples file.
LoopRecord exchangeRecord;

// Sends the request and prints the exchange (the last run's, for a loop,
// then the loop's counts and distribution), `step` saying which of a chain
// it is and receiving what its answer asks for; true when every run was
// made and went as expected, and its lines reached stdout.
bool SendAndPrint(const Session& session, const Request& request, const ScriptPlace& place, bool json,
                  FollowUpStep* step)
{
    static BYTE response[APDU_BUFFER_SIZE];
    LoopRecord& record = exchangeRecord;
    // A loop times one exchange a run and makes no follow-ups.
    bool chain = request.getResponse && request.runs == 1;
    // Every run is made, unless a signal stops the loop: the counts and the
    // distribution cover them all. In a chain the last answer is the one
    // checked, once it is known to be the last.
    TransmitOutcome outcome = TransmitLoop(session.card, session.protocol, request.bytes, request.length, request.runs,
                                           false, request.expect && !chain ? request.sw : NO_EXPECTED_SW, response,
                                           sizeof response, &stopRequested, LoopProgress {nullptr, nullptr}, &record);
    bool answered = outcome.status == SCARD_S_SUCCESS;
    DWORD answer = answered ? outcome.responseLength : 0;
    FollowUpKind asks = chain && answered
        ? NextFollowUp(request.bytes, request.length, response, answer, step->next, APDU_BUFFER_SIZE, &step->nextLength)
        : FOLLOW_UP_NONE;
    step->cut = asks != FOLLOW_UP_NONE && step->index == FOLLOW_UP_MAX;
    step->asks = step->cut || stopRequested.load(std::memory_order_relaxed) ? FOLLOW_UP_NONE : asks;
    bool checked = request.expect && step->asks == FOLLOW_UP_NONE;
    if (chain && checked && record.firstFailure == 0 && record.sw[0] != request.sw)
        record.firstFailure = 1;
    bool met = record.firstFailure == 0 && !record.stopped && !step->cut;
    const BYTE expected[2] = {BYTE(request.sw >> 8), BYTE(request.sw)};
    bool loop = request.runs > 1;
    if (json) {
        JsonBegin(loop ? "loop" : "exchange");
        JsonString("reader", session.reader);
        PrintPlace(place, json);
        if (step->index > 0)
            JsonString("follow_up", FollowUpName(step->came));
        JsonBytes("command", request.bytes, request.length);
        JsonBytes("response", answered ? response : nullptr, answer);
        JsonStatus(outcome.status);
        JsonStatusWord(response, answer);
        JsonElapsed(outcome.span, outcome.runsMade);
        JsonBytes("expected", checked ? expected : nullptr, 2);
        if (loop)
            PrintLoopSummary(record, json);
        JsonBool("ok", met);
        JsonEnd();
    } else {
        PrintPlace(place, json);
        if (step->index > 0)
            ReportFollowUp(standardOutput, step->index, step->came, step->after);
        ReportTransmitInput(standardOutput, request.bytes, request.length, DUMP_HEX);
        ReportTransmitOutput(standardOutput, outcome.status, response, answer, DUMP_HEX);
        ReportStatus(standardOutput, "Status: ", outcome.status);
        if (answered)
            ReportResponseStatus(standardOutput, "SW: ", response, answer);
        ReportElapsed(standardOutput, outcome.span, QueryPerformanceFrequency() / 1000, outcome.runsMade);
        if (loop)
            PrintLoopSummary(record, json);
        if (checked)
            printf("Expected SW %02X %02X: %s\n", expected[0], expected[1],
                   record.firstFailure != 0 ? "not met"
                       : record.stopped     ? "met by every run made"
                       : loop               ? "met by every run"
                                            : "met");
        if (step->cut)
            ReportFollowUpsCut(standardOutput);
        EndOutput();
    }
    if (step->cut && place.line != 0)
        Complain(EXIT_FAILED, "%s:%d: follow-ups ended after %d: the card still asks for another", place.file,
                 int(place.line), int(FOLLOW_UP_MAX));
    else if (step->cut)
        Complain(EXIT_FAILED, "follow-ups ended after %d: the card still asks for another", int(FOLLOW_UP_MAX));
    else if (!met && !record.stopped)
        ComplainOfExchange(Request {request.bytes, request.length, request.runs, checked, request.sw, false}, record,
                           place);
    if (answer >= 2)
        step->after = uint16_t(response[answer - 2] << 8 | response[answer - 1]);
    return met && OutputError() == 0;
}

// Sends the request and, with request.getResponse, each follow-up its
// answers ask for, each printed as its own exchange; true when all went as
// expected (the last answer is the one --expect checks).
bool RunExchange(const Session& session, const Request& request, const ScriptPlace& place, bool json)
{
    // The follow-up is built from the exchange before it: two buffers in turn.
    static BYTE followUps[2][APDU_BUFFER_SIZE];
    Request current = request;
    FollowUpStep step {FOLLOW_UP_NONE, 0, 0, followUps[0], 0, FOLLOW_UP_NONE, false};
    for (;;) {
        bool met = SendAndPrint(session, current, place, json, &step);
        if (!met || step.asks == FOLLOW_UP_NONE)
            return met;
        current.bytes = step.next;
        current.length = step.nextLength;
        step.came = step.asks;
        ++step.index;
        step.next = followUps[step.index % 2];
    }
}

// A failed call of a script's step (or of the reset command) on stderr,
// after the script's place.
void ComplainOfStep(const ScriptPlace& place, const char* call, LONG status)
{
    if (status == SCARD_S_SUCCESS)
        return;
    char prefix[PLACE_PREFIX_SIZE] = "";
    if (place.line != 0)
        snprintf(prefix, sizeof prefix, "%s:%d: ", place.file, int(place.line));
    ComplainOfCall(nullptr, prefix, call, status);
}

// Resets the card warm or cold with the session's options, prints its new
// ATR and whether it changed, and keeps that ATR for the next comparison.
bool RunReset(Session* session, ResetKind kind, const ScriptPlace& place, bool json)
{
    static ResetResult result;
    ResetCard(session->card, session->options, kind, session->atr, session->atrLength, &result);
    bool reset = result.status == SCARD_S_SUCCESS;
    if (reset) {
        session->protocol = result.protocol;
        memcpy(session->atr, result.atr, result.atrLength);
        session->atrLength = result.atrLength;
    }
    if (json) {
        JsonBegin("reset");
        JsonString("reader", session->reader);
        PrintPlace(place, json);
        JsonString("reset", ResetKindName(kind));
        JsonString("protocol", reset ? ActiveProtocolName(result.protocol) : nullptr);
        JsonBytes("atr", reset ? result.atr : nullptr, result.atrLength);
        JsonBool("atr_changed", result.atrChanged);
        JsonStatus(result.status);
        JsonElapsed(result.span, 1);
        JsonBool("ok", reset);
        JsonEnd();
        ComplainOfStep(place, "SCardReconnect", result.status);
        return reset && OutputError() == 0;
    }
    PrintPlace(place, json);
    ReportReset(standardOutput, result);
    ReportStatus(standardOutput, "Status: ", result.status);
    ReportElapsed(standardOutput, result.span, QueryPerformanceFrequency() / 1000, 1);
    EndOutput();
    ComplainOfStep(place, "SCardReconnect", result.status);
    return reset && OutputError() == 0;
}

// A script's begin or end transaction, printed as a reset is.
bool RunTransactionStep(const Session& session, bool begin, const ScriptPlace& place, bool json)
{
    Span span;
    LONG status = TimedCall(&span, [&] {
        return begin ? pcsc.BeginTransaction(session.card) : pcsc.EndTransaction(session.card, SCARD_LEAVE_CARD);
    });
    const char* call = begin ? "SCardBeginTransaction" : "SCardEndTransaction";
    bool done = status == SCARD_S_SUCCESS;
    if (json) {
        JsonBegin("transaction");
        JsonString("reader", session.reader);
        PrintPlace(place, json);
        JsonString("transaction", begin ? "begin" : "end");
        JsonStatus(status);
        JsonElapsed(span, 1);
        JsonBool("ok", done);
        JsonEnd();
    } else {
        PrintPlace(place, json);
        ReportCallVerdict(standardOutput, call, status);
        ReportStatus(standardOutput, "Status: ", status);
        ReportElapsed(standardOutput, span, QueryPerformanceFrequency() / 1000, 1);
        EndOutput();
    }
    ComplainOfStep(place, call, status);
    return done && OutputError() == 0;
}

// The positional arguments from `first` on, joined with blanks, as far as
// `text` holds them: what a refusal quotes.
void QuoteArguments(const CliArguments& args, int first, char (&text)[QUOTED_TEXT_SIZE])
{
    size_t used = 0;
    text[0] = '\0';
    for (int i = first; i < args.count && used < sizeof text - 1; ++i) {
        int written = snprintf(text + used, sizeof text - used, "%s%s", i > first ? " " : "", args.positional[i]);
        used = written < 0 ? sizeof text - 1 : std::min(sizeof text - 1, used + size_t(written));
    }
}

// Reads hex bytes from the positional arguments from `first` on, as one
// text with blanks between them; false, said on stderr, for text that is
// not hex or holds more than `capacity` bytes (the `what` of the message).
// Each argument is read on its own, so that the text has no limit of its
// own.
bool ParseHexArguments(const char* command, const char* what, const CliArguments& args, int first, BYTE* dest,
                       uint32_t capacity, uint32_t* count)
{
    *count = 0;
    HexFailure failure = HEX_OK;
    for (int i = first; i < args.count && failure == HEX_OK; ++i) {
        uint32_t added;
        failure = ParseHexStrict(args.positional[i], dest + *count, capacity - *count, &added);
        // An argument of blanks alone adds nothing; the whole needs a byte.
        if (failure == HEX_NO_BYTES)
            failure = HEX_OK;
        *count += added;
    }
    if (failure == HEX_OK && *count == 0)
        failure = HEX_NO_BYTES;
    if (failure == HEX_TOO_LONG) {
        Complain(EXIT_USAGE, "%s: %s is longer than %u bytes", command, what, unsigned(capacity));
        return false;
    }
    if (failure != HEX_OK) {
        char quoted[QUOTED_TEXT_SIZE];
        QuoteArguments(args, first, quoted);
        Complain(EXIT_USAGE, "%s: \"%s\": %s", command, quoted, HexFailureText(failure));
        return false;
    }
    return true;
}

bool ParseNumber(const char* text, uint32_t maximum, uint32_t* value)
{
    char* end;
    errno = 0;
    unsigned long long number = strtoull(text, &end, 0);
    if (end == text || *end != '\0' || errno != 0 || *text == '-' || number > maximum)
        return false;
    *value = uint32_t(number);
    return true;
}

// The watcher's thread only wakes the main thread, which prints.
void WakeMonitor(void* context, [[maybe_unused]] const CardEvent& event)
{
    uint64_t one = 1;
    if (write(*static_cast<int*>(context), &one, sizeof one) < 0)
        return;
}

// Room for "2026-12-09T04:30:01.123+05:30".
constexpr size_t WALL_TIME_SIZE = 40;

// When the watch started, by the counter the events carry and by the
// wall clock: an event's local time is the start's and the ticks since, so
// that a clock set while the watch runs moves no event out of order.
struct MonitorStart {
    int64_t ticks;
    int64_t wallMs;  // since the epoch
};

MonitorStart StartMonitorClock()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return MonitorStart {QueryPerformanceCounter(), int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000};
}

// `wallMs` as ISO 8601 local time with milliseconds and the zone's offset.
void FormatWallTime(char (&text)[WALL_TIME_SIZE], int64_t wallMs)
{
    time_t seconds = time_t(wallMs / 1000);
    tm local {};
    if (localtime_r(&seconds, &local) == nullptr || strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) {
        snprintf(text, sizeof text, "?");
        return;
    }
    long offset = local.tm_gmtoff / 60;
    size_t used = strlen(text);
    snprintf(text + used, sizeof text - used, ".%03d%c%02ld:%02ld", int(wallMs % 1000), offset < 0 ? '-' : '+',
             labs(offset) / 60, labs(offset) % 60);
}

void PrintCardEvent(const CardEvent& event, const MonitorStart& start, bool json)
{
    double ms = TicksToMs(event.ticks - start.ticks, QueryPerformanceFrequency() / 1000);
    double seconds = ms / 1000;
    char time[WALL_TIME_SIZE];
    FormatWallTime(time, start.wallMs + int64_t(floor(ms)));
    const BYTE* atr = event.atrLength > 0 ? event.atr : nullptr;
    if (json) {
        JsonBegin("event");
        JsonNumber("sequence", int64_t(event.sequence));
        JsonDecimal("time_s", seconds);
        JsonString("time", time);
        JsonString("event", CardEventName(event.kind));
        JsonString("reader", event.reader);
        JsonStateNames(event.readerState);
        JsonBytes("atr", atr, event.atrLength);
        JsonBool("inferred", event.inferred);
        JsonStatus(event.status);
        JsonEnd();
        return;
    }
    // A failed watch is no event of a reader: the caller says it on stderr.
    if (event.kind == CARD_EVENT_WATCH_FAILED)
        return;
    ReportCardEvent(standardOutput, time, event);
    EndOutput();
}

// A control code as hex digits, as the JSON gives every code.
void JsonControlCode(const char* name, DWORD code)
{
    char text[sizeof "0x00000000"];
    snprintf(text, sizeof text, "0x%08X", unsigned(uint32_t(code)));
    JsonString(name, text);
}

// The record's fields, with the first `count` bytes of its data.
void JsonVendorRecord(const VendorIoRecord& record, uint32_t count)
{
    JsonNumber("cmd", record.cmd);
    JsonNumber("pa", record.pa);
    JsonNumber("pb", record.pb);
    JsonNumber("pc", record.pc);
    JsonNumber("le", record.le);
    JsonBytes("data", record.data, count);
}

// Routes SIGINT and SIGTERM to `handler`: RequestStop, or SIG_DFL again.
// A signal ignored when the program started (a background job's SIGINT)
// stays ignored.
void CatchStopSignals(void (*handler)(int))
{
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction action { };
        sigaction(signal, nullptr, &action);
        if (action.sa_handler == SIG_IGN)
            continue;
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        // The PC/SC call under way goes on; the loop looks at the flag between runs.
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
}

void RequestStop(int signal)
{
    stopSignal = signal;
    stopRequested.store(true, std::memory_order_relaxed);
}

}  // namespace

int Complain(int exitStatus, const char* format, ...)
{
    FlushOutput();
    fprintf(stderr, "%s: ", PROGRAM_NAME);
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    return exitStatus;
}

int RunList(const CliArguments& args)
{
    SCARDCONTEXT context;
    LONG status = pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
    if (status != SCARD_S_SUCCESS)
        return ComplainOfCall(&args, "", "SCardEstablishContext", status);
    static ReaderStates readers;
    status = ReadReaderStates(context, &readers);
    pcsc.ReleaseContext(context);
    if (status != SCARD_S_SUCCESS)
        return ComplainOfCall(&args, "", "SCardListReaders", status);
    for (int i = 0; i < readers.count; ++i) {
        const SCARD_READERSTATE& state = readers.states[i];
        PrintReaderState(i, state, args.json);
        if (args.decode && state.cbAtr > 0 && state.cbAtr <= MAX_ATR_SIZE)
            PrintAtrDecoding(state.szReader, state.rgbAtr, state.cbAtr, "    ", args.json);
    }
    EndOutput();
    return EXIT_AS_EXPECTED;
}

namespace {

// The most attributes one --id names.
constexpr int ATTRIBUTE_IDS_MAX = 64;

struct AttributeList {
    AttributeRow rows[ATTRIBUTE_IDS_MAX];
    char labels[ATTRIBUTE_IDS_MAX][sizeof "0x00000000"];
    int count;
};

// The attributes --id names, each labelled by its SCARD_ATTR_ name (its
// code for one without) and shown as bytes; false, said on stderr, for a
// text that is none.
bool ReadAttributeIds(const char* text, AttributeList* list)
{
    list->count = 0;
    static char copy[ATTRIBUTE_IDS_MAX * 40];
    if (strlen(text) >= sizeof copy) {
        Complain(EXIT_USAGE, "attributes: --id names at most %d attributes", ATTRIBUTE_IDS_MAX);
        return false;
    }
    snprintf(copy, sizeof copy, "%s", text);
    char* rest = copy;
    for (char* item = strsep(&rest, ","); item != nullptr; item = strsep(&rest, ",")) {
        DWORD id;
        if (!ParseAttributeId(item, &id)) {
            Complain(EXIT_USAGE, "attributes: --id: \"%s\" is no attribute code (0x00010100) or SCARD_ATTR_ name",
                     item);
            return false;
        }
        if (list->count == ATTRIBUTE_IDS_MAX) {
            Complain(EXIT_USAGE, "attributes: --id names at most %d attributes", ATTRIBUTE_IDS_MAX);
            return false;
        }
        const AttributeName* named = FindAttributeName(id);
        char* label = list->labels[list->count];
        snprintf(label, sizeof list->labels[0], "0x%08X", unsigned(id));
        list->rows[list->count++] = AttributeRow {named != nullptr ? named->name : label, id, ATTRIBUTE_BYTES_HEX};
    }
    return true;
}

}  // namespace

int RunAttributes(const CliArguments& args)
{
    static AttributeList named;
    if (args.attributeIds != nullptr && !ReadAttributeIds(args.attributeIds, &named))
        return EXIT_USAGE;
    const AttributeRow* rows = args.attributeIds != nullptr ? named.rows : ATTRIBUTES;
    int count = args.attributeIds != nullptr ? named.count : ATTRIBUTE_COUNT;
    Session session;
    int result = OpenSession(args, &session, true);
    // Every attribute is read and printed, also after a failed read.
    bool connected = result == EXIT_AS_EXPECTED;
    int failed = 0;
    for (int i = 0; connected && i < count; ++i) {
        const AttributeRow& row = rows[i];
        BYTE value[ATTRIBUTE_AREA_SIZE];
        DWORD length;
        LONG status = ReadAttribute(session.card, row, value, &length);
        bool read = status == SCARD_S_SUCCESS;
        char line[ATTRIBUTE_LINE_SIZE];
        char decoded[ATTRIBUTE_DECODED_SIZE];
        bool decodes = read && DecodeAttribute(row.id, value, length, decoded, sizeof decoded);
        if (args.json) {
            JsonBegin("attribute");
            JsonString("reader", session.reader);
            JsonString("attribute", row.label);
            // Hex, as every other code the JSON holds.
            char id[sizeof "0x00000000"];
            snprintf(id, sizeof id, "0x%08X", unsigned(row.id));
            JsonString("id", id);
            JsonStatus(status);
            JsonBytes("bytes", read ? value : nullptr, length);
            FormatAttributeValue(line, sizeof line, row, status, value, length);
            JsonString("value", read ? line : nullptr);
            JsonString("decoded", decodes ? decoded : nullptr);
            JsonEnd();
        } else {
            FormatAttributeLine(line, sizeof line, row, status, value, length);
            // The window's line, then what it means.
            size_t used = strlen(line);
            if (decodes)
                snprintf(line + used, sizeof line - used, " (%s)", decoded);
            PrintText(line);
        }
        if (status != SCARD_S_SUCCESS)
            ++failed;
    }
    EndOutput();
    result = CloseSession(args, &session, result);
    if (failed > 0)
        return Complain(EXIT_FAILED, "attributes: %d of %d could not be read", failed, count);
    return result;
}

int RunSend(const CliArguments& args)
{
    static BYTE command[APDU_BUFFER_SIZE];
    uint32_t length;
    if (!ParseHexArguments("send", "the APDU", args, 0, command, sizeof command, &length))
        return EXIT_USAGE;
    // From here a signal stops the loop and what it measured is printed.
    CatchStopSignals(RequestStop);
    Session session;
    int result = OpenSession(args, &session, false);
    if (result == EXIT_AS_EXPECTED) {
        Request request {command,     length,          args.loop > 0 ? args.loop : 1,
                         args.expect, args.expectedSw, args.getResponse};
        if (!RunExchange(session, request, ScriptPlace {}, args.json))
            result = EXIT_FAILED;
        // Every run made, also of a loop a signal stopped.
        int error = args.samples != nullptr ? WriteSamplesCsv(args.samples, exchangeRecord.ticks, exchangeRecord.status,
                                                              exchangeRecord.sw, exchangeRecord.runsMade)
                                            : 0;
        if (error != 0)
            result = Complain(EXIT_FAILED, "send: %s: %s", args.samples, strerror(error));
    }
    result = CloseSession(args, &session, result);
    CatchStopSignals(SIG_DFL);
    return stopSignal != 0 ? EXIT_SIGNAL_BASE + stopSignal : result;
}

namespace {

// What the steps of a script go over: the session, the file their places
// name, the output's form.
struct ScriptReplay {
    Session* session;
    const char* path;
    bool json;
    bool getResponse;
};

// The runner's call for each APDU, reset and transaction step: sent and
// printed as `send` and `reset` print them, after the step's place.
bool PerformScriptStep(void* context, const ScriptStep& step, const uint8_t* apdu)
{
    const ScriptReplay* replay = static_cast<const ScriptReplay*>(context);
    ScriptPlace place {replay->path, step.line};
    if (step.kind == STEP_RESET || step.kind == STEP_COLD_RESET)
        return RunReset(replay->session, step.kind == STEP_COLD_RESET ? RESET_COLD : RESET_WARM, place, replay->json);
    if (step.kind == STEP_BEGIN_TRANSACTION || step.kind == STEP_END_TRANSACTION)
        return RunTransactionStep(*replay->session, step.kind == STEP_BEGIN_TRANSACTION, place, replay->json);
    return RunExchange(*replay->session, Request {apdu, step.length, 1, step.expect, step.sw, replay->getResponse},
                       place, replay->json);
}

}  // namespace

namespace {

// A storage command's name on the command line and the arguments it takes
// after its name.
struct StorageCommandName {
    const char* name;
    StorageCommand command;
    int minimum, maximum;  // ANY_ARGUMENTS: hex over as many as given
    const char* usage;
};

constexpr int ANY_ARGUMENTS = INT_MAX;

const StorageCommandName STORAGE_NAMES[] = {
    {"getuid", STORAGE_GET_UID, 0, 0, "getuid"},
    {"read", STORAGE_READ_BINARY, 1, 2, "read BLOCK [LE]"},
    {"update", STORAGE_UPDATE_BINARY, 2, ANY_ARGUMENTS, "update BLOCK HEX..."},
    {"loadkeys", STORAGE_LOAD_KEYS, 2, ANY_ARGUMENTS, "loadkeys SLOT KEY..."},
    {"authenticate", STORAGE_AUTHENTICATE, 3, 3, "authenticate BLOCK A|B SLOT"},
};

// The window's Length field: a request holds at most 255 bytes of data.
constexpr uint32_t STORAGE_DATA_MAX = 255;
// The window's default Length of Read.
constexpr uint32_t READ_LENGTH_DEFAULT = 16;
bool RefuseNumber(const char* what, const char* text, uint32_t maximum)
{
    Complain(EXIT_USAGE, "storage: %s \"%s\" is no number from 0 to %u", what, text, unsigned(maximum));
    return false;
}

// The fields and data of a storage command's arguments (after its name);
// false, said on stderr, for a value out of range.
bool ReadStorageArguments(const StorageCommandName& named, const CliArguments& args, StorageFields* fields,
                          BYTE (&data)[STORAGE_DATA_MAX], uint32_t* count)
{
    *fields = StorageFields {};
    *count = 0;
    const char* const* given = args.positional + 1;
    uint32_t value;
    switch (named.command) {
    case STORAGE_GET_UID:
        return true;
    case STORAGE_LOAD_KEYS:
        if (!ParseNumber(given[0], 255, &value))
            return RefuseNumber("SLOT", given[0], 255);
        fields->p2 = uint8_t(value);
        if (!ParseHexArguments("storage", "KEY", args, 2, data, sizeof data, count))
            return false;
        fields->length = uint8_t(*count);
        return true;
    default:
        break;
    }
    if (!ParseNumber(given[0], 0xFFFF, &value))
        return RefuseNumber("BLOCK", given[0], 65535);
    fields->p1 = uint8_t(value >> 8);
    fields->p2 = uint8_t(value);
    if (named.command == STORAGE_READ_BINARY) {
        value = READ_LENGTH_DEFAULT;
        if (args.count > 2 && !ParseNumber(given[1], 255, &value))
            return RefuseNumber("LE", given[1], 255);
        fields->length = uint8_t(value);
        return true;
    }
    if (named.command == STORAGE_UPDATE_BINARY) {
        if (!ParseHexArguments("storage", "the data", args, 2, data, sizeof data, count))
            return false;
        fields->length = uint8_t(*count);
        return true;
    }
    // Authenticate.
    if (strcasecmp(given[1], "A") != 0 && strcasecmp(given[1], "B") != 0) {
        Complain(EXIT_USAGE, "storage: the key type \"%s\" is neither A nor B", given[1]);
        return false;
    }
    fields->p3 = toupper(static_cast<unsigned char>(given[1][0])) == 'A' ? KEY_TYPE_A : KEY_TYPE_B;
    if (!ParseNumber(given[2], 255, &value))
        return RefuseNumber("SLOT", given[2], 255);
    data[0] = uint8_t(value);
    *count = 1;
    return true;
}

}  // namespace

int RunStorage(const CliArguments& args)
{
    const StorageCommandName* named = nullptr;
    for (const StorageCommandName& row : STORAGE_NAMES)
        if (strcmp(args.positional[0], row.name) == 0)
            named = &row;
    if (named == nullptr)
        return Complain(EXIT_USAGE, "storage: unknown command \"%s\" (getuid, read, update, loadkeys, authenticate)",
                        args.positional[0]);
    int given = args.count - 1;
    if (given < named->minimum || given > named->maximum)
        return Complain(EXIT_USAGE, "storage: usage: %s storage %s", PROGRAM_NAME, named->usage);
    StorageFields fields;
    static BYTE data[STORAGE_DATA_MAX];
    uint32_t count;
    if (!ReadStorageArguments(*named, args, &fields, data, &count))
        return EXIT_USAGE;
    StorageDialect dialect {args.storageClass, args.generalAuthenticate ? STORAGE_AUTH_GENERAL : STORAGE_AUTH_LEGACY};
    static BYTE command[APDU_HEADER_SIZE + STORAGE_DATA_MAX];
    uint32_t length = BuildStorageApdu(named->command, dialect, fields, data, count, command, sizeof command);

    CatchStopSignals(RequestStop);
    Session session;
    int result = OpenSession(args, &session, false);
    if (result == EXIT_AS_EXPECTED) {
        Request request {command,     length,          args.loop > 0 ? args.loop : 1,
                         args.expect, args.expectedSw, args.getResponse};
        if (!RunExchange(session, request, ScriptPlace {}, args.json))
            result = EXIT_FAILED;
    }
    result = CloseSession(args, &session, result);
    CatchStopSignals(SIG_DFL);
    return stopSignal != 0 ? EXIT_SIGNAL_BASE + stopSignal : result;
}

int RunScript(const CliArguments& args)
{
    const char* path = args.positional[0];
    static ApduScript script;
    ScriptFailure failure;
    // "-" is standard input, whatever it is: the user's own choice, where a
    // FIFO given by name is refused.
    bool loaded = strcmp(path, "-") == 0 ? ReadApduScript(STDIN_FILENO, &script, &failure)
                                         : LoadApduScript(path, &script, &failure);
    if (!loaded) {
        fflush(stdout);
        if (failure.line > 0)
            fprintf(stderr, "%s:%d: %s\n", path, int(failure.line), failure.reason);
        else
            fprintf(stderr, "%s: %s\n", path, failure.reason);
        return EXIT_USAGE;
    }
    Session session;
    int result = OpenSession(args, &session, false);
    if (result == EXIT_AS_EXPECTED) {
        ScriptReplay replay {&session, path, args.json, args.getResponse};
        ScriptRunEnd end = RunApduScript(script, ScriptCalls {PerformScriptStep, &replay});
        if (end == SCRIPT_RUN_MALFORMED)
            result = Complain(EXIT_USAGE, "run: %s: the script as read cannot be replayed", path);
        else if (end == SCRIPT_RUN_STOPPED)
            result = EXIT_FAILED;
    }
    return CloseSession(args, &session, result);
}

int RunVendor(const CliArguments& args)
{
    uint32_t code, pa, pb;
    if (!ParseNumber(args.positional[0], 255, &code))
        return Complain(EXIT_USAGE, "vendor: CMD \"%s\" is no number from 0 to 255", args.positional[0]);
    if (!ParseNumber(args.positional[1], UINT32_MAX, &pa) || !ParseNumber(args.positional[2], UINT32_MAX, &pb))
        return Complain(EXIT_USAGE, "vendor: P1 and P2 are numbers from 0 to 4294967295");
    // The record's last data byte is never sent.
    BYTE data[VENDOR_DATA_SIZE - 1];
    uint32_t count = 0;
    if (args.count > 3 && !ParseHexArguments("vendor", "DATA", args, 3, data, sizeof data, &count))
        return EXIT_USAGE;

    static VendorIoRecord request, reply;
    request = VendorIoRecord {};
    reply = VendorIoRecord {};
    // A command the reader knows fills in its own Le, as the window's menu does.
    const VendorCommand* known = FindVendorCommand(uint8_t(code));
    if (known != nullptr)
        ApplyVendorCommand(*known, &request);
    request.cmd = uint8_t(code);
    uint8_t le = count > 0 ? VendorLength(count) : request.le;
    FillVendorRequest(&request, pa, pb, 0, le, data, count);

    Session session;
    int result = OpenSession(args, &session, true);
    if (result != EXIT_AS_EXPECTED)
        return CloseSession(args, &session, result);
    // The escape's code is asked of the reader first; without one nothing is sent.
    DWORD controlCode;
    bool missing;
    LONG status = ResolveVendorCode(session.card, args.vendorTarget, &controlCode, &missing);
    if (status != SCARD_S_SUCCESS) {
        CloseSession(args, &session, EXIT_FAILED);
        if (missing)
            return Complain(EXIT_FAILED, "vendor: the reader offers no FEATURE_CCID_ESC_COMMAND");
        return ComplainOfCall(&args, "", "SCardControl", status);
    }
    Span span;
    DWORD returned = 0;
    status =
        TimedCall(&span, [&] { return ExchangeVendorRecords(session.card, controlCode, &request, &reply, &returned); });
    bool done = status == SCARD_S_SUCCESS;
    if (args.json) {
        JsonBegin("vendor");
        JsonString("reader", session.reader);
        JsonControlCode("code", controlCode);
        JsonVendorRecord(request, count);
        JsonStatus(status);
        JsonElapsed(span, 1);
        if (done && returned == VENDOR_RECORD_SIZE) {
            JsonOpen("reply", '{');
            JsonVendorRecord(reply, reply.le < VENDOR_DATA_SIZE ? reply.le : VENDOR_DATA_SIZE);
            JsonClose('}');
        } else {
            JsonString("reply", nullptr);
        }
        JsonBool("ok", done);
        JsonEnd();
    } else {
        if (args.vendorTarget.destination != VENDOR_TO_FIXED_CODE)
            ReportControlCode(standardOutput, controlCode);
        ReportControlInput(standardOutput, request);
        ReportControlOutput(standardOutput, status, reply, int32_t(returned));
        ReportStatus(standardOutput, "Status: ", status);
        ReportElapsed(standardOutput, span, QueryPerformanceFrequency() / 1000, 1);
        EndOutput();
    }
    if (!done) {
        CloseSession(args, &session, EXIT_FAILED);
        return ComplainOfCall(nullptr, "", "SCardControl", status);
    }
    return CloseSession(args, &session, EXIT_AS_EXPECTED);
}

int RunControl(const CliArguments& args)
{
    DWORD code;
    ControlCodeFailure failure = ParseControlCode(args.positional[0], &code);
    if (failure != CONTROL_CODE_OK)
        return Complain(EXIT_USAGE, "control: \"%s\": %s", args.positional[0], ControlCodeFailureText(failure));
    // No bytes, or arguments of blanks alone, is an empty request.
    bool blank = true;
    for (int i = 1; i < args.count; ++i)
        blank = blank && args.positional[i][strspn(args.positional[i], " \t")] == '\0';
    static BYTE request[MAX_BUFFER_SIZE_EXTENDED];
    static BYTE reply[MAX_BUFFER_SIZE_EXTENDED];
    uint32_t length = 0;
    if (!blank && !ParseHexArguments("control", "the request", args, 1, request, sizeof request, &length))
        return EXIT_USAGE;

    Session session;
    int result = OpenSession(args, &session, true);
    if (result != EXIT_AS_EXPECTED)
        return CloseSession(args, &session, result);
    ControlOutcome outcome = SendControl(session.card, code, request, length, reply, sizeof reply);
    bool done = outcome.status == SCARD_S_SUCCESS;
    if (args.json) {
        JsonBegin("control");
        JsonString("reader", session.reader);
        JsonControlCode("code", code);
        JsonBytes("request", request, length);
        JsonBytes("reply", done ? reply : nullptr, outcome.returned);
        JsonStatus(outcome.status);
        JsonElapsed(outcome.span, 1);
        JsonBool("ok", done);
        JsonEnd();
    } else {
        ReportControlExchange(standardOutput, code, request, length, outcome, reply,
                              QueryPerformanceFrequency() / 1000);
        EndOutput();
    }
    if (!done) {
        CloseSession(args, &session, EXIT_FAILED);
        return ComplainOfCall(nullptr, "", "SCardControl", outcome.status);
    }
    return CloseSession(args, &session, EXIT_AS_EXPECTED);
}

namespace {

// "stop": null for a whole list, else where and why it stopped.
void JsonTlvStop(TlvStop stop, uint32_t offset)
{
    if (stop == TLV_WHOLE) {
        JsonString("stop", nullptr);
        return;
    }
    JsonOpen("stop", '{');
    JsonNumber("offset", offset);
    JsonString("reason", TlvStopName(stop));
    JsonClose('}');
}

}  // namespace

void JsonFeatureFields(const FeatureDiscovery& found)
{
    const FeatureList& list = found.featureList;
    DWORD escape = 0;
    bool offered = FindFeature(list, FEATURE_CCID_ESC_COMMAND, &escape);
    bool done = found.features.status == SCARD_S_SUCCESS;
    JsonControlCode("code", CM_IOCTL_GET_FEATURE_REQUEST);
    JsonStatus(found.features.status);
    JsonElapsed(found.features.span, 1);
    JsonBytes("reply", done ? found.featureReply : nullptr, found.features.returned);
    JsonOpen("features", '[');
    for (int32_t i = 0; i < list.count; ++i) {
        JsonOpen(nullptr, '{');
        JsonNumber("tag", list.entries[i].tag);
        JsonString("name", FeatureName(list.entries[i].tag));
        JsonControlCode("code", list.entries[i].code);
        JsonClose('}');
    }
    JsonClose(']');
    JsonTlvStop(list.stop, list.stopOffset);
    if (offered)
        JsonControlCode("escape", escape);
    else
        JsonString("escape", nullptr);
    JsonBool("ok", done && list.stop == TLV_WHOLE);
}

bool JsonPropertyFields(const FeatureDiscovery& found)
{
    const PropertyList& list = found.propertyList;
    bool done = found.properties.status == SCARD_S_SUCCESS;
    DWORD code = 0;
    FindFeature(found.featureList, FEATURE_GET_TLV_PROPERTIES, &code);
    JsonControlCode("code", code);
    JsonStatus(found.properties.status);
    JsonElapsed(found.properties.span, 1);
    JsonBytes("reply", done ? found.propertyReply : nullptr, found.properties.returned);
    JsonOpen("properties", '[');
    for (int32_t i = 0; i < list.count; ++i) {
        const PropertyEntry& entry = list.entries[i];
        JsonOpen(nullptr, '{');
        JsonNumber("tag", entry.tag);
        JsonString("name", PropertyName(entry.tag));
        PropertyKind kind = PropertyKindOf(entry.tag);
        if (kind == PROPERTY_NUMBER) {
            JsonNumber("value", entry.number);
        } else if (kind == PROPERTY_STRING) {
            // The string's bytes as they came: the JSON writer keeps any bytes valid.
            char text[PROPERTY_VALUE_MAX + 1];
            memcpy(text, entry.bytes, entry.length);
            text[entry.length] = '\0';
            JsonString("value", text);
        } else {
            JsonString("value", nullptr);
        }
        JsonBytes("bytes", entry.bytes, entry.length);
        JsonClose('}');
    }
    JsonClose(']');
    JsonTlvStop(list.stop, list.stopOffset);
    JsonBool("ok", done && list.stop == TLV_WHOLE);
    return done && list.stop == TLV_WHOLE;
}

namespace {

// The feature list as a "features" object or as lines.
void PrintFeatureList(const Session& session, const FeatureDiscovery& found, bool json)
{
    const FeatureList& list = found.featureList;
    if (json) {
        JsonBegin("features");
        JsonString("reader", session.reader);
        JsonFeatureFields(found);
        JsonEnd();
        return;
    }
    ReportControlExchange(standardOutput, CM_IOCTL_GET_FEATURE_REQUEST, nullptr, 0, found.features, found.featureReply,
                          QueryPerformanceFrequency() / 1000);
    for (int32_t i = 0; i < list.count; ++i)
        ReportFeature(standardOutput, list.entries[i]);
    ReportTlvStop(standardOutput, "feature list", list.stop, list.stopOffset);
    EndOutput();
}

// The properties as a "properties" object or as lines; true when the
// request succeeded and the list is whole.
bool PrintPropertyList(const Session& session, const FeatureDiscovery& found, bool json)
{
    const PropertyList& list = found.propertyList;
    if (json) {
        JsonBegin("properties");
        JsonString("reader", session.reader);
        bool whole = JsonPropertyFields(found);
        JsonEnd();
        return whole;
    }
    DWORD code = 0;
    FindFeature(found.featureList, FEATURE_GET_TLV_PROPERTIES, &code);
    ReportControlExchange(standardOutput, code, nullptr, 0, found.properties, found.propertyReply,
                          QueryPerformanceFrequency() / 1000);
    for (int32_t i = 0; i < list.count; ++i)
        ReportProperty(standardOutput, list.entries[i]);
    ReportTlvStop(standardOutput, "property list", list.stop, list.stopOffset);
    EndOutput();
    return found.properties.status == SCARD_S_SUCCESS && list.stop == TLV_WHOLE;
}

}  // namespace

int RunFeatures(const CliArguments& args)
{
    Session session;
    int result = OpenSession(args, &session, true);
    if (result != EXIT_AS_EXPECTED)
        return CloseSession(args, &session, result);
    static FeatureDiscovery found;
    DiscoverFeatures(session.card, &found);
    PrintFeatureList(session, found, args.json);
    bool properties = !found.propertiesOffered || PrintPropertyList(session, found, args.json);
    int closed =
        CloseSession(args, &session, found.features.status == SCARD_S_SUCCESS ? EXIT_AS_EXPECTED : EXIT_FAILED);
    if (found.features.status != SCARD_S_SUCCESS)
        return ComplainOfCall(nullptr, "", "SCardControl", found.features.status);
    DWORD escape = 0;
    bool offered = FindFeature(found.featureList, FEATURE_CCID_ESC_COMMAND, &escape);
    if (!args.json) {
        ReportEscapeCode(standardOutput, offered, escape);
        EndOutput();
    }
    if (found.featureList.stop != TLV_WHOLE)
        return Complain(EXIT_FAILED, "features: the feature list stops at byte %u (%s)",
                        unsigned(found.featureList.stopOffset), TlvStopName(found.featureList.stop));
    if (found.propertiesOffered && found.properties.status != SCARD_S_SUCCESS)
        return ComplainOfCall(nullptr, "", "SCardControl", found.properties.status);
    if (!properties)
        return Complain(EXIT_FAILED, "features: the property list stops at byte %u (%s)",
                        unsigned(found.propertyList.stopOffset), TlvStopName(found.propertyList.stop));
    if (closed != EXIT_AS_EXPECTED)
        return closed;
    return OutputError() == 0 ? EXIT_AS_EXPECTED : EXIT_FAILED;
}

int RunMonitor(const CliArguments& args)
{
    // The signals that end the watch wait for the main thread; the watcher's
    // thread, started after this, inherits the mask.
    sigset_t ending;
    sigemptyset(&ending);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&ending, signal);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    int signals = signalfd(-1, &ending, SFD_CLOEXEC);
    int wakeup = eventfd(0, EFD_CLOEXEC);
    if (signals < 0 || wakeup < 0)
        return Complain(EXIT_FAILED, "monitor: %s", strerror(errno));

    int result = RunList(args);
    static CardWatcher watcher;
    LONG status = SCARD_S_SUCCESS;
    if (result == EXIT_AS_EXPECTED)
        status = StartCardWatcher(&watcher, WakeMonitor, &wakeup);
    if (status != SCARD_S_SUCCESS)
        result = ComplainOfCall(&args, "", "monitor", status);
    MonitorStart start = StartMonitorClock();
    uint64_t shown = 0;
    // Output that cannot be written ends the watch too.
    while (result == EXIT_AS_EXPECTED && OutputError() == 0) {
        pollfd waits[2] = {{signals, POLLIN, 0}, {wakeup, POLLIN, 0}};
        if (poll(waits, 2, -1) < 0 && errno != EINTR)
            break;
        if (waits[0].revents & POLLIN)
            break;
        uint64_t count;
        if (read(wakeup, &count, sizeof count) < 0)
            continue;
        static CardEvent events[CARD_EVENT_CAPACITY];
        size_t copied = CopyCardEvents(&watcher, shown, events, CARD_EVENT_CAPACITY);
        for (size_t i = 0; i < copied; ++i) {
            PrintCardEvent(events[i], start, args.json);
            shown = events[i].sequence;
            if (events[i].kind == CARD_EVENT_WATCH_FAILED)
                result = ComplainOfCall(nullptr, "", "monitor: the watch failed", events[i].status);
        }
    }
    StopCardWatcher(&watcher);
    close(signals);
    close(wakeup);
    return result;
}

int RunResetCommand(const CliArguments& args)
{
    ResetKind kind;
    if (!ParseResetKind(args.positional[0], &kind))
        return Complain(EXIT_USAGE, "reset: \"%s\" is neither warm nor cold", args.positional[0]);
    Session session;
    int result = OpenSession(args, &session, false);
    if (result == EXIT_AS_EXPECTED && !RunReset(&session, kind, ScriptPlace {}, args.json))
        result = EXIT_FAILED;
    return CloseSession(args, &session, result);
}

int RunAtr(const CliArguments& args)
{
    BYTE atr[MAX_ATR_SIZE];
    uint32_t length;
    if (!ParseHexArguments("atr", "the ATR", args, 0, atr, sizeof atr, &length))
        return EXIT_USAGE;
    AtrVerdict verdict = PrintAtrDecoding(nullptr, atr, length, "", args.json);
    if (verdict != ATR_WELL_FORMED)
        return Complain(EXIT_FAILED, "atr: the ATR is not well formed (%s)", ATR_VERDICT_NAMES[verdict]);
    return EXIT_AS_EXPECTED;
}

int FindCommandReader(const CliArguments& args, SCARDCONTEXT context, char (&reader)[MAX_READERNAME])
{
    static ReaderStates readers;
    LONG status = ReadReaderStates(context, &readers);
    if (status != SCARD_S_SUCCESS)
        return ComplainOfCall(&args, "", "SCardListReaders", status);
    int index = FindReader(readers, args.reader);
    if (index < 0 && args.reader != nullptr)
        return Complain(EXIT_USAGE, "no reader \"%s\"", args.reader);
    if (index < 0)
        return Complain(EXIT_FAILED, "no reader holds a card");
    snprintf(reader, sizeof reader, "%s", readers.states[index].szReader);
    return EXIT_AS_EXPECTED;
}

int FindCommandReaders(const CliArguments& args, SCARDCONTEXT context, char (*names)[MAX_READERNAME], int32_t* count)
{
    static ReaderStates readers;
    *count = 0;
    LONG status = ReadReaderStates(context, &readers);
    if (status != SCARD_S_SUCCESS)
        return ComplainOfCall(&args, "", "SCardListReaders", status);
    bool chosen[PCSCLITE_MAX_READERS_CONTEXTS] = {};
    for (int i = 0; i < args.readerCount; ++i) {
        if (strcmp(args.readers[i], "all") == 0) {
            for (int k = 0; k < readers.count; ++k)
                chosen[k] = chosen[k] || (readers.states[k].dwEventState & SCARD_STATE_PRESENT) != 0;
            continue;
        }
        int index = FindReader(readers, args.readers[i]);
        if (index < 0)
            return Complain(EXIT_USAGE, "no reader \"%s\"", args.readers[i]);
        chosen[index] = true;
    }
    for (int k = 0; k < readers.count; ++k)
        if (chosen[k])
            snprintf(names[(*count)++], MAX_READERNAME, "%s", readers.states[k].szReader);
    return EXIT_AS_EXPECTED;
}

void CatchCommandStop(bool catching)
{
    CatchStopSignals(catching ? RequestStop : SIG_DFL);
}

const std::atomic<bool>* CommandStopFlag()
{
    return &stopRequested;
}

int CommandStopSignal()
{
    return stopSignal;
}
