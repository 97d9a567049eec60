// Program entry: with arguments the command line runs, without a display and
// without Qt; without any, the window's library is loaded and opens the main
// window.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "cli/cli.h"
#include "window/window_entry.h"

namespace {

constexpr size_t MODULE_PATH_SIZE = 4096;

// The window's library: beside the program in the build tree, in the
// program's library folder once installed.
const char* const WINDOW_MODULE_PLACES[] = {
    "/" QTU_WINDOW_MODULE,
    "/" QTU_WINDOW_MODULE_FROM_PROGRAM "/" QTU_WINDOW_MODULE,
};

void* LoadWindowModule()
{
    char program[MODULE_PATH_SIZE];
    ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0)
        return nullptr;
    program[length] = '\0';
    char* slash = strrchr(program, '/');
    if (slash == nullptr)
        return nullptr;
    *slash = '\0';
    for (const char* place : WINDOW_MODULE_PLACES) {
        char path[MODULE_PATH_SIZE];
        if (snprintf(path, sizeof path, "%s%s", program, place) >= int(sizeof path) || access(path, R_OK) != 0)
            continue;
        if (void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL))
            return module;
        fprintf(stderr, "quarnel-test-utility: %s\n", dlerror());
        return nullptr;
    }
    fprintf(stderr, "quarnel-test-utility: the window's library %s is not installed beside the program\n",
            QTU_WINDOW_MODULE);
    return nullptr;
}

// Whether the window has somewhere to open: an X or Wayland display, or a
// Qt platform named outright (offscreen, vnc, ...).
bool HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc > 1)
        return RunCommandLine(argc, argv);
    if (!HasDisplay()) {
        fputs("quarnel-test-utility: no display: start it in a desktop session, or give a command; see --help\n",
              stderr);
        return 2;
    }
    void* module = LoadWindowModule();
    if (module == nullptr)
        return 1;
    auto runWindow = reinterpret_cast<int (*)(int, char**)>(dlsym(module, WINDOW_ENTRY_NAME));
    if (runWindow == nullptr) {
        fprintf(stderr, "quarnel-test-utility: %s\n", dlerror());
        return 1;
    }
    return runWindow(argc, argv);
}
