// What the command line prints on stdout: the window's texts (its dumps,
// its status and elapsed formats) as lines, or with --json one JSON object a
// line, its fields written one call each. Every object and exchange is
// flushed at once, so a reader of a pipe sees it as it happens; a write that
// fails is kept, for the command to stop and the program to report it.
#pragma once

#include <cstdint>
#include <cstdio>

#include <winscard.h>

#include "core/clock/timing.h"
#include "core/output/dump.h"
#include "core/output/report.h"

// Text.
// Prints `text` with its CR LF breaks as line ends, and a line end after it.
void PrintText(const char* text);
// The sink that prints each entry as PrintText does: what the core's
// writers (core/output/report.h) write to for stdout.
extern const LineSink standardOutput;
// A line for stdout's reader, flushed.
void EndOutput();
// Flushes stdout; false once a write to it has failed, now or before.
bool FlushOutput();
// The errno of stdout's first failed write or flush; 0 while none failed.
int OutputError();

// JSON. An object starts with its "type" and ends with a line end; arrays
// and objects nest inside it. `name` is null for an element of an array.
void JsonBegin(const char* type);
void JsonEnd();
void JsonOpen(const char* name, char bracket);  // '[' or '{'
void JsonClose(char bracket);
void JsonString(const char* name, const char* text);  // null for nullptr
// `text` as a JSON string: valid UTF-8 as it is; quote, backslash and control
// characters escaped; and every byte that is not part of valid UTF-8 as
// \u00XX, its Latin-1 reading, so that any bytes (a reader's name, a value a
// reader gave) make valid JSON.
void WriteJsonString(FILE* out, const char* text);
void JsonNumber(const char* name, int64_t value);
void JsonDecimal(const char* name, double value);  // three decimals
void JsonBool(const char* name, bool value);
// Hex digit pairs without blanks ("00CA000000"); null for nullptr.
void JsonBytes(const char* name, const BYTE* bytes, uint32_t count);
// "status", "status_name" (null when it has none), "status_alias" (the
// second name of a value two share, else null) and "status_text".
void JsonStatus(LONG status);
// "sw" (null for a response of fewer than two bytes) and "sw_meaning".
void JsonStatusWord(const BYTE* response, DWORD length);
// "ms": the span in milliseconds, per run of `runs`.
void JsonElapsed(const Span& span, int32_t runs);
