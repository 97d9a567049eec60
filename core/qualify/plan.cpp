// The plan reader: the file read whole within its limit, then each line
// parsed into the suite it opens or the limit it adds.
#include "core/qualify/plan.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/compose/data_entry.h"
#include "core/files/input_file.h"
#include "core/transmit/transmit.h"

namespace {

constexpr int TOKENS_MAX = 16;
// A quoted word is cut to this many characters; bytes outside printable
// ASCII are shown as \xHH, so a terminal's escape sequence is never played.
constexpr int QUOTE_MAX = 40;
constexpr size_t QUOTE_SIZE = 4 * QUOTE_MAX + 1;

struct PlanReader {
    QualifyPlan* plan;
    PlanFailure* failure;
    int32_t line;
};

[[gnu::format(printf, 2, 3)]] bool Refuse(PlanReader* reader, const char* format, ...)
{
    reader->failure->line = reader->line;
    va_list args;
    va_start(args, format);
    vsnprintf(reader->failure->reason, sizeof reader->failure->reason, format, args);
    va_end(args);
    return false;
}

const char* Quote(const char* text, char (&quoted)[QUOTE_SIZE])
{
    return QuoteInput(text, QUOTE_MAX, quoted, sizeof quoted);
}

// A whole decimal number from `minimum` to `maximum`.
bool ParseWhole(const char* text, int32_t minimum, int32_t maximum, int32_t* value)
{
    char* end;
    errno = 0;
    long number = strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || number < minimum || number > maximum)
        return false;
    *value = int32_t(number);
    return true;
}

bool ParseSw(const char* text, uint16_t* sw)
{
    uint8_t bytes[2];
    uint32_t count;
    // Cards answer 6X XX or 9X XX; 00 00 would read as no check at all.
    if (ParseHexStrict(text, bytes, sizeof bytes, &count) != HEX_OK || count != 2
        || (bytes[0] >> 4 != 6 && bytes[0] >> 4 != 9))
        return false;
    *sw = uint16_t(bytes[0] << 8 | bytes[1]);
    return true;
}

bool ValidId(const char* text)
{
    size_t length = strlen(text);
    if (length == 0 || length > size_t(PLAN_ID_MAX))
        return false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letter && c != '.' && c != '_' && c != '-')
            return false;
    }
    return true;
}

// The parameters each kind takes, for the refusal of any other.
const char* const PARAMETERS[SUITE_KIND_COUNT] = {
    "apdu, runs, expect, id",
    "header, from, to, step, runs, expect, extended, id",
    "cycles, mode, id",
    "taps, apdu, expect, timeout_ms, id",
    "apdu, runs, expect, timeout_ms, id",
};
constexpr char KINDS[] = "stability, sweep, power, tap or removal";
// What tap and removal send without apdu=: GET DATA of the UID, answered by the
// sim (90 00) and by vicc (6A 81) alike.
constexpr uint8_t PRESENCE_APDU[] = {0x00, 0xCA, 0x00, 0x00, 0x00};

bool Takes(SuiteKind kind, const char* name)
{
    const char* list = PARAMETERS[kind];
    size_t length = strlen(name);
    for (const char* p = list; (p = strstr(p, name)) != nullptr; p += length)
        if ((p == list || p[-1] == ' ') && (p[length] == ',' || p[length] == '\0'))
            return true;
    return false;
}

