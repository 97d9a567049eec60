// The command line's arguments: one table of commands, each with the options
// it takes as a column, and a parser of its own that reads argv as bytes (a
// file or reader name is used as given). It keeps the syntax the program had
// with Qt's QCommandLineParser: `--name value` and `--name=value`, `-h` and
// short options run together (`-hv`), `--` before what is positional,
// options before and after the positional arguments; and Qt's help layout.
#include "cli/cli.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <strings.h>

#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "core/output/compare.h"
#include "core/pcsc/control.h"
#include "core/qualify/passport.h"
#include "core/transmit/follow_up.h"
#include "core/transmit/transmit.h"
#include "core/version/version.h"
#include "core/wire/wire_format.h"

namespace {

enum CommandOption : unsigned {
    OPTION_HELP = 1,
    OPTION_VERSION = 2,
    OPTION_JSON = 4,
    OPTION_READER = 8,
    OPTION_LOOP = 16,
    OPTION_EXPECT = 32,
    OPTION_DECODE = 64,
    OPTION_CLASS = 2048,
    OPTION_GET_RESPONSE = 4096,
    OPTION_ID = 8192,
    OPTION_GENERAL = 16384,
    OPTION_JUNIT = 1u << 16,
    OPTION_SAMPLES = 1u << 17,
    OPTION_CODE = 1024,
    OPTION_SHARE = 128,
    OPTION_PROTOCOL = 256,
    OPTION_DISPOSITION = 512,
    OPTION_RUNS = 1u << 18,
    OPTION_APDU = 1u << 19,
    OPTION_TOLERANCE = 1u << 20,
};

struct OptionRow {
    CommandOption bit;
    char letter;            // the short name; 0 for none
    const char* name;       // the long name
    const char* valueName;  // null for an option that takes no value
    const char* description;
};

static_assert(LOOP_COUNT_MAX == 5000, "the help of --loop names the most runs");
static_assert(FOLLOW_UP_MAX == 16, "the help of --get-response names the most follow-ups");
static_assert(PASSPORT_RUNS_DEFAULT == 100, "the help of --runs names the default");
static_assert(COMPARE_TOLERANCE_DEFAULT == 10, "the help of --tolerance names the default");

// Every option, in the order the help lists them.
const OptionRow OPTIONS[] = {
    {OPTION_HELP, 'h', "help", nullptr, "Displays this help."},
    {OPTION_VERSION, 'v', "version", nullptr, "Displays the version of the program."},
    {OPTION_JSON, 'j', "json", nullptr, "One JSON object a line (the README names the fields)."},
    {OPTION_READER, 'r', "reader", "R",
     "The reader: its name or its index in the list (default: the first reader with a card)."},
    {OPTION_LOOP, 0, "loop", "N", "Sends the APDU N times, 1 to 5000, and prints the loop's summary."},
    {OPTION_EXPECT, 0, "expect", "SW", "The status word every answer must end with, as 9000."},
    {OPTION_DECODE, 0, "decode", nullptr, "Decodes each ATR as the window does, with the known card names."},
    {OPTION_CLASS, 0, "class", "CLA", "The storage requests' class byte: 00 (the default) or FF (the reader's own)."},
    {OPTION_GENERAL, 0, "general", nullptr,
     "authenticate as GENERAL AUTHENTICATE (FF 86), not the older AUTHENTICATE (FF 88); needs --class FF."},
    {OPTION_GET_RESPONSE, 0, "get-response", nullptr,
     "After 61 xx sends GET RESPONSE, after 6C xx the APDU again with Le xx, each its own exchange, at most 16; "
     "a --loop makes none (each run times one exchange)."},
    {OPTION_ID, 0, "id", "ID",
     "The attributes to read, a comma list of codes (0x00010100) or SCARD_ATTR_ names, in place of the nineteen."},
    {OPTION_JUNIT, 0, "junit", "FILE", "Writes the verdicts as JUnit XML into FILE, whole or not at all."},
    {OPTION_SAMPLES, 0, "samples", "FILE", "Writes every exchange's time, PC/SC code and SW as CSV into FILE."},
    {OPTION_CODE, 0, "code", "C",
     "Where the record goes: fixed (SCARD_CTL_CODE(2048), the default), escape (the reader's "
     "FEATURE_CCID_ESC_COMMAND) or a control code."},
    {OPTION_SHARE, 0, "share", "MODE", "How to share the reader: exclusive (default), shared or direct."},
    {OPTION_PROTOCOL, 0, "protocol", "P", "The protocols offered: any (default: T=0 or T=1, else RAW), t0, t1 or raw."},
    {OPTION_DISPOSITION, 0, "disposition", "D",
     "How the connection ends: leave (default), reset, unpower or eject the card."},
    {OPTION_RUNS, 0, "runs", "N", "The timing baseline's runs, 1 to 5000 (default 100)."},
    {OPTION_APDU, 0, "apdu", "HEX", "The timing baseline's APDU (default 00CA000000)."},
    {OPTION_TOLERANCE, 0, "tolerance", "PCT", "How much slower in B a timing figure may be, in percent (default 10)."},
};
constexpr int OPTION_COUNT = int(std::size(OPTIONS));

// The options of the program itself, before a command, and those every
// command takes.
constexpr unsigned PROGRAM_OPTIONS = OPTION_HELP | OPTION_VERSION;
constexpr unsigned COMMON_OPTIONS = OPTION_HELP | OPTION_JSON;
// The options of every command that connects to a reader.
constexpr unsigned CONNECTING_OPTIONS = OPTION_READER | OPTION_SHARE | OPTION_PROTOCOL | OPTION_DISPOSITION;

struct PositionalArgument {
    const char* name;
    const char* description;
    const char* syntax;
};

constexpr int ANY_COUNT = INT_MAX;  // no upper bound on the positional arguments

struct CliCommand {
    const char* name;
    const char* synopsis;  // after the name, for the overview
    const char* description;
    unsigned options;  // besides COMMON_OPTIONS
    int minimum;       // positional arguments
    int maximum;
    PositionalArgument arguments[4];
    int (*run)(const CliArguments& args);
};

constexpr PositionalArgument HEX_ARGUMENT = {"HEX", "The APDU in hex, blanks allowed: 00CA000000 or 00 CA 00 00 00.",
                                             "HEX..."};

const CliCommand CLI_COMMANDS[] = {
    {"list", "[--decode]", "The readers, with card state and ATR.", OPTION_DECODE, 0, 0, {}, RunList},
    {"attributes",
     "[--reader R] [--id ID,...]",
     "The nineteen attributes of a reader and its card (or those --id names), in the window's formats, decoded.",
     CONNECTING_OPTIONS | OPTION_ID,
     0,
     0,
     {},
     RunAttributes},
    {"send",
     "[--reader R] [--loop N] [--expect SW] [--get-response] [--samples FILE] HEX...",
     "Sends one APDU, or with --loop the same APDU N times, and prints the exchange.",
     CONNECTING_OPTIONS | OPTION_LOOP | OPTION_EXPECT | OPTION_GET_RESPONSE | OPTION_SAMPLES,
     1,
     ANY_COUNT,
     {HEX_ARGUMENT},
     RunSend},
    {"run",
     "[--reader R] [--get-response] FILE",
     "Replays a script: hex APDUs, # comments, reset [warm|cold], loop N ... end, expect SW, transactions, exit.",
     CONNECTING_OPTIONS | OPTION_GET_RESPONSE,
     1,
     1,
     {{"FILE", "The script; - for standard input.", "FILE"}},
     RunScript},
    {"vendor",
     "[--reader R] [--code C] CMD P1 P2 [DATA]",
     "Sends one vendor request to the reader driver (SCardControl).",
     CONNECTING_OPTIONS | OPTION_CODE,
     3,
     ANY_COUNT,
     {{"CMD", "The vendor command, 0 to 255 (8: firmware revision).", "CMD"},
      {"P1", "Its first parameter (PA).", "P1"},
      {"P2", "Its second parameter (PB).", "P2"},
      {"DATA", "Data bytes in hex.", "[DATA]"}},
     RunVendor},
    {"control",
     "[--reader R] CODE [HEX...]",
     "Sends bytes to any control code of the reader driver (SCardControl) and prints the reply.",
     CONNECTING_OPTIONS,
     1,
     ANY_COUNT,
     {{"CODE", "The control code: a number (decimal or 0x hex) or SCARD_CTL_CODE(n).", "CODE"},
      {"HEX", "The bytes in hex, blanks allowed; none for an empty request.", "[HEX...]"}},
     RunControl},
    {"features",
     "[--reader R]",
     "The reader's PC/SC Part 10 features with their control codes, its TLV properties and its CCID escape code.",
     CONNECTING_OPTIONS,
     0,
     0,
     {},
     RunFeatures},
    {"reset",
     "[--reader R] warm|cold",
     "Resets the card, warm or cold (power off and on), and prints its new ATR and whether it changed.",
     CONNECTING_OPTIONS,
     1,
     1,
     {{"KIND", "warm (SCARD_RESET_CARD) or cold (SCARD_UNPOWER_CARD).", "warm|cold"}},
     RunResetCommand},
    {"atr",
     "HEX...",
     "Decodes an ATR as the window does: its parts, their meaning and the known card names.",
     0,
     1,
     ANY_COUNT,
     {{"HEX", "The ATR in hex, blanks allowed: 3B8F8001... or 3B 8F 80 01 ...", "HEX..."}},
     RunAtr},
    {"monitor", "", "Prints card and reader events as they happen, until interrupted.", 0, 0, 0, {}, RunMonitor},
    {"storage",
     "[--reader R] [--class 00|FF] [--general] [--loop N] [--expect SW] [--get-response] COMMAND ARGUMENTS...",
     "Sends one storage-card request as the window's composer builds it, and prints the exchange.",
     CONNECTING_OPTIONS | OPTION_CLASS | OPTION_GENERAL | OPTION_LOOP | OPTION_EXPECT | OPTION_GET_RESPONSE,
     1,
     ANY_COUNT,
     {{"COMMAND", "getuid, read, update, loadkeys or authenticate.", "COMMAND"},
      {"ARGUMENTS",
       "getuid; read BLOCK [LE] (LE 0 to 255, default 16); update BLOCK HEX... (1 to 255 bytes); loadkeys SLOT "
       "KEY... (1 to 255 bytes); authenticate BLOCK A|B SLOT. BLOCK 0 to 65535 (P1 P2), SLOT 0 to 255.",
       "ARGUMENTS..."}},
     RunStorage},
    {"qualify",
     "[--reader R]... [--junit FILE] [--samples FILE] PLAN",
     "Runs a test plan of suites (stability, sweep, power, tap, removal) on one reader, or on several at once (-r "
     "given again, or -r all: every reader with a card), and prints each verdict with the environment; tap and "
     "removal ask for the operator's hand on stderr.",
     CONNECTING_OPTIONS | OPTION_JUNIT | OPTION_SAMPLES,
     1,
     1,
     {{"PLAN", "The plan: suite and limit lines, # comments; - for standard input.", "PLAN"}},
     RunQualify},
    {"passport",
     "[--reader R] [--runs N] [--apdu HEX]",
     "The reader's passport as one JSON line: environment, ATR, attributes, features, protocols, timing.",
     OPTION_READER | OPTION_RUNS | OPTION_APDU,
     0,
     0,
     {},
     RunPassport},
    {"compare",
     "[--tolerance PCT] A B",
     "Compares two passports or two qualify --json outputs: a line per difference; exit 1 for a limit crossed.",
     OPTION_TOLERANCE,
     2,
     2,
     {{"A", "The earlier file: a passport, or qualify --json output.", "A"},
      {"B", "The later file, of the same kind.", "B"}},
     RunCompare},
};

// The program's own line before the commands, its positional argument.
constexpr PositionalArgument COMMAND_ARGUMENT = {"command", "One of the commands above.",
                                                 "command [options] [arguments]"};

constexpr size_t PARSE_TEXT_SIZE = 512;
constexpr size_t UNKNOWN_TEXT_SIZE = 448;  // leaves room for the message around it

// What one parse found. The positional arguments are moved to the front of
// the arguments parsed, in their order.
struct ParsedOptions {
    unsigned found;                           // the options given
    const char* values[OPTION_COUNT];         // the last value given to each, by row
    const char* readers[READER_OPTIONS_MAX];  // every --reader value, in order
    int readerCount;
    int positionalCount;
    bool dashes;                      // a "--" ended the options
    char error[PARSE_TEXT_SIZE];      // why the arguments are refused; "" when they are not
    char unknown[UNKNOWN_TEXT_SIZE];  // the unknown names, joined with ", " (cut when long)
    int unknownCount;
};

// The row of the option `accepted` holds that is named by the `length`
// bytes at `name`: its long name, or its letter; null for none.
const OptionRow* FindOption(unsigned accepted, const char* name, size_t length)
{
    for (const OptionRow& row : OPTIONS) {
        if (!(accepted & row.bit))
            continue;
        bool letter = length == 1 && row.letter != 0 && name[0] == row.letter;
        if (letter || (strlen(row.name) == length && memcmp(row.name, name, length) == 0))
            return &row;
    }
    return nullptr;
}

void AddUnknown(ParsedOptions* parsed, const char* name, size_t length)
{
    size_t used = strlen(parsed->unknown);
    snprintf(parsed->unknown + used, sizeof parsed->unknown - used, "%s%.*s", parsed->unknownCount > 0 ? ", " : "",
             int(length), name);
    ++parsed->unknownCount;
}

// The value of option `row`, given in `args[at]` after its '=' or else as
// the next argument. Returns the index of the last argument used.
int TakeValue(const OptionRow& row, char** args, int count, int at, ParsedOptions* parsed)
{
    const char* argument = args[at];
    const char* assign = strchr(argument, '=');
    if (row.valueName == nullptr) {
        if (assign != nullptr)
            snprintf(parsed->error, sizeof parsed->error, "Unexpected value after '%.*s'.", int(assign - argument),
                     argument);
        return at;
    }
    if (assign != nullptr) {
        parsed->values[&row - OPTIONS] = assign + 1;
        return at;
    }
    if (at + 1 == count) {
        snprintf(parsed->error, sizeof parsed->error, "Missing value after '%s'.", argument);
        return at;
    }
    parsed->values[&row - OPTIONS] = args[at + 1];
    return at + 1;
}

// Short options run together after one '-': each letter one option; one
// that takes a value takes the rest ("-rNAME", "-r=NAME") or else the next
// argument. Returns the index of the last argument used.
int ParseLetters(unsigned accepted, char** args, int count, int at, ParsedOptions* parsed)
{
    const char* argument = args[at];
    size_t length = strlen(argument);
    const OptionRow* row = nullptr;
    for (size_t i = 1; i < length; ++i) {
        row = FindOption(accepted, argument + i, 1);
        if (row == nullptr) {
            AddUnknown(parsed, argument + i, 1);
            continue;
        }
        parsed->found |= row->bit;
        if (row->valueName != nullptr && i + 1 < length) {
            parsed->values[row - OPTIONS] = argument + i + (argument[i + 1] == '=' ? 2 : 1);
            return at;
        }
        if (row->valueName != nullptr || argument[i + 1] == '=')
            break;
    }
    // The last letter read: its value follows, or '=' gave one it takes not.
    return row != nullptr ? TakeValue(*row, args, count, at, parsed) : at;
}

const char* OptionValue(const ParsedOptions& parsed, CommandOption bit)
{
    for (int i = 0; i < OPTION_COUNT; ++i)
        if (OPTIONS[i].bit == bit)
            return parsed.values[i];
    return nullptr;
}

// A --reader value just taken joins the list: each argument is a string of
// its own, so a new value is a new pointer.
void KeepReader(ParsedOptions* parsed)
{
    const char* value = OptionValue(*parsed, OPTION_READER);
    if (value == nullptr || (parsed->readerCount > 0 && parsed->readers[parsed->readerCount - 1] == value))
        return;
    if (parsed->readerCount == READER_OPTIONS_MAX)
        snprintf(parsed->error, sizeof parsed->error, "--reader is given more than %d times.", READER_OPTIONS_MAX);
    else
        parsed->readers[parsed->readerCount++] = value;
}

// Reads the options `accepted` from `args`; `ended` when they ended before
// it, with "--". With `firstEnds`, what follows the first positional argument
// is positional too. Every argument is read, and the error kept is the last
// about a value, else the list of the unknown names.
void ParseOptions(unsigned accepted, char** args, int count, bool firstEnds, bool ended, ParsedOptions* parsed)
{
    *parsed = ParsedOptions {};
    for (int i = 0; i < count; ++i) {
        char* argument = args[i];
        if (ended || argument[0] != '-' || argument[1] == '\0') {
            // "-" alone (standard input, by custom) is positional too.
            args[parsed->positionalCount++] = argument;
            ended = ended || (firstEnds && argument[0] != '-');
            continue;
        }
        if (argument[1] != '-') {
            i = ParseLetters(accepted, args, count, i, parsed);
            KeepReader(parsed);
            continue;
        }
        if (argument[2] == '\0') {
            ended = parsed->dashes = true;
            continue;
        }
        const char* name = argument + 2;
        size_t length = strcspn(name, "=");
        const OptionRow* row = FindOption(accepted, name, length);
        if (row == nullptr) {
            AddUnknown(parsed, name, length);
            continue;
        }
        parsed->found |= row->bit;
        i = TakeValue(*row, args, count, i, parsed);
        KeepReader(parsed);
    }
    if (parsed->error[0] == '\0' && parsed->unknownCount == 1)
        snprintf(parsed->error, sizeof parsed->error, "Unknown option '%s'.", parsed->unknown);
    else if (parsed->error[0] == '\0' && parsed->unknownCount > 1)
        snprintf(parsed->error, sizeof parsed->error, "Unknown options: %s.", parsed->unknown);
}

// A count as a number: an optional sign and decimal digits, blanks around
// them allowed.
bool ParseCount(const char* text, int32_t* count)
{
    char* end;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (end == text || errno != 0 || value < INT32_MIN || value > INT32_MAX)
        return false;
    while (isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (*end != '\0')
        return false;
    *count = int32_t(value);
    return true;
}

// "-h, --help" or "--reader <R>".
void FormatOptionNames(const OptionRow& row, char (&text)[64])
{
    int used = row.letter != 0 ? snprintf(text, sizeof text, "-%c, ", row.letter) : 0;
    used += snprintf(text + used, sizeof text - size_t(used), "--%s", row.name);
    if (row.valueName != nullptr)
        snprintf(text + used, sizeof text - size_t(used), " <%s>", row.valueName);
}

// One row of a help text as Qt laid it out, so that the texts stay as they
// were: two blanks, the name in a column `width` wide (a longer name goes on
// in the column of the lines below), a blank, and the description wrapped
// before column 79 at its last blank (a word longer than a line is cut).
// The loop is Qt's own, the character after each break included.
void PrintHelpRow(const char* name, int width, const char* description)
{
    int nameLength = int(strlen(name));
    int nameIndex = 0;
    int length = int(strlen(description));
    int longest = 79 - (2 + width + 1);
    int lineStart = 0;
    int lastBreakable = -1;
    int x = 0;
    for (int i = 0; i < length; ++i) {
        ++x;
        if (isspace(static_cast<unsigned char>(description[i])))
            lastBreakable = i;
        int breakAt = -1;
        int nextLineStart = -1;
        if (x > longest && lastBreakable != -1) {
            breakAt = lastBreakable;
            nextLineStart = lastBreakable + 1;
        } else if ((x > longest - 1 && lastBreakable == -1) || i == length - 1) {
            breakAt = i + 1;
            nextLineStart = breakAt;
        } else if (description[i] == '\n') {
            breakAt = i;
            nextLineStart = i + 1;
        }
        if (breakAt == -1)
            continue;
        int piece = nameLength - nameIndex < width ? nameLength - nameIndex : width;
        printf("  %-*.*s %.*s\n", width, piece, name + nameIndex, breakAt - lineStart, description + lineStart);
        nameIndex += piece;
        x = 0;
        lastBreakable = -1;
        lineStart = nextLineStart;
        if (lineStart < length && isspace(static_cast<unsigned char>(description[lineStart])))
            ++lineStart;
        i = lineStart;
    }
    for (; nameIndex < nameLength; nameIndex += width)
        printf("  %.*s\n", width, name + nameIndex);
}

void PrintOverview()
{
    printf("A test bench for contactless smart-card readers over PC/SC. Without arguments it opens its window;\n"
           "with a command it runs without a display.\n\nCommands:\n");
    for (const CliCommand& command : CLI_COMMANDS)
        printf("  %s%s%s\n      %s\n", command.name, command.synopsis[0] != '\0' ? " " : "", command.synopsis,
               command.description);
    printf("\nEvery command takes -j, --json (one JSON object a line) and -h, --help. -r, --reader R names a\n"
           "reader by its name or its index in the list; without it the first reader with a card is used.\n"
           "Those that connect take --share, --protocol and --disposition (see their help).\n"
           "Exit status: 0 when all went as expected, 1 when a PC/SC call or an expected status word failed\n"
           "(qualify: when a verdict is not pass; compare: when a limit is crossed), 2 for bad usage (bad\n"
           "arguments, an unknown reader, a bad script, plan or file to compare).\n");
}

// The help of a command, or with null the program's: usage, description,
// options and positional arguments.
void PrintHelp(const CliCommand* command)
{
    unsigned options = command != nullptr ? COMMON_OPTIONS | command->options : PROGRAM_OPTIONS;
    printf("Usage: %s [options]", PROGRAM_NAME);
    if (command != nullptr) {
        printf(" %s", command->name);
        for (const PositionalArgument& argument : command->arguments)
            if (argument.name != nullptr)
                printf(" %s", argument.syntax);
        printf("\n%s\n", command->description);
    } else {
        printf(" %s\n", COMMAND_ARGUMENT.syntax);
        PrintOverview();
    }
    // The name column fits the longest option's names.
    char names[64];
    int width = 0;
    for (const OptionRow& row : OPTIONS) {
        FormatOptionNames(row, names);
        if ((options & row.bit) && int(strlen(names)) + 1 > width)
            width = int(strlen(names)) + 1;
    }
    printf("\nOptions:\n");
    for (const OptionRow& row : OPTIONS) {
        FormatOptionNames(row, names);
        if (options & row.bit)
            PrintHelpRow(names, width, row.description);
    }
    printf("\nArguments:\n");
    if (command == nullptr) {
        PrintHelpRow(COMMAND_ARGUMENT.name, width, COMMAND_ARGUMENT.description);
        return;
    }
    PrintHelpRow(command->name, width, "");
    for (const PositionalArgument& argument : command->arguments)
        if (argument.name != nullptr)
            PrintHelpRow(argument.name, width, argument.description);
}

int PrintVersion()
{
    char version[VERSION_LINE_SIZE];
    if (!FormatProgramVersion(version, sizeof version))
        return Complain(EXIT_FAILED, "no version record in the program's file");
    printf("%s %s\n", PROGRAM_NAME, version);
    return EXIT_AS_EXPECTED;
}

// Reads the command's options and arguments, `args` after its name (`ended`
// when a "--" came before the name), into `cli` and runs the command.
int RunCommand(const CliCommand& command, char** args, int count, bool ended)
{
    static ParsedOptions parsed;
    ParseOptions(COMMON_OPTIONS | command.options, args, count, false, ended, &parsed);
    if (parsed.error[0] != '\0')
        return Complain(EXIT_USAGE, "%s: %s", command.name, parsed.error);
    if (parsed.found & OPTION_HELP) {
        PrintHelp(&command);
        return EXIT_AS_EXPECTED;
    }
    if (parsed.positionalCount < command.minimum || parsed.positionalCount > command.maximum)
        return Complain(EXIT_USAGE, "%s: usage: %s %s %s", command.name, PROGRAM_NAME, command.name, command.synopsis);
    static CliArguments cli;
    cli = CliArguments {};
    cli.command = command.name;
    cli.json = (parsed.found & OPTION_JSON) != 0;
    cli.reader = OptionValue(parsed, OPTION_READER);
    cli.readers = parsed.readers;
    cli.readerCount = parsed.readerCount;
    cli.decode = (parsed.found & OPTION_DECODE) != 0;
    if (parsed.found & OPTION_LOOP) {
        if (!ParseCount(OptionValue(parsed, OPTION_LOOP), &cli.loop) || cli.loop < 1 || cli.loop > LOOP_COUNT_MAX)
            return Complain(EXIT_USAGE, "%s: --loop takes a count from 1 to %d", command.name, int(LOOP_COUNT_MAX));
    }
    if (parsed.found & OPTION_EXPECT) {
        // The window's rule for its Expected SW field; an empty text is no status word here.
        if (!ParseExpectedSw(OptionValue(parsed, OPTION_EXPECT), &cli.expectedSw) || cli.expectedSw == NO_EXPECTED_SW)
            return Complain(EXIT_USAGE, "%s: --expect takes a status word of two hex bytes, as 9000", command.name);
        cli.expect = true;
    }
    cli.storageClass = STORAGE_CLA;
    if (parsed.found & OPTION_CLASS) {
        const char* cla = OptionValue(parsed, OPTION_CLASS);
        if (strcasecmp(cla, "FF") == 0)
            cli.storageClass = STORAGE_CLA_PCSC;
        else if (strcmp(cla, "00") != 0)
            return Complain(EXIT_USAGE, "%s: --class takes 00 or FF", command.name);
    }
    cli.generalAuthenticate = (parsed.found & OPTION_GENERAL) != 0;
    if (cli.generalAuthenticate && cli.storageClass != STORAGE_CLA_PCSC)
        return Complain(EXIT_USAGE, "%s: --general goes with --class FF", command.name);
    cli.getResponse = (parsed.found & OPTION_GET_RESPONSE) != 0;
    cli.attributeIds = OptionValue(parsed, OPTION_ID);
    for (CommandOption file : {OPTION_JUNIT, OPTION_SAMPLES}) {
        const char* path = (parsed.found & file) ? OptionValue(parsed, file) : nullptr;
        if (path != nullptr && path[0] == '\0')
            return Complain(EXIT_USAGE, "%s: --%s takes a file name", command.name,
                            file == OPTION_JUNIT ? "junit" : "samples");
        (file == OPTION_JUNIT ? cli.junit : cli.samples) = path;
    }
    if (parsed.found & OPTION_CODE) {
        const char* value = OptionValue(parsed, OPTION_CODE);
        if (strcmp(value, "escape") == 0)
            cli.vendorTarget.destination = VENDOR_TO_ESCAPE;
        else if (strcmp(value, "fixed") != 0) {
            ControlCodeFailure failure = ParseControlCode(value, &cli.vendorTarget.code);
            if (failure != CONTROL_CODE_OK)
                return Complain(EXIT_USAGE, "%s: --code takes fixed, escape or a control code: \"%s\": %s",
                                command.name, value, ControlCodeFailureText(failure));
            cli.vendorTarget.destination = VENDOR_TO_CODE;
        }
    }
    if ((parsed.found & OPTION_SHARE) && !ParseShareChoice(OptionValue(parsed, OPTION_SHARE), &cli.connect.share))
        return Complain(EXIT_USAGE, "%s: --share takes %s", command.name, SHARE_WORDS);
    cli.shareGiven = (parsed.found & OPTION_SHARE) != 0;
    if ((parsed.found & OPTION_PROTOCOL)
        && !ParseProtocolChoice(OptionValue(parsed, OPTION_PROTOCOL), &cli.connect.protocol))
        return Complain(EXIT_USAGE, "%s: --protocol takes %s", command.name, PROTOCOL_WORDS);
    cli.disposition = SCARD_LEAVE_CARD;
    if ((parsed.found & OPTION_DISPOSITION)
        && !ParseDisposition(OptionValue(parsed, OPTION_DISPOSITION), &cli.disposition))
        return Complain(EXIT_USAGE, "%s: --disposition takes %s", command.name, DISPOSITION_WORDS);
    cli.dispositionGiven = (parsed.found & OPTION_DISPOSITION) != 0;
    if (parsed.found & OPTION_RUNS) {
        if (!ParseCount(OptionValue(parsed, OPTION_RUNS), &cli.runs) || cli.runs < 1 || cli.runs > LOOP_COUNT_MAX)
            return Complain(EXIT_USAGE, "%s: --runs takes a count from 1 to %d", command.name, int(LOOP_COUNT_MAX));
    }
    cli.apdu = OptionValue(parsed, OPTION_APDU);
    cli.tolerance = OptionValue(parsed, OPTION_TOLERANCE);
    cli.count = parsed.positionalCount;
    cli.positional = args;
    return command.run(cli);
}

// The program's own options, then the command, which reads the rest.
int RunArguments(char** args, int count)
{
    static ParsedOptions parsed;
    ParseOptions(PROGRAM_OPTIONS, args, count, true, false, &parsed);
    if (parsed.error[0] != '\0')
        return Complain(EXIT_USAGE, "%s", parsed.error);
    if (parsed.found & OPTION_VERSION)
        return PrintVersion();
    if (parsed.found & OPTION_HELP) {
        PrintHelp(nullptr);
        return EXIT_AS_EXPECTED;
    }
    const char* name = parsed.positionalCount > 0 ? args[0] : "";
    if (name[0] == '\0')
        return Complain(EXIT_USAGE, "a command is missing (--help lists them)");
    for (const CliCommand& command : CLI_COMMANDS)
        if (strcmp(name, command.name) == 0)
            return RunCommand(command, args + 1, parsed.positionalCount - 1, parsed.dashes);
    return Complain(EXIT_USAGE, "unknown command \"%s\" (--help lists them)", name);
}

}  // namespace

int RunCommandLine(int argc, char* argv[])
{
    // The program never sets a locale: numbers keep their decimal point
    // (JSON above all) and texts their bytes.
    int status = RunArguments(argv + 1, argc - 1);
    // Output lost is a failure, also after help or the version (as GNU tools do).
    if (!FlushOutput())
        return Complain(status != EXIT_AS_EXPECTED ? status : EXIT_FAILED, "standard output: %s",
                        strerror(OutputError()));
    return status;
}
