// The environment's fields, each read with bounds: files read up to a
// limit, the service's version from a child that is killed when slow.
#include "core/qualify/environment.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "core/clock/counter.h"
#include <reader.h>

#include "core/pcsc/pcsc_api.h"
#include "core/version/version.h"

extern char** environ;

namespace {

constexpr char UNKNOWN[] = "unknown";
// Info.plist files (CCID's lists every reader it knows) are read up to this much.
constexpr size_t DRIVER_LIST_MAX = 1 << 21;
constexpr char READER_CONF_FOLDER[] = "/etc/reader.conf.d";
constexpr char BUNDLE_FOLDER[] = "/usr/lib/pcsc/drivers";

void SetText(char* field, size_t size, const char* text)
{
    snprintf(field, size, "%s", text != nullptr && text[0] != '\0' ? text : UNKNOWN);
}

// A field left empty says it is unknown.
void OrUnknown(char* field, size_t size)
{
    if (field[0] == '\0')
        SetText(field, size, nullptr);
}

// Printable ASCII of an attribute's characters, up to its first NUL; "" for none.
void AttributeText(SCARDHANDLE card, DWORD id, char* text, size_t size)
{
    BYTE value[ENVIRONMENT_FIELD_SIZE];
    DWORD length = sizeof value;
    text[0] = '\0';
    if (card == 0 || pcsc.GetAttrib(card, id, value, &length) != SCARD_S_SUCCESS)
        return;
    size_t used = 0;
    for (DWORD i = 0; i < length && i < sizeof value && value[i] != 0 && used + 1 < size; ++i)
        text[used++] = value[i] >= 0x20 && value[i] < 0x7F ? char(value[i]) : '?';
    text[used] = '\0';
}

// Reads at most `capacity` - 1 bytes of `path` into `text`, terminated; false when it cannot be opened.
bool ReadSmallFile(const char* path, char* text, size_t capacity, size_t* length)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    *length = 0;
    if (fd < 0)
        return false;
    while (*length + 1 < capacity) {
        ssize_t got = read(fd, text + *length, capacity - 1 - *length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        *length += size_t(got);
    }
    text[*length] = '\0';
    close(fd);
    return true;
}

// The text of the first "<string>" after `from`, into `text`; the place after it, or null.
const char* NextPlistString(const char* from, char* text, size_t size)
{
    const char* open = strstr(from, "<string>");
    if (open == nullptr)
        return nullptr;
    open += strlen("<string>");
    const char* close = strstr(open, "</string>");
    if (close == nullptr)
        return nullptr;
    snprintf(text, size, "%.*s", int(close - open), open);
    return close + strlen("</string>");
}

bool StartsWith(const char* text, const char* prefix)
{
    return prefix[0] != '\0' && strncmp(text, prefix, strlen(prefix)) == 0;
}

// The reader.conf.d entries: FRIENDLYNAME "name" then LIBPATH path.
bool FindConfDriver(const char* reader, const char* folder, char* text, size_t size, char* buffer, size_t capacity)
{
    DIR* dir = opendir(folder);
    if (dir == nullptr)
        return false;
    bool found = false;
    char path[PATH_MAX];
    while (!found) {
        dirent* entry = readdir(dir);
        if (entry == nullptr)
            break;
        if (entry->d_name[0] == '.' || snprintf(path, sizeof path, "%s/%s", folder, entry->d_name) >= int(sizeof path))
            continue;
        size_t length;
        if (!ReadSmallFile(path, buffer, capacity, &length))
            continue;
        char name[MAX_READERNAME] = "";
        for (char* line = strtok(buffer, "\n"); line != nullptr && !found; line = strtok(nullptr, "\n")) {
            line += strspn(line, " \t");
            char value[PATH_MAX];
            // The widths leave room for the terminators of `name` and `value`.
            static_assert(MAX_READERNAME == 128 && PATH_MAX == 4096, "the scan widths follow the buffers");
            if (sscanf(line, "FRIENDLYNAME \"%127[^\"]\"", name) == 1)
                continue;
            // A LIBPATH before any FRIENDLYNAME names no reader.
            if (name[0] != '\0' && sscanf(line, "LIBPATH %4095s", value) == 1 && StartsWith(reader, name)) {
                snprintf(text, size, "%s (%s)", value, path);
                found = true;
            }
        }
    }
    closedir(dir);
    return found;
}

// The bundles: Contents/Info.plist with its ifdFriendlyName list and CFBundleShortVersionString.
bool FindBundleDriver(const char* reader, const char* folder, char* text, size_t size, char* buffer, size_t capacity)
{
    DIR* dir = opendir(folder);
    if (dir == nullptr)
        return false;
    bool found = false;
    char path[PATH_MAX];
    while (!found) {
        dirent* entry = readdir(dir);
        if (entry == nullptr)
            break;
        if (entry->d_name[0] == '.'
            || snprintf(path, sizeof path, "%s/%s/Contents/Info.plist", folder, entry->d_name) >= int(sizeof path))
            continue;
        size_t length;
        if (!ReadSmallFile(path, buffer, capacity, &length))
            continue;
        char version[ENVIRONMENT_FIELD_SIZE] = "";
        const char* key = strstr(buffer, "<key>CFBundleShortVersionString</key>");
        if (key != nullptr)
            NextPlistString(key, version, sizeof version);
        const char* names = strstr(buffer, "<key>ifdFriendlyName</key>");
        const char* end = names != nullptr ? strstr(names, "</array>") : nullptr;
        char name[MAX_READERNAME];
        for (const char* at = names; at != nullptr && end != nullptr && !found;) {
            at = NextPlistString(at, name, sizeof name);
            if (at == nullptr || at > end)
                break;
            if (StartsWith(reader, name)) {
                snprintf(text, size, "%s/%s %s", folder, entry->d_name, version[0] != '\0' ? version : UNKNOWN);
                found = true;
            }
        }
    }
    closedir(dir);
    return found;
}

}  // namespace

