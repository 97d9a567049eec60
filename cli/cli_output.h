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
#include "core/output/json_writer.h"
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

// JSON on stdout through the core's writer (core/output/json_writer.h),
// each object flushed at its end; the fields as JsonWriter* take them.
JsonWriter* StandardJson();
void JsonBegin(const char* type);
void JsonEnd();
void JsonOpen(const char* name, char bracket);
void JsonClose(char bracket);
void JsonString(const char* name, const char* text);
void JsonNumber(const char* name, int64_t value);
void JsonDecimal(const char* name, double value);
void JsonBool(const char* name, bool value);
void JsonBytes(const char* name, const BYTE* bytes, uint32_t count);
void JsonStatus(LONG status);
void JsonStatusWord(const BYTE* response, DWORD length);
void JsonElapsed(const Span& span, int32_t runs);
