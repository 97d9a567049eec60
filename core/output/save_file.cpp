// Files written whole or not at all: a new file beside the target, renamed
// over it once complete.
#include "core/output/save_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {

// Tries this many names for the new file before giving up.
constexpr int NEW_NAME_TRIES = 100;

// Creates `path`.save-PID-N, not yet existing, readable as the umask allows.
int CreateBeside(const char* path, char (&name)[PATH_MAX])
{
    for (int n = 0; n < NEW_NAME_TRIES; ++n) {
        if (snprintf(name, sizeof name, "%s.save-%d-%d", path, int(getpid()), n) >= int(sizeof name)) {
            errno = ENAMETOOLONG;
            return -1;
        }
        int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

int SaveFileWhole(const char* path, FileWriter write, const void* content)
{
    char name[PATH_MAX];
    int fd = CreateBeside(path, name);
    if (fd < 0)
        return errno;
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) {
        int error = errno;
        close(fd);
        unlink(name);
        return error;
    }
    errno = 0;
    bool written = write(file, content) && fflush(file) == 0 && fsync(fd) == 0;
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    if (fclose(file) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(name, path) != 0)
        error = errno;
    if (error != 0)
        unlink(name);
    return error;
}