void ReadServiceVersion(const char* pcscd, int timeoutMs, char* text, size_t size)
{
    SetText(text, size, nullptr);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* arguments[] = {const_cast<char*>(pcscd), const_cast<char*>("--version"), nullptr};
    pid_t child;
    int spawned = posix_spawn(&child, pcscd, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return;
    }
    char output[ENVIRONMENT_FIELD_SIZE];
    size_t used = 0;
    int64_t deadline = QueryPerformanceCounter() + int64_t(timeoutMs) * 1000000;
    // Up to the first line end, the end of its output or the deadline.
    while (used + 1 < sizeof output && memchr(output, '\n', used) == nullptr) {
        int64_t left = (deadline - QueryPerformanceCounter()) / 1000000;
        pollfd wait {pipeFds[0], POLLIN, 0};
        if (left <= 0 || poll(&wait, 1, int(left)) <= 0)
            break;
        ssize_t got = read(pipeFds[0], output + used, sizeof output - 1 - used);
        if (got <= 0)
            break;
        used += size_t(got);
    }
    close(pipeFds[0]);
    // Whatever it is doing, it is done now.
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) { }
    output[used] = '\0';
    output[strcspn(output, "\r\n")] = '\0';
    SetText(text, size, output);
}

void FindReaderDriver(const char* reader, const char* confFolder, const char* bundleFolder, char* text, size_t size)
{
    // One buffer for the lists, too large for a stack: one search at a time,
    // for readers qualified at once each search from their own thread.
    static std::mutex bufferInUse;
    static char buffer[DRIVER_LIST_MAX];
    SetText(text, size, nullptr);
    if (reader == nullptr || reader[0] == '\0')
        return;
    std::lock_guard<std::mutex> lock(bufferInUse);
    if (!FindConfDriver(reader, confFolder, text, size, buffer, sizeof buffer))
        FindBundleDriver(reader, bundleFolder, text, size, buffer, sizeof buffer);
}

