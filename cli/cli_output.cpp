// The command line's stdout: the window's texts as lines, or JSON objects.
#include "cli/cli_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/clock/counter.h"
#include "core/output/result_text.h"
#include "core/output/utf8.h"
#include "core/pcsc/status_text.h"
#include "core/pcsc/status_word.h"

namespace {

constexpr int JSON_DEPTH_MAX = 8;

// The errno of stdout's first failed write or flush; 0 while none failed.
int outputError;

// Whether the next value at each open level is its first (no comma).
bool jsonFirst[JSON_DEPTH_MAX];
int jsonDepth;

void JsonKey(const char* name)
{
    if (!jsonFirst[jsonDepth])
        fputc(',', stdout);
    jsonFirst[jsonDepth] = false;
    if (name != nullptr)
        printf("\"%s\":", name);
}

void PutText([[maybe_unused]] void* context, const char* entry)
{
    PrintText(entry);
}

}  // namespace

void WriteJsonString(FILE* out, const char* text)
{
    fputc('"', out);
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != '\0';) {
        int length = Utf8SequenceLength(c);
        if (*c == '"' || *c == '\\')
            fprintf(out, "\\%c", *c);
        else if (*c < 0x20 || length == 0)
            fprintf(out, "\\u%04X", *c);
        else
            fwrite(c, 1, size_t(length), out);
        c += length > 0 ? length : 1;
    }
    fputc('"', out);
}

bool FlushOutput()
{
    if (fflush(stdout) != 0 && outputError == 0)
        outputError = errno != 0 ? errno : EIO;
    // A write that failed before, inside a printf, leaves only the flag.
    if (ferror(stdout) && outputError == 0)
        outputError = EIO;
    return outputError == 0;
}

int OutputError()
{
    return outputError;
}

const LineSink standardOutput {PutText, nullptr};

void PrintText(const char* text)
{
    for (const char* c = text; *c != '\0'; ++c)
        if (*c != '\r')
            fputc(*c, stdout);
    fputc('\n', stdout);
}

void EndOutput()
{
    FlushOutput();
}

void JsonBegin(const char* type)
{
    jsonDepth = 0;
    jsonFirst[0] = true;
    fputc('{', stdout);
    JsonString("type", type);
}

void JsonEnd()
{
    fputs("}\n", stdout);
    FlushOutput();
}

void JsonOpen(const char* name, char bracket)
{
    JsonKey(name);
    fputc(bracket, stdout);
    if (jsonDepth + 1 < JSON_DEPTH_MAX)
        jsonFirst[++jsonDepth] = true;
}

void JsonClose(char bracket)
{
    fputc(bracket, stdout);
    if (jsonDepth > 0)
        --jsonDepth;
}

void JsonString(const char* name, const char* text)
{
    JsonKey(name);
    if (text == nullptr)
        fputs("null", stdout);
    else
        WriteJsonString(stdout, text);
}

void JsonNumber(const char* name, int64_t value)
{
    JsonKey(name);
    printf("%lld", static_cast<long long>(value));
}

void JsonDecimal(const char* name, double value)
{
    JsonKey(name);
    printf("%.3f", value);
}

void JsonBool(const char* name, bool value)
{
    JsonKey(name);
    fputs(value ? "true" : "false", stdout);
}

void JsonBytes(const char* name, const BYTE* bytes, uint32_t count)
{
    JsonKey(name);
    if (bytes == nullptr) {
        fputs("null", stdout);
        return;
    }
    fputc('"', stdout);
    for (uint32_t i = 0; i < count; ++i)
        printf("%02X", bytes[i]);
    fputc('"', stdout);
}

void JsonStatus(LONG status)
{
    char code[RESULT_TEXT_SIZE];
    FormatStatus(code, status);
    JsonString("status", code);
    JsonString("status_name", StatusName(status));
    JsonString("status_alias", StatusAlias(status));
    char text[STATUS_TEXT_SIZE];
    StatusText(status, text, sizeof text);
    JsonString("status_text", text);
}

void JsonStatusWord(const BYTE* response, DWORD length)
{
    if (length < 2) {
        JsonString("sw", nullptr);
        JsonString("sw_meaning", nullptr);
        return;
    }
    char text[STATUS_WORD_TEXT_SIZE];
    StatusWordMeaning(response[length - 2], response[length - 1], text, sizeof text);
    JsonBytes("sw", response + length - 2, 2);
    JsonString("sw_meaning", text);
}

void JsonElapsed(const Span& span, int32_t runs)
{
    JsonDecimal("ms", SpanMsPerRun(span, QueryPerformanceFrequency() / 1000, runs));
}
