// The Help button: which copy of the help page it opens.
#include "window/help.h"

#include "window/commands.h"
#include "window/window_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

static const char HELP_PAGE[] = "qrnlhelp.htm";
constexpr int PATH_SIZE = 4096;

static bool IsRegularFile(const char* path)
{
    struct stat status;
    return stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

bool FindHelpPage(const char* programPath, char* path, int capacity)
{
    // A page in the current folder wins.
    if (snprintf(path, size_t(capacity), "%s", HELP_PAGE) < capacity && IsRegularFile(path))
        return true;
    // The install puts the page at a fixed place relative to the program's
    // folder, so the copy is found whatever prefix it was installed to.
    const char* slash = strrchr(programPath, '/');
    if (slash
        && snprintf(path, size_t(capacity), "%.*s/%s/%s", int(slash - programPath), programPath,
                    QTU_HELP_DIR_FROM_PROGRAM, HELP_PAGE)
            < capacity
        && IsRegularFile(path))
        return true;
    return snprintf(path, size_t(capacity), "%s", QTU_SOURCE_HELP_PAGE) < capacity && IsRegularFile(path);
}

INT_PTR OpenHelp([[maybe_unused]] int id)
{
    char program[PATH_SIZE];
    ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    program[length > 0 ? length : 0] = '\0';
    char page[PATH_SIZE];
    // Without a program to open it (no xdg-open) nothing would happen at
    // all: the log says where the page is.
    char line[PATH_SIZE + 80];
    if (!FindHelpPage(program, page, sizeof page))
        snprintf(line, sizeof line, "Help: the page %s is not installed.", HELP_PAGE);
    else if (!TryOpenDocument(page))
        snprintf(line, sizeof line, "Help: no program to open %s; install xdg-utils.", page);
    else
        return TRUE;
    LogAppend(line);
    return TRUE;
}
