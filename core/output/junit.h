// A qualification as JUnit XML, for a CI job's test report: one
// <testsuite> per reader (the environment as its properties) and one
// <testcase> per suite of the plan and reader, with <failure> for a suite that failed
// and <skipped> for one that was inconclusive. Every text is escaped, so any
// reader name or value makes well-formed XML.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/output/qualify_report.h"

// `text` as XML character data or an attribute value: & < > " ' as
// entities; valid UTF-8 as it is; a control character XML cannot hold as
// &#xFFFD;; any byte not part of valid UTF-8 as its Latin-1 reading, &#xHH;.
// False when a write failed.
bool WriteXmlText(FILE* file, const char* text);
// The whole document; false when a write failed.
bool WriteJunit(FILE* file, const QualifyReport& report);
// The document of several readers run at once: one <testsuite> per report,
// and the reader's name as each <testcase>'s classname (in place of
// "qualify." and the suite's kind), so that CI tools, which key a case by
// classname and name, keep every reader's cases apart. One report writes
// what WriteJunit writes.
bool WriteJunitReaders(FILE* file, const QualifyReport* reports, int32_t count);
// The document into `path`, whole or not at all (core/output/save_file.h);
// 0 or the errno of the failure.
int SaveJunitFile(const char* path, const QualifyReport& report);
// The same for `count` reports, as WriteJunitReaders writes them.
int SaveJunitFile(const char* path, const QualifyReport* reports, int32_t count);
