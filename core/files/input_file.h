// Files a user names as input (scripts, plans, reports to compare): opened
// without waiting on a FIFO and refused unless regular, read whole up to a
// cap, and quoted safely in the messages that refuse them.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t INPUT_REASON_SIZE = 128;

// A descriptor open for reading on `path` when it names a regular file;
// else -1 with `reason` filled: the error ("No such file or directory") or
// what the file is instead ("a FIFO, not a regular file").
int OpenRegularFile(const char* path, char (&reason)[INPUT_REASON_SIZE]);

// Reads `fd` to its end into `text` (`capacity` bytes); false with errno,
// EFBIG when the file holds more than `capacity`.
bool ReadWhole(int fd, char* text, uint32_t capacity, uint32_t* length);

// `text` as a message quotes it, into `quoted` (`size` at least 4 * `count`
// + 1): at most `count` characters, each byte outside printable ASCII as
// \xHH, so that a terminal's escape sequence in a file is shown, never
// played. Returns `quoted`.
const char* QuoteInput(const char* text, size_t count, char* quoted, size_t size);
