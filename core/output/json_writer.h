// JSON objects written field by field into a stream: one object a line, its
// arrays and objects nested inside it. What the command line prints with
// --json and what the window saves of a qualification are written by it,
// so both give the same fields in the same form.
#pragma once

#include <cstdint>
#include <cstdio>

#include <winscard.h>

#include "core/clock/timing.h"

constexpr int JSON_DEPTH_MAX = 8;

// One stream's writer: where the next value goes and whether it is the
// first of its level (no comma).
struct JsonWriter {
    FILE* file;
    int32_t depth;
    bool first[JSON_DEPTH_MAX];
};

// An object starts with its "type" and ends with a line end. `name` is null
// for an element of an array.
void JsonWriterBegin(JsonWriter* json, const char* type);
void JsonWriterEnd(JsonWriter* json);
void JsonWriterOpen(JsonWriter* json, const char* name, char bracket);  // '[' or '{'
void JsonWriterClose(JsonWriter* json, char bracket);
void JsonWriterString(JsonWriter* json, const char* name, const char* text);  // null for nullptr
void JsonWriterNumber(JsonWriter* json, const char* name, int64_t value);
void JsonWriterDecimal(JsonWriter* json, const char* name, double value);  // three decimals
void JsonWriterBool(JsonWriter* json, const char* name, bool value);
// Hex digit pairs without blanks ("00CA000000"); null for nullptr.
void JsonWriterBytes(JsonWriter* json, const char* name, const BYTE* bytes, uint32_t count);
// "status", "status_name" (null when it has none), "status_alias" (the
// second name of a value two share, else null) and "status_text".
void JsonWriterStatus(JsonWriter* json, LONG status);
// "sw" (null for a response of fewer than two bytes) and "sw_meaning".
void JsonWriterStatusWord(JsonWriter* json, const BYTE* response, DWORD length);
// "ms": the span in milliseconds, per run of `runs`.
void JsonWriterElapsed(JsonWriter* json, const Span& span, int32_t runs);

// `text` as a JSON string: valid UTF-8 as it is; quote, backslash and control
// characters escaped; and every byte that is not part of valid UTF-8 as
// \u00XX, its Latin-1 reading, so that any bytes (a reader's name, a value a
// reader gave) make valid JSON.
void WriteJsonString(FILE* out, const char* text);
