// The command line's arguments: Qt's parser reads them, the table of
// commands says what each takes, and the command runs over plain values.
#include "cli/cli.h"

#include <clocale>
#include <cstdio>
#include <cstring>

#include <QCommandLineParser>
#include <QCoreApplication>

#include "cli/cli_commands.h"
#include "core/transmit/transmit.h"
#include "core/version/version.h"

namespace {

enum CommandOption : unsigned {
    OPTION_READER = 1,
    OPTION_LOOP = 2,
    OPTION_EXPECT = 4,
};

struct PositionalArgument {
    const char* name;
    const char* description;
    const char* syntax;
};

struct Command {
    const char* name;
    const char* synopsis;  // after the name, for the overview
    const char* description;
    unsigned options;
    int minimum;  // positional arguments
    int maximum;
    PositionalArgument arguments[4];
    int (*run)(const CliArguments& args);
};

constexpr PositionalArgument HEX_ARGUMENT = {"HEX", "The APDU in hex, blanks allowed: 00CA000000 or 00 CA 00 00 00.",
                                             "HEX..."};

const Command COMMANDS[] = {
    {"list", "", "The readers, with card state and ATR.", 0, 0, 0, {}, RunList},
    {"attributes",
     "[--reader R]",
     "The nineteen attributes of a reader and its card, in the window's formats.",
     OPTION_READER,
     0,
     0,
     {},
     RunAttributes},
    {"send",
     "[--reader R] [--loop N] [--expect SW] HEX...",
     "Sends one APDU, or with --loop the same APDU N times, and prints the exchange.",
     OPTION_READER | OPTION_LOOP | OPTION_EXPECT,
     1,
     CLI_POSITIONAL_MAX,
     {HEX_ARGUMENT},
     RunSend},
    {"run",
     "[--reader R] FILE",
     "Replays a script of APDUs: one hex APDU a line, # comments, reset, loop N ... end, expect SW, exit.",
     OPTION_READER,
     1,
     1,
     {{"FILE", "The script.", "FILE"}},
     RunScript},
    {"vendor",
     "[--reader R] CMD P1 P2 [DATA]",
     "Sends one vendor request to the reader driver (SCardControl).",
     OPTION_READER,
     3,
     CLI_POSITIONAL_MAX,
     {{"CMD", "The vendor command, 0 to 255 (8: firmware revision).", "CMD"},
      {"P1", "Its first parameter (PA).", "P1"},
      {"P2", "Its second parameter (PB).", "P2"},
      {"DATA", "Data bytes in hex.", "[DATA]"}},
     RunVendor},
    {"monitor", "", "Prints card and reader events as they happen, until interrupted.", 0, 0, 0, {}, RunMonitor},
};

constexpr size_t TEXT_POOL_SIZE = 65536;
// The arguments' text as the commands read it.
char textPool[TEXT_POOL_SIZE];
size_t textUsed;

// A copy of `text` in the pool; null when the pool is full.
const char* KeepText(const QString& text)
{
    QByteArray bytes = text.toLocal8Bit();
    size_t size = size_t(bytes.size()) + 1;
    if (size > TEXT_POOL_SIZE - textUsed)
        return nullptr;
    char* kept = textPool + textUsed;
    memcpy(kept, bytes.constData(), size);
    textUsed += size;
    return kept;
}

void PrintHelp(const QCommandLineParser& parser)
{
    fputs(parser.helpText().toLocal8Bit().constData(), stdout);
}

QString Overview()
{
    QString text = QStringLiteral(
        "A test bench for contactless smart-card readers over PC/SC. Without arguments it opens its window;\n"
        "with a command it runs without a display.\n\nCommands:\n");
    for (const Command& command : COMMANDS) {
        QString usage = QStringLiteral("%1 %2").arg(QLatin1String(command.name), QLatin1String(command.synopsis));
        text += QStringLiteral("  %1\n      %2\n").arg(usage.trimmed(), QLatin1String(command.description));
    }
    text += QStringLiteral(
        "\nEvery command takes --json (one JSON object a line) and --help. --reader R names a reader by its name\n"
        "or its index in the list; without it the first reader with a card is used.\n"
        "Exit status: 0 when all went as expected, 1 when a PC/SC call or an expected status word failed,\n"
        "2 for bad usage (bad arguments, an unknown reader, a bad script).");
    return text;
}

int PrintVersion()
{
    char version[VERSION_LINE_SIZE];
    if (!FormatProgramVersion(version, sizeof version))
        return Complain(EXIT_FAILED, "no version record in the program's file");
    printf("%s %s\n", PROGRAM_NAME, version);
    return EXIT_AS_EXPECTED;
}

// Fills `args` from the command's own options and arguments. Returns -1 to
// go on and run the command, or the exit status after help or a refusal.
int ParseCommand(const Command& command, const QStringList& arguments, CliArguments* args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(command.description));
    QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays this help."));
    QCommandLineOption json(QStringLiteral("json"),
                            QStringLiteral("One JSON object a line (the README names the fields)."));
    QCommandLineOption reader(QStringLiteral("reader"),
                              QStringLiteral("The reader: its name or its index in the list (default: the first "
                                             "reader with a card)."),
                              QStringLiteral("R"));
    QCommandLineOption loop(
        QStringLiteral("loop"),
        QStringLiteral("Sends the APDU N times, 1 to %1, and prints the loop's summary.").arg(LOOP_COUNT_MAX),
        QStringLiteral("N"));
    QCommandLineOption expect(QStringLiteral("expect"),
                              QStringLiteral("The status word every answer must end with, as 9000."),
                              QStringLiteral("SW"));
    parser.addOption(help);
    parser.addOption(json);
    if (command.options & OPTION_READER)
        parser.addOption(reader);
    if (command.options & OPTION_LOOP)
        parser.addOption(loop);
    if (command.options & OPTION_EXPECT)
        parser.addOption(expect);
    parser.addPositionalArgument(QLatin1String(command.name), QString(), QLatin1String(command.name));
    for (const PositionalArgument& argument : command.arguments)
        if (argument.name != nullptr)
            parser.addPositionalArgument(QLatin1String(argument.name), QLatin1String(argument.description),
                                         QLatin1String(argument.syntax));

