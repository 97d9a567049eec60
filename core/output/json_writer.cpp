// JSON objects written field by field into a stream.
#include "core/output/json_writer.h"

#include "core/clock/counter.h"
#include "core/output/result_text.h"
#include "core/output/utf8.h"
#include "core/pcsc/status_text.h"
#include "core/pcsc/status_word.h"

namespace {

void JsonKey(JsonWriter* json, const char* name)
{
    if (!json->first[json->depth])
        fputc(',', json->file);
    json->first[json->depth] = false;
    if (name != nullptr)
        fprintf(json->file, "\"%s\":", name);
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

void JsonWriterBegin(JsonWriter* json, const char* type)
{
    json->depth = 0;
    json->first[0] = true;
    fputc('{', json->file);
    JsonWriterString(json, "type", type);
}

void JsonWriterEnd(JsonWriter* json)
{
    fputs("}\n", json->file);
}

void JsonWriterOpen(JsonWriter* json, const char* name, char bracket)
{
    JsonKey(json, name);
    fputc(bracket, json->file);
    if (json->depth + 1 < JSON_DEPTH_MAX)
        json->first[++json->depth] = true;
}

void JsonWriterClose(JsonWriter* json, char bracket)
{
    fputc(bracket, json->file);
    if (json->depth > 0)
        --json->depth;
}

void JsonWriterString(JsonWriter* json, const char* name, const char* text)
{
    JsonKey(json, name);
    if (text == nullptr)
        fputs("null", json->file);
    else
        WriteJsonString(json->file, text);
}

void JsonWriterNumber(JsonWriter* json, const char* name, int64_t value)
{
    JsonKey(json, name);
    fprintf(json->file, "%lld", static_cast<long long>(value));
}

void JsonWriterDecimal(JsonWriter* json, const char* name, double value)
{
    JsonKey(json, name);
    fprintf(json->file, "%.3f", value);
}

void JsonWriterBool(JsonWriter* json, const char* name, bool value)
{
    JsonKey(json, name);
    fputs(value ? "true" : "false", json->file);
}

void JsonWriterBytes(JsonWriter* json, const char* name, const BYTE* bytes, uint32_t count)
{
    JsonKey(json, name);
    if (bytes == nullptr) {
        fputs("null", json->file);
        return;
    }
    fputc('"', json->file);
    for (uint32_t i = 0; i < count; ++i)
        fprintf(json->file, "%02X", bytes[i]);
    fputc('"', json->file);
}

void JsonWriterStatus(JsonWriter* json, LONG status)
{
    char code[RESULT_TEXT_SIZE];
    FormatStatus(code, status);
    JsonWriterString(json, "status", code);
    JsonWriterString(json, "status_name", StatusName(status));
    JsonWriterString(json, "status_alias", StatusAlias(status));
    char text[STATUS_TEXT_SIZE];
    StatusText(status, text, sizeof text);
    JsonWriterString(json, "status_text", text);
}

void JsonWriterStatusWord(JsonWriter* json, const BYTE* response, DWORD length)
{
    if (length < 2) {
        JsonWriterString(json, "sw", nullptr);
        JsonWriterString(json, "sw_meaning", nullptr);
        return;
    }
    char text[STATUS_WORD_TEXT_SIZE];
    StatusWordMeaning(response[length - 2], response[length - 1], text, sizeof text);
    JsonWriterBytes(json, "sw", response + length - 2, 2);
    JsonWriterString(json, "sw_meaning", text);
}

void JsonWriterElapsed(JsonWriter* json, const Span& span, int32_t runs)
{
    JsonWriterDecimal(json, "ms", SpanMsPerRun(span, QueryPerformanceFrequency() / 1000, runs));
}