void CollectHostEnvironment(QualifyEnvironment* environment)
{
    *environment = QualifyEnvironment {};
    char version[VERSION_LINE_SIZE];
    SetText(environment->tool, sizeof environment->tool,
            FormatProgramVersion(version, sizeof version) ? version : nullptr);
    SetText(environment->pcscliteCompiled, sizeof environment->pcscliteCompiled, PCSCLITE_VERSION_NUMBER);
    // The file the process took SCardTransmit from, its links followed.
    Dl_info info {};
    char resolved[PATH_MAX];
    bool found = dladdr(reinterpret_cast<void*>(&SCardTransmit), &info) != 0 && info.dli_fname != nullptr
        && realpath(info.dli_fname, resolved) != nullptr;
    SetText(environment->pcscliteLibrary, sizeof environment->pcscliteLibrary, found ? resolved : nullptr);
    ReadServiceVersion(PCSCD_PATH, PCSCD_VERSION_TIMEOUT_MS, environment->pcscd, sizeof environment->pcscd);
    utsname names {};
    // Each name is at most 64 characters; the machine's is cut to fit the field.
    if (uname(&names) == 0)
        snprintf(environment->kernel, sizeof environment->kernel, "%.64s %.64s %.64s %.60s", names.sysname,
                 names.release, names.version, names.machine);
    OrUnknown(environment->kernel, sizeof environment->kernel);
    char host[ENVIRONMENT_FIELD_SIZE] = "";
    gethostname(host, sizeof host - 1);
    SetText(environment->host, sizeof environment->host, host);
    time_t now = time(nullptr);
    tm utc {};
    char date[ENVIRONMENT_FIELD_SIZE] = "";
    if (gmtime_r(&now, &utc) != nullptr)
        strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", &utc);
    SetText(environment->date, sizeof environment->date, date);
    CollectReaderEnvironment(0, nullptr, environment);
}

void CollectReaderEnvironment(SCARDHANDLE card, const char* reader, QualifyEnvironment* environment)
{
    SetText(environment->reader, sizeof environment->reader, reader);
    AttributeText(card, SCARD_ATTR_VENDOR_NAME, environment->ifdVendor, sizeof environment->ifdVendor);
    OrUnknown(environment->ifdVendor, sizeof environment->ifdVendor);
    AttributeText(card, SCARD_ATTR_VENDOR_IFD_TYPE, environment->ifdType, sizeof environment->ifdType);
    OrUnknown(environment->ifdType, sizeof environment->ifdType);
    AttributeText(card, SCARD_ATTR_VENDOR_IFD_SERIAL_NO, environment->ifdSerial, sizeof environment->ifdSerial);
    OrUnknown(environment->ifdSerial, sizeof environment->ifdSerial);
    // A DWORD: major byte, minor byte, build word.
    BYTE value[4] = {};
    DWORD length = sizeof value;
    if (card != 0 && pcsc.GetAttrib(card, SCARD_ATTR_VENDOR_IFD_VERSION, value, &length) == SCARD_S_SUCCESS
        && length == sizeof value) {
        uint32_t word =
            uint32_t(value[0]) | uint32_t(value[1]) << 8 | uint32_t(value[2]) << 16 | uint32_t(value[3]) << 24;
        snprintf(environment->ifdVersion, sizeof environment->ifdVersion, "0x%08X (%u.%u.%u)", unsigned(word),
                 unsigned(word >> 24), unsigned(word >> 16 & 0xFF), unsigned(word & 0xFFFF));
    } else {
        SetText(environment->ifdVersion, sizeof environment->ifdVersion, nullptr);
    }
    FindReaderDriver(reader, READER_CONF_FOLDER, BUNDLE_FOLDER, environment->driver, sizeof environment->driver);
}
