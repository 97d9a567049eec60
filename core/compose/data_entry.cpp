// Data entry cores: hex parsing, the P3 byte and the file loader.
#include "core/compose/data_entry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The value of a hex digit of either case, or -1 for any other character.
int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Fail(FileLoad* result, const char* reason)
{
    snprintf(result->failure, sizeof result->failure, "%s", reason);
    return false;
}

// One read that a signal does not cut short.
ssize_t ReadSome(int fd, uint8_t* dest, size_t count)
{
    ssize_t got;
    do
        got = read(fd, dest, count);
    while (got < 0 && errno == EINTR);
    return got;
}

// Fills dest up to capacity or the end of the file; false, with errno, when a
// read fails (EAGAIN when a pipe or device has nothing to give now).
bool ReadUpTo(int fd, uint8_t* dest, uint32_t capacity, uint32_t* count)
{
    *count = 0;
    while (*count < capacity) {
        ssize_t got = ReadSome(fd, dest + *count, capacity - *count);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        *count += uint32_t(got);
    }
    return true;
}

bool LoadOpenFile(int fd, uint8_t* dest, uint32_t capacity, FileLoad* result)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        return Fail(result, strerror(errno));
    if (!ReadUpTo(fd, dest, capacity, &result->count))
        return Fail(result, errno == EAGAIN ? "no data without waiting" : strerror(errno));
    // A pipe reads as empty at once when nobody writes into it.
    if (S_ISFIFO(info.st_mode) && result->count == 0)
        return Fail(result, "the pipe has no writer");
    // One byte more tells a larger file (or an endless device) without
    // reading it; a pipe with nothing more yet counts as not larger.
    uint8_t more;
    result->larger = result->count == capacity && ReadSome(fd, &more, 1) == 1;
    return true;
}

}  // namespace

uint32_t ParseHexPairs(const char* text, uint32_t length, uint8_t* dest, uint32_t capacity)
{
    uint32_t digits = 0;
    for (uint32_t i = 0; i < length && digits / 2 < capacity; ++i) {
        int value = HexDigitValue(text[i]);
        if (value < 0)
            continue;
        if (digits % 2 == 0)
            dest[digits / 2] = uint8_t(value << 4);
        else
            dest[digits / 2] |= uint8_t(value);
        ++digits;
    }
    return (digits + 1) / 2;
}

HexFailure ParseHexStrict(const char* text, uint8_t* dest, uint32_t capacity, uint32_t* count)
{
    *count = 0;
    uint32_t written = 0;
    uint32_t run = 0;  // digits since the last blank
    for (const char* c = text;; ++c) {
        if (*c == ' ' || *c == '\t' || *c == '\0') {
            if (run % 2 != 0)
                return HEX_ODD_DIGITS;
            if (*c == '\0')
                break;
            run = 0;
            continue;
        }
        int value = HexDigitValue(*c);
        if (value < 0)
            return HEX_NOT_HEX;
        if (run % 2 == 0) {
            if (written == capacity)
                return HEX_TOO_LONG;
            dest[written] = uint8_t(value << 4);
        } else {
            dest[written++] |= uint8_t(value);
        }
        ++run;
    }
    if (written == 0)
        return HEX_NO_BYTES;
    *count = written;
    return HEX_OK;
}

const char* HexFailureText(HexFailure failure)
{
    switch (failure) {
    case HEX_OK:
        break;
    case HEX_NO_BYTES:
        return "no hex bytes";
    case HEX_NOT_HEX:
        return "not a hex digit";
    case HEX_ODD_DIGITS:
        return "odd number of hex digits";
    case HEX_TOO_LONG:
        return "too many bytes";
    }
    return "";
}

bool ParseHexByte(const char* text, uint8_t* value)
{
    const char* digits = text;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits += 2;
    int byte = 0;
    int count = 0;
    for (; digits[count] != '\0'; ++count) {
        int digit = HexDigitValue(digits[count]);
        if (digit < 0 || count == 2)
            return false;
        byte = byte * 16 + digit;
    }
    if (count == 0)
        return false;
    *value = uint8_t(byte);
    return true;
}

bool ReadDataFile(const char* path, uint8_t* dest, uint32_t capacity, FileLoad* result)
{
    *result = FileLoad {};
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Fail(result, strerror(errno));
    bool loaded = LoadOpenFile(fd, dest, capacity, result);
    close(fd);
    return loaded;
}
