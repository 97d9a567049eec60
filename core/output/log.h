// The log's text: entries separated by CR LF in one fixed buffer that starts
// over with the new entry when it would grow too long.
#pragma once

#include <cstddef>

// The log text's buffer, its terminator included.
constexpr int LOG_TEXT_SIZE = 10000;

// The log restarts when old + new + separator would reach this length, so an
// append that fits never leaves more than LOG_RESTART_LENGTH - 1 characters.
constexpr size_t LOG_RESTART_LENGTH = 9994;

// Appends `entry` (it may hold CR LF breaks of its own); returns true when
// the log restarted with the entry alone instead.
bool AppendLogEntry(char (&log)[LOG_TEXT_SIZE], const char* entry);

// Writes the log into the file at `path`, whole or not at all, its CR LF
// breaks as the line ends of a Linux text file and a line end after the
// last entry, in UTF-8 as the pane reads it (core/output/utf8.h): a byte that
// is not part of valid UTF-8 is written as its Latin-1 character. Returns 0, or the errno of the step that failed.
int WriteLogFile(const char* path, const char* log);
