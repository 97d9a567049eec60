// The log's restart rule on a caller's buffer.
#include "output/log.h"

#include <cstring>

bool AppendLogEntry(char (&log)[BUFFER_SIZE], const char* entry)
{
    size_t oldLength = strlen(log);
    size_t newLength = strlen(entry);

    if (oldLength + newLength + 2 >= LOG_RESTART_LENGTH) {
        // An entry too long for the buffer on its own keeps what a full log holds.
        if (newLength >= BUFFER_SIZE - 1)
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
