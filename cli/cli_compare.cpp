// The compare command: reads two files whole (regular files within the
// reader's limit), checks that both are passports or both qualify output,
// and prints a line per difference, "PATH: A -> B", with the change of a
// number in percent and "[crossed]" where a limit is crossed.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "core/files/input_file.h"
#include "core/output/compare.h"
#include "core/output/json_reader.h"

namespace {

struct ComparedFile {
    char text[JSON_TEXT_MAX];
    JsonDocument document;
    CompareKind kind;
};

// Reads and classifies the file at `path`; false, said on stderr as
// "PATH: reason" (with its line and byte where they help).
bool LoadCompared(const char* path, ComparedFile* file)
{
    char reason[INPUT_REASON_SIZE];
    int fd = OpenRegularFile(path, reason);
    if (fd < 0) {
        Complain(EXIT_USAGE, "compare: %s: %s", path, reason);
        return false;
    }
    uint32_t length;
    bool read = ReadWhole(fd, file->text, sizeof file->text, &length);
    int error = errno;
    close(fd);
    if (!read && error == EFBIG) {
        Complain(EXIT_USAGE, "compare: %s: larger than %u bytes", path, unsigned(JSON_TEXT_MAX));
        return false;
    }
    if (!read) {
        Complain(EXIT_USAGE, "compare: %s: %s", path, strerror(error));
        return false;
    }
    JsonFailure failure;
    if (!ReadJson(file->text, length, &file->document, &failure)) {
        Complain(EXIT_USAGE, "compare: %s:%d: not JSON: %s (byte %u)", path, int(failure.line), failure.reason,
                 unsigned(failure.offset));
        return false;
    }
    if (!FindCompareKind(file->document, &file->kind, &failure)) {
        if (failure.line > 0)
            Complain(EXIT_USAGE, "compare: %s:%d: %s", path, int(failure.line), failure.reason);
        else
            Complain(EXIT_USAGE, "compare: %s: %s", path, failure.reason);
        return false;
    }
    return true;
}

// A value as the line shows it: a string quoted as JSON, a number as
// written, an array or object by its size, "none" where there is none.
void PrintValue(const JsonDocument& document, int32_t value)
{
    if (value == JSON_NONE) {
        fputs("none", stdout);
        return;
    }
    const JsonValue& v = document.values[value];
    switch (v.type) {
    case JSON_NULL:
        fputs("null", stdout);
        break;
    case JSON_FALSE:
        fputs("false", stdout);
        break;
    case JSON_TRUE:
        fputs("true", stdout);
        break;
    case JSON_NUMBER:
        fputs(JsonText(document, value), stdout);
        break;
    case JSON_STRING:
        WriteJsonString(stdout, JsonText(document, value));
        break;
    case JSON_ARRAY:
        printf("[%d values]", int(v.count));
        break;
    case JSON_OBJECT:
        printf("{%d members}", int(v.count));
        break;
    }
}

struct Printing {
    const JsonDocument* a;
    const JsonDocument* b;
};

void PrintDifference(void* context, const CompareDifference& difference)
{
    const Printing& printing = *static_cast<const Printing*>(context);
    // A name may hold any character: one that would steer a terminal is shown as \xHH.
    for (const char* c = difference.path; *c != '\0'; ++c) {
        unsigned char byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F)
            printf("\\x%02X", byte);
        else
            fputc(byte, stdout);
    }
    fputs(": ", stdout);
    PrintValue(*printing.a, difference.a);
    fputs(" -> ", stdout);
    PrintValue(*printing.b, difference.b);
    if (difference.change)
        printf(" (%+.1f %%)", difference.percent);
    if (difference.crossed)
        fputs(" [crossed]", stdout);
    fputc('\n', stdout);
}

}  // namespace

int RunCompare(const CliArguments& args)
{
    if (args.json)
        return Complain(EXIT_USAGE, "compare: prints lines of text only; --json is for the files it reads");
    double tolerance = COMPARE_TOLERANCE_DEFAULT;
    if (args.tolerance != nullptr) {
        char* end;
        errno = 0;
        tolerance = strtod(args.tolerance, &end);
        if (end == args.tolerance || *end != '\0' || errno != 0 || !std::isfinite(tolerance) || tolerance < 0)
            return Complain(EXIT_USAGE, "compare: --tolerance takes a percentage of 0 or more, as 10 or 2.5");
    }
    static ComparedFile a, b;
    const char* pathA = args.positional[0];
    const char* pathB = args.positional[1];
    if (!LoadCompared(pathA, &a) || !LoadCompared(pathB, &b))
        return EXIT_USAGE;
    if (a.kind != b.kind)
        return Complain(EXIT_USAGE, "compare: %s: %s, not %s as %s is", pathB, CompareKindName(b.kind),
                        CompareKindName(a.kind), pathA);
    Printing printing {&a.document, &b.document};
    CompareTotals totals;
    CompareDocuments(a.kind, a.document, b.document, tolerance, CompareSink {PrintDifference, &printing}, &totals);
    char shown[32];
    snprintf(shown, sizeof shown, "%g", tolerance);
    printf("Differences: %d, crossed: %d (%s; tolerance %s %%)\n", int(totals.differences), int(totals.crossed),
           CompareKindName(a.kind), shown);
    EndOutput();
    if (totals.crossed > 0)
        return Complain(EXIT_FAILED, "compare: %d limit%s crossed", int(totals.crossed),
                        totals.crossed == 1 ? "" : "s");
    return OutputError() == 0 ? EXIT_AS_EXPECTED : EXIT_FAILED;
}