// One name=value of a suite line into `suite`.
bool ReadParameter(PlanReader* reader, PlanSuite* suite, const char* name, const char* value)
{
    char quoted[QUOTE_SIZE];
    if (strcmp(name, "apdu") == 0 || strcmp(name, "header") == 0) {
        uint32_t capacity = suite->kind == SUITE_SWEEP ? PLAN_HEADER_SIZE : PLAN_APDU_MAX;
        HexFailure failure = ParseHexStrict(value, suite->apdu, capacity, &suite->apduLength);
        if (failure == HEX_TOO_LONG && suite->kind == SUITE_SWEEP)
            return Refuse(reader, "header takes 4 bytes (CLA INS P1 P2)");
        if (failure == HEX_TOO_LONG)
            return Refuse(reader, "apdu is longer than %u bytes", unsigned(PLAN_APDU_MAX));
        if (failure != HEX_OK)
            return Refuse(reader, "%s \"%s\": %s", name, Quote(value, quoted), HexFailureText(failure));
        if (suite->kind == SUITE_SWEEP && suite->apduLength != PLAN_HEADER_SIZE)
            return Refuse(reader, "header takes 4 bytes (CLA INS P1 P2)");
        if (suite->kind != SUITE_SWEEP && suite->apduLength < 4)
            return Refuse(reader, "apdu takes at least 4 bytes (CLA INS P1 P2)");
        return true;
    }
    if (strcmp(name, "expect") == 0) {
        if (!ParseSw(value, &suite->expectedSw))
            return Refuse(reader, "expect takes a status word of two hex bytes, as 9000");
        return true;
    }
    if (strcmp(name, "id") == 0) {
        if (!ValidId(value))
            return Refuse(reader, "id takes 1 to %d letters, digits, '.', '_' or '-'", int(PLAN_ID_MAX));
        snprintf(suite->id, sizeof suite->id, "%s", value);
        return true;
    }
    if (strcmp(name, "extended") == 0) {
        if (strcmp(value, "yes") != 0 && strcmp(value, "no") != 0)
            return Refuse(reader, "extended takes yes or no");
        suite->extended = strcmp(value, "yes") == 0;
        return true;
    }
    if (strcmp(name, "mode") == 0) {
        if (strcmp(value, "cold") != 0 && strcmp(value, "reconnect") != 0)
            return Refuse(reader, "mode takes cold or reconnect");
        suite->mode = strcmp(value, "cold") == 0 ? POWER_COLD : POWER_RECONNECT;
        return true;
    }
    struct Count {
        const char* name;
        int32_t PlanSuite::*field;
        int32_t minimum, maximum;
    };
    const Count counts[] = {
        {"runs", &PlanSuite::runs, 1, suite->kind == SUITE_SWEEP ? SWEEP_RUNS_MAX : LOOP_COUNT_MAX},
        {"from", &PlanSuite::from, 1, SWEEP_EXTENDED_MAX},
        {"to", &PlanSuite::to, 1, SWEEP_EXTENDED_MAX},
        {"step", &PlanSuite::step, 1, SWEEP_EXTENDED_MAX},
        {"cycles", &PlanSuite::cycles, 1, POWER_CYCLES_MAX},
        {"taps", &PlanSuite::taps, 1, TAPS_MAX},
        {"timeout_ms", &PlanSuite::timeoutMs, TIMEOUT_MS_MIN, TIMEOUT_MS_MAX},
    };
    for (const Count& count : counts)
        if (strcmp(name, count.name) == 0) {
            if (!ParseWhole(value, count.minimum, count.maximum, &(suite->*count.field)))
                return Refuse(reader, "%s takes a count from %d to %d", name, int(count.minimum), int(count.maximum));
            return true;
        }
    return false;
}

// The defaults of a suite of `kind`, before its parameters.
PlanSuite NewSuite(SuiteKind kind, int32_t line)
{
    PlanSuite suite {};
    suite.kind = kind;
    suite.line = line;
    suite.runs = kind == SUITE_SWEEP ? 10 : STABILITY_RUNS_DEFAULT;
    suite.from = 1;
    suite.to = SWEEP_SHORT_MAX;
    suite.step = 1;
    suite.cycles = 10;
    suite.mode = POWER_COLD;
    suite.taps = TAPS_DEFAULT;
    suite.timeoutMs = TIMEOUT_MS_DEFAULT;
    return suite;
}

// The rules between parameters, once the line is read.
bool CheckSuite(PlanReader* reader, PlanSuite* suite)
{
    if (suite->kind == SUITE_STABILITY && suite->apduLength == 0)
        return Refuse(reader, "stability needs apdu=HEX");
    if ((suite->kind == SUITE_TAP || suite->kind == SUITE_REMOVAL) && suite->apduLength == 0) {
        memcpy(suite->apdu, PRESENCE_APDU, sizeof PRESENCE_APDU);
        suite->apduLength = sizeof PRESENCE_APDU;
    }
    if (suite->kind == SUITE_SWEEP) {
        if (suite->apduLength == 0) {
            const uint8_t header[2][PLAN_HEADER_SIZE] = {{0x00, 0xD6, 0x00, 0x00}, {0x00, 0xB0, 0x00, 0x00}};
            memcpy(suite->apdu, header[suite->direction], PLAN_HEADER_SIZE);
            suite->apduLength = PLAN_HEADER_SIZE;
        }
        if (suite->from > suite->to)
            return Refuse(reader, "from %d is beyond to %d", int(suite->from), int(suite->to));
        if (!suite->extended && suite->to > SWEEP_SHORT_MAX)
            return Refuse(reader, "to is at most %d without extended=yes", int(SWEEP_SHORT_MAX));
        if (SweepLengths(*suite) > SWEEP_POINTS_MAX)
            return Refuse(reader, "more than %d lengths: take a larger step", int(SWEEP_POINTS_MAX));
        if (SuiteExchanges(*suite) > SWEEP_EXCHANGES_MAX)
            return Refuse(reader, "more than %d exchanges: fewer runs or a larger step", int(SWEEP_EXCHANGES_MAX));
    }
    QualifyPlan* plan = reader->plan;
    if (suite->id[0] == '\0')
        snprintf(suite->id, sizeof suite->id, "%s-%d", SuiteKindName(suite->kind), int(plan->suiteCount + 1));
    int64_t exchanges = SuiteExchanges(*suite);
    for (int32_t i = 0; i < plan->suiteCount; ++i) {
        if (strcmp(plan->suites[i].id, suite->id) == 0)
            return Refuse(reader, "id \"%s\" is also the id of the suite of line %d", suite->id,
                          int(plan->suites[i].line));
        exchanges += SuiteExchanges(plan->suites[i]);
    }
    if (exchanges > PLAN_SAMPLES_MAX)
        return Refuse(reader, "the plan makes more than %d exchanges", int(PLAN_SAMPLES_MAX));
    return true;
}

