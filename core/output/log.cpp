// The log's restart rule on a caller's buffer, and the log saved to a file.
#include "core/output/log.h"

#include <cstdio>
#include <cstring>

#include "core/output/save_file.h"
#include "core/output/utf8.h"

bool AppendLogEntry(char (&log)[LOG_TEXT_SIZE], const char* entry)
{
    size_t oldLength = strlen(log);
    size_t newLength = strlen(entry);

    if (oldLength + newLength + 2 >= LOG_RESTART_LENGTH) {
        // An entry too long for the buffer on its own keeps what a full log holds.
        if (newLength >= LOG_TEXT_SIZE - 1)
            newLength = LOG_RESTART_LENGTH - 1;
        memcpy(log, entry, newLength);
        log[newLength] = '\0';
        return true;
    }
    char* end = log + oldLength;
    if (oldLength > 0) {
        *end++ = '\r';
        *end++ = '\n';
    }
    memcpy(end, entry, newLength + 1);
    return false;
}

// CR LF becomes LF; a byte that is not part of valid UTF-8 is written as its
// Latin-1 character in UTF-8, the way the pane shows it.
static bool WriteLogLines(FILE* file, const void* content)
{
    const unsigned char* text = static_cast<const unsigned char*>(content);
    while (*text != '\0') {
        int length = Utf8SequenceLength(text);
        if (text[0] == '\r' && text[1] == '\n') {
            text += 1;
            continue;
        }
        if (length == 0) {
            if (fputc(0xC0 | (text[0] >> 6), file) == EOF || fputc(0x80 | (text[0] & 0x3F), file) == EOF)
                return false;
            text += 1;
        } else {
            if (fwrite(text, 1, size_t(length), file) != size_t(length))
                return false;
            text += length;
        }
    }
    return *static_cast<const char*>(content) == '\0' || fputc('\n', file) != EOF;
}

int WriteLogFile(const char* path, const char* log)
{
    return SaveFileWhole(path, WriteLogLines, log);
}
