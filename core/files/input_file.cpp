// Files a user names as input: opened, read whole and quoted safely.
#include "core/files/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char* FileKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    return "a special file";
}

}  // namespace

int OpenRegularFile(const char* path, char (&reason)[INPUT_REASON_SIZE])
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        snprintf(reason, sizeof reason, "%s", strerror(errno));
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        snprintf(reason, sizeof reason, "%s", strerror(errno));
        close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        snprintf(reason, sizeof reason, "%s, not a regular file", FileKind(info.st_mode));
        close(fd);
        return -1;
    }
    return fd;
}

bool ReadWhole(int fd, char* text, uint32_t capacity, uint32_t* length)
{
    *length = 0;
    for (;;) {
        if (*length == capacity) {
            char extra;
            ssize_t got = read(fd, &extra, 1);
            if (got < 0 && errno == EINTR)
                continue;
            if (got > 0)
                errno = EFBIG;
            return got == 0;
        }
        ssize_t got = read(fd, text + *length, capacity - *length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        *length += uint32_t(got);
    }
}

const char* QuoteInput(const char* text, size_t count, char* quoted, size_t size)
{
    size_t used = 0;
    for (size_t i = 0; i < count && text[i] != '\0' && used + 5 <= size; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F)
            quoted[used++] = char(c);
        else
            used += size_t(snprintf(quoted + used, size - used, "\\x%02X", c));
    }
    quoted[used] = '\0';
    return quoted;
}
