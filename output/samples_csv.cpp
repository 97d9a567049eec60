// CSV of the loop's samples, written whole or not at all.
#include "output/samples_csv.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes all `size` bytes; 0 or the errno.
int WriteAll(int fd, const char* bytes, size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        bytes += written;
        size -= size_t(written);
    }
    return 0;
}

// The rows, through a fixed buffer; 0 or the errno of the first failed write.
int WriteRows(int fd, const int64_t* ns, const LONG* status, const uint16_t* sw, int32_t runs)
{
    constexpr size_t ROW_SIZE = 64;  // "5000,9223372036854775807,0xFFFFFFFF,FF FF\n" and more
    char buffer[16384];
    size_t used = size_t(snprintf(buffer, sizeof buffer, "run,ns,pcsc,sw\n"));
    for (int32_t run = 0; run < runs; ++run) {
        if (used > sizeof buffer - ROW_SIZE) {
            if (int error = WriteAll(fd, buffer, used))
                return error;
            used = 0;
        }
        char word[8] = "";
        if (sw[run] != 0)
            snprintf(word, sizeof word, "%02X %02X", sw[run] >> 8, sw[run] & 0xFF);
        used += size_t(snprintf(buffer + used, ROW_SIZE, "%d,%" PRId64 ",0x%08X,%s\n", run + 1, ns[run],
                                unsigned(uint32_t(status[run])), word));
    }
    return WriteAll(fd, buffer, used);
}

}  // namespace

int WriteSamplesCsv(const char* path, const int64_t* ns, const LONG* status, const uint16_t* sw, int32_t runs)
{
    char temporary[PATH_MAX];
    if (snprintf(temporary, sizeof temporary, "%s.XXXXXX", path) >= int(sizeof temporary))
        return ENAMETOOLONG;
    int fd = mkstemp(temporary);
    if (fd < 0)
        return errno;
    // mkstemp makes the file private; the samples get the mode a new file gets.
    mode_t mask = umask(0);
    umask(mask);
    int error = fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
    if (!error)
        error = WriteRows(fd, ns, status, sw, runs);
    if (!error && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && !error)
        error = errno;
    if (!error && rename(temporary, path) != 0)
        error = errno;
    if (error)
        unlink(temporary);
    return error;
}