    if (!parser.parse(arguments))
        return Complain(EXIT_USAGE, "%s: %s", command.name, qPrintable(parser.errorText()));
    if (parser.isSet(help)) {
        PrintHelp(parser);
        return EXIT_AS_EXPECTED;
    }
    QStringList positional = parser.positionalArguments();
    positional.removeFirst();
    if (positional.size() < command.minimum || positional.size() > command.maximum)
        return Complain(EXIT_USAGE, "%s: usage: %s %s %s", command.name, PROGRAM_NAME, command.name, command.synopsis);
    args->json = parser.isSet(json);
    if ((command.options & OPTION_READER) && parser.isSet(reader)
        && (args->reader = KeepText(parser.value(reader))) == nullptr)
        return Complain(EXIT_USAGE, "%s: the arguments are too long", command.name);
    if ((command.options & OPTION_LOOP) && parser.isSet(loop)) {
        bool number;
        args->loop = parser.value(loop).toInt(&number);
        if (!number || args->loop < 1 || args->loop > LOOP_COUNT_MAX)
            return Complain(EXIT_USAGE, "%s: --loop takes a count from 1 to %d", command.name, int(LOOP_COUNT_MAX));
    }
    if ((command.options & OPTION_EXPECT) && parser.isSet(expect)) {
        // The window's rule for its Expected SW field; an empty text is no status word here.
        QByteArray text = parser.value(expect).toLocal8Bit();
        if (!ParseExpectedSw(text.constData(), &args->expectedSw) || args->expectedSw == NO_EXPECTED_SW)
            return Complain(EXIT_USAGE, "%s: --expect takes a status word of two hex bytes, as 9000", command.name);
        args->expect = true;
    }
    for (const QString& text : positional) {
        args->positional[args->count] = KeepText(text);
        if (args->positional[args->count++] == nullptr)
            return Complain(EXIT_USAGE, "%s: the arguments are too long", command.name);
    }
    return -1;
}

}  // namespace

int RunCommandLine(int argc, char* argv[])
{
    // The usage lines name the program as installed, wherever it was started from.
    static char programName[] = "quarnel-test-utility";
    argv[0] = programName;
    QCoreApplication application(argc, argv);
    // Numbers in the output (JSON above all) keep their decimal point in every locale.
    setlocale(LC_NUMERIC, "C");
    const QStringList arguments = QCoreApplication::arguments();

    QCommandLineParser parser;
    parser.setApplicationDescription(Overview());
    QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays this help."));
    QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Displays the version of the program."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("One of the commands above."),
                                 QStringLiteral("command [options] [arguments]"));
    // What follows the command is the command's to parse.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(arguments))
        return Complain(EXIT_USAGE, "%s", qPrintable(parser.errorText()));
    if (parser.isSet(version))
        return PrintVersion();
    if (parser.isSet(help)) {
        PrintHelp(parser);
        return EXIT_AS_EXPECTED;
    }
    const QString name = parser.positionalArguments().value(0);
    if (name.isEmpty())
        return Complain(EXIT_USAGE, "a command is missing (--help lists them)");
    for (const Command& command : COMMANDS) {
        if (name != QLatin1String(command.name))
            continue;
        static CliArguments args;
        int status = ParseCommand(command, arguments, &args);
        return status >= 0 ? status : command.run(args);
    }
    return Complain(EXIT_USAGE, "unknown command \"%s\" (--help lists them)", qPrintable(name));
}
