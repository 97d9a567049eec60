// A qualification as JSON objects, one a line: the environment, then one
// object per suite with its measurements, limits and verdict. What the
// command line prints with --json and what the window saves are the same
// lines, written here.
#pragma once

#include <cstdio>

#include "core/output/json_writer.h"
#include "core/output/qualify_report.h"

// {"type":"environment",...}: every field of the environment and the caveat.
void WriteQualifyEnvironmentJson(JsonWriter* json, const QualifyEnvironment& environment);
// {"type":"suite",...} of `result`, run on `reader`.
void WriteQualifySuiteJson(JsonWriter* json, const PlanSuite& suite, const SuiteResult& result, const char* reader);
// The environment and every suite's object; false when a write failed.
bool WriteQualifyJson(FILE* file, const QualifyReport& report);
// The lines into `path`, whole or not at all (core/output/save_file.h);
// 0 or the errno of the failure.
int SaveQualifyJsonFile(const char* path, const QualifyReport& report);
