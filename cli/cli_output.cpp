// The command line's stdout: the window's texts as lines, or JSON objects.
#include "cli/cli_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/clock/counter.h"
#include "core/output/result_text.h"
#include "core/pcsc/status_text.h"
#include "core/pcsc/status_word.h"

namespace {

constexpr int JSON_DEPTH_MAX = 8;

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

void JsonQuoted(const char* text)
{
    fputc('"', stdout);
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\')
            printf("\\%c", *c);
        else if (*c < 0x20)
            printf("\\u%04X", *c);
        else
            fputc(*c, stdout);
    }
    fputc('"', stdout);
}

double MillisecondsPerRun(const Span& span, int32_t runs)
{
    int64_t frequency = QueryPerformanceFrequency();
    return frequency > 0 ? double(span.end - span.start) * 1000.0 / double(frequency) / std::max(runs, 1) : 0.0;
}

}  // namespace

void PrintText(const char* text)
{
    for (const char* c = text; *c != '\0'; ++c)
        if (*c != '\r')
            fputc(*c, stdout);
    fputc('\n', stdout);
}

void PrintDump(const char* title, const BYTE* bytes, uint32_t count, DumpForm form)
{
    char text[DUMP_TEXT_SIZE];
    FormatDump(text, bytes, count, form);
    PrintText(title);
    PrintText(text);
}

void PrintVendorRecord(const char* title, const VendorIoRecord& record, int32_t size)
{
    PrintText(title);
    if (size != VENDOR_RECORD_SIZE)
        return;
    char text[DUMP_TEXT_SIZE];
    FormatVendorHeader(text, record);
    PrintText(text);
    FormatDump(text, record.data, std::min<uint32_t>(record.le, VENDOR_DATA_SIZE), DUMP_HEX);
    PrintText(text);
}

void PrintStatus(LONG status)
{
    char text[STATUS_TEXT_SIZE];
    DescribeStatus(status, text, sizeof text);
    printf("Status: %s\n", text);
}

void PrintStatusWord(const BYTE* response, DWORD length)
{
    char text[STATUS_WORD_TEXT_SIZE];
    DescribeResponseStatus(response, length, text, sizeof text);
    printf("SW: %s\n", text);
}

void PrintElapsed(const Span& span, int32_t runs)
{
    int64_t frequency = QueryPerformanceFrequency();
    char text[RESULT_TEXT_SIZE];
    FormatElapsed(text, span, frequency / 1000, runs);
    printf("Elapsed: %s\n", text + strspn(text, " "));
}

void EndOutput()
{
    fflush(stdout);
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
    fflush(stdout);
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
        JsonQuoted(text);
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
    DescribeStatusWord(response[length - 2], response[length - 1], text, sizeof text);
    JsonBytes("sw", response + length - 2, 2);
    // The meaning without the "90 00: " it starts with.
    JsonString("sw_meaning", text + strlen("90 00: "));
}

void JsonElapsed(const Span& span, int32_t runs)
{
    JsonDecimal("ms", MillisecondsPerRun(span, runs));
}