bool ReadSuite(PlanReader* reader, char** tokens, int count)
{
    char quoted[QUOTE_SIZE];
    QualifyPlan* plan = reader->plan;
    if (count < 2)
        return Refuse(reader, "suite takes a kind: %s", KINDS);
    int kind = 0;
    while (kind < SUITE_KIND_COUNT && strcmp(tokens[1], SuiteKindName(SuiteKind(kind))) != 0)
        ++kind;
    if (kind == SUITE_KIND_COUNT)
        return Refuse(reader, "unknown suite \"%s\" (%s)", Quote(tokens[1], quoted), KINDS);
    if (plan->suiteCount >= PLAN_SUITES_MAX)
        return Refuse(reader, "more than %d suites", int(PLAN_SUITES_MAX));
    PlanSuite suite = NewSuite(SuiteKind(kind), reader->line);
    int first = 2;
    if (kind == SUITE_SWEEP) {
        if (count < 3 || (strcmp(tokens[2], "lc") != 0 && strcmp(tokens[2], "le") != 0))
            return Refuse(reader, "sweep takes lc or le before its parameters");
        suite.direction = strcmp(tokens[2], "lc") == 0 ? SWEEP_LC : SWEEP_LE;
        first = 3;
    }
    uint32_t given = 0;  // the parameters seen, by their place in the token list
    for (int i = first; i < count; ++i) {
        char* assign = strchr(tokens[i], '=');
        if (assign == nullptr)
            return Refuse(reader, "\"%s\" is no name=value", Quote(tokens[i], quoted));
        *assign = '\0';
        const char* name = tokens[i];
        const char* value = assign + 1;
        if (!Takes(suite.kind, name))
            return Refuse(reader, "unknown parameter \"%s\" of %s (%s)", Quote(name, quoted), SuiteKindName(suite.kind),
                          PARAMETERS[kind]);
        for (int j = first; j < i; ++j)
            if ((given & (1u << j)) && strcmp(tokens[j], name) == 0)
                return Refuse(reader, "%s is given twice", name);
        given |= 1u << i;
        if (*value == '\0')
            return Refuse(reader, "%s lacks a value", name);
        if (!ReadParameter(reader, &suite, name, value))
            return false;
    }
    if (!CheckSuite(reader, &suite))
        return false;
    plan->suites[plan->suiteCount++] = suite;
    return true;
}

bool ReadLimit(PlanReader* reader, char** tokens, int count)
{
    char quoted[QUOTE_SIZE];
    QualifyPlan* plan = reader->plan;
    if (plan->suiteCount == 0)
        return Refuse(reader, "limit before any suite");
    if (count != 4)
        return Refuse(reader, "limit takes QUANTITY OPERATOR NUMBER, as: limit p99_us < 500");
    PlanSuite* suite = &plan->suites[plan->suiteCount - 1];
    Quantity quantity = FindQuantity(tokens[1]);
    if (!SuiteMeasures(suite->kind, quantity)) {
        char names[PLAN_REASON_SIZE / 2] = "";
        size_t used = 0;
        for (int q = 0; q < QUANTITY_COUNT; ++q)
            if (SuiteMeasures(suite->kind, Quantity(q)) && used < sizeof names)
                used += size_t(snprintf(names + used, sizeof names - used, "%s%s", used > 0 ? ", " : "",
                                        QuantityName(Quantity(q))));
        return Refuse(reader, "%s measures no \"%s\" (%s)", SuiteKindName(suite->kind), Quote(tokens[1], quoted),
                      names);
    }
    int op = 0;
    while (op < LIMIT_OPERATOR_COUNT && strcmp(tokens[2], LimitOperatorText(LimitOperator(op))) != 0)
        ++op;
    if (op == LIMIT_OPERATOR_COUNT)
        return Refuse(reader, "unknown operator \"%s\" (<, <=, >, >= or =)", Quote(tokens[2], quoted));
    char* end;
    errno = 0;
    double value = strtod(tokens[3], &end);
    // strtod also reads hex, inf and nan: a limit is a plain decimal number.
    bool decimal = strspn(tokens[3], "+-0123456789.eE") == strlen(tokens[3]);
    if (end == tokens[3] || *end != '\0' || errno != 0 || !decimal || !std::isfinite(value))
        return Refuse(reader, "\"%s\" is not a number", Quote(tokens[3], quoted));
    if (suite->limitCount >= PLAN_LIMITS_MAX)
        return Refuse(reader, "more than %d limits on one suite", int(PLAN_LIMITS_MAX));
    suite->limits[suite->limitCount++] = PlanLimit {reader->line, quantity, LimitOperator(op), value};
    return true;
}

