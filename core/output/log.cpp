// The log's restart rule on a caller's buffer, and the log saved to a file.
#include "core/output/log.h"

#include <cstdio>
#include <cstring>

#include "core/output/save_file.h"

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

static bool WriteLogLines(FILE* file, const void* content)
{
    const char* text = static_cast<const char*>(content);
    for (; *text != '\0'; ++text)
        if (!(text[0] == '\r' && text[1] == '\n') && fputc(*text, file) == EOF)
            return false;
    return *static_cast<const char*>(content) == '\0' || fputc('\n', file) != EOF;
}

int WriteLogFile(const char* path, const char* log)
{
    return SaveFileWhole(path, WriteLogLines, log);
}
