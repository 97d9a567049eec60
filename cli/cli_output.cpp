// The command line's stdout: the window's texts as lines, or JSON objects.
#include "cli/cli_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/clock/counter.h"
#include "core/output/result_text.h"
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

// The length of the UTF-8 sequence `c` starts with: 1 to 4 for a sequence
// of the shortest form, a code point no higher than U+10FFFF and no
// surrogate; 0 for a byte that starts none. A NUL byte ends any sequence.
int Utf8SequenceLength(const unsigned char* c)
{
    // The second byte's range depends on the first; the bytes after it are
    // always 80 to BF.
    unsigned char low = 0x80, high = 0xBF;
    int length;
    if (c[0] < 0x80)
        return 1;
    if (c[0] >= 0xC2 && c[0] <= 0xDF)
        length = 2;
    else if (c[0] >= 0xE0 && c[0] <= 0xEF)
        length = 3;
    else if (c[0] >= 0xF0 && c[0] <= 0xF4)
        length = 4;
    else
        return 0;
    if (c[0] == 0xE0)
        low = 0xA0;  // shorter forms
    else if (c[0] == 0xED)
        high = 0x9F;  // surrogates
    else if (c[0] == 0xF0)
        low = 0x90;  // shorter forms
    else if (c[0] == 0xF4)
        high = 0x8F;  // beyond U+10FFFF
    if (c[1] < low || c[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (c[i] < 0x80 || c[i] > 0xBF)
            return 0;
    return length;
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