// One line without its line end, in place.
bool ReadLine(PlanReader* reader, char* text)
{
    char quoted[QUOTE_SIZE];
    text[strcspn(text, "#")] = '\0';
    char* tokens[TOKENS_MAX];
    int count = 0;
    for (char* token = strtok(text, " \t"); token != nullptr; token = strtok(nullptr, " \t")) {
        if (count == TOKENS_MAX)
            return Refuse(reader, "more than %d words", TOKENS_MAX);
        tokens[count++] = token;
    }
    if (count == 0)
        return true;
    if (strcmp(tokens[0], "suite") == 0)
        return ReadSuite(reader, tokens, count);
    if (strcmp(tokens[0], "limit") == 0)
        return ReadLimit(reader, tokens, count);
    return Refuse(reader, "\"%s\": not a suite or limit line", Quote(tokens[0], quoted));
}

}  // namespace

int32_t SweepLengths(const PlanSuite& suite)
{
    if (suite.kind != SUITE_SWEEP || suite.step < 1 || suite.from > suite.to)
        return 0;
    return (suite.to - suite.from) / suite.step + 1;
}

int32_t SuiteExchanges(const PlanSuite& suite)
{
    switch (suite.kind) {
    case SUITE_STABILITY:
        return suite.runs;
    case SUITE_SWEEP:
        return int32_t(int64_t(SweepLengths(suite)) * suite.runs > INT32_MAX ? INT32_MAX
                                                                             : SweepLengths(suite) * suite.runs);
    case SUITE_POWER:
        return suite.cycles;
    case SUITE_TAP:
        return suite.taps;
    case SUITE_REMOVAL:
        return suite.runs + 2;
    default:
        return 0;
    }
}

bool ParsePlan(const char* text, uint32_t length, QualifyPlan* plan, PlanFailure* failure)
{
    PlanReader reader {plan, failure, 1};
    plan->suiteCount = 0;
    *failure = PlanFailure {};
    static char line[PLAN_LINE_MAX + 1];
    uint32_t start = 0;
    // A UTF-8 byte order mark at the start is skipped.
    if (length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0)
        start = 3;
    while (start < length) {
        const char* end = static_cast<const char*>(memchr(text + start, '\n', length - start));
        uint32_t size = end != nullptr ? uint32_t(end - text) - start : length - start;
        if (size > 0 && text[start + size - 1] == '\r')
            --size;
        if (size > PLAN_LINE_MAX)
            return Refuse(&reader, "longer than %u characters", unsigned(PLAN_LINE_MAX));
        memcpy(line, text + start, size);
        line[size] = '\0';
        if (strlen(line) != size)
            return Refuse(&reader, "NUL byte at column %u", unsigned(strlen(line) + 1));
        if (!ReadLine(&reader, line))
            return false;
        start = end != nullptr ? uint32_t(end - text) + 1 : length;
        ++reader.line;
    }
    if (plan->suiteCount == 0) {
        reader.line = 0;
        return Refuse(&reader, "no suite in the plan");
    }
    return true;
}

bool LoadPlan(const char* path, int fd, QualifyPlan* plan, PlanFailure* failure)
{
    static char text[PLAN_FILE_MAX];
    *failure = PlanFailure {};
    PlanReader reader {plan, failure, 0};
    bool own = fd < 0;
    if (own) {
        char reason[INPUT_REASON_SIZE];
        fd = OpenRegularFile(path, reason);
        if (fd < 0)
            return Refuse(&reader, "%s", reason);
    }
    uint32_t length;
    bool read = ReadWhole(fd, text, sizeof text, &length);
    int error = errno;
    if (own)
        close(fd);
    if (!read && error == EFBIG)
        return Refuse(&reader, "larger than %u bytes", unsigned(PLAN_FILE_MAX));
    if (!read)
        return Refuse(&reader, "%s", strerror(error));
    return ParsePlan(text, length, plan, failure);
}
