// The number of file descriptors the test process holds, for tests that
// check a reader of files closes what it opened on every path.
#pragma once

#include <dirent.h>

inline int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}
