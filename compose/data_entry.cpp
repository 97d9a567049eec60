// The three data sources (string field, hex field, file), their byte counts,
// the hex parser, the file loader, and the copy of the current source that
// Transmit and the storage composer use.
#include "compose/data_entry.h"

#include "app/commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/main_window.h"
#include "app/window_output.h"
#include "ui/ids.h"

namespace {

struct EntryModeControls {
    int radio;
    int countField;
    int input;
    int otherInputs[2];
    int32_t mode;
};

// Per source: its radio button, count field, input control and the inputs of
// the other two sources.
constexpr EntryModeControls ENTRY_MODES[] = {
    {IDC_MODE_STRING, IDC_STRING_LEN, IDC_STRING_DATA, {IDC_HEX_DATA, IDC_LOAD_FILE}, ENTRY_STRING},
    {IDC_MODE_HEX, IDC_HEX_LEN, IDC_HEX_DATA, {IDC_STRING_DATA, IDC_LOAD_FILE}, ENTRY_HEX},
    {IDC_MODE_FILE, IDC_FILE_LEN, IDC_LOAD_FILE, {IDC_STRING_DATA, IDC_HEX_DATA}, ENTRY_FILE},
};

constexpr int PATH_CAPACITY = 260;
constexpr uint32_t VENDOR_LE_MAX = 255;

uint8_t VendorLength(uint32_t count)
{
    return uint8_t(count < VENDOR_LE_MAX ? count : VENDOR_LE_MAX);
}

uint32_t CopyBytes(BYTE* dest, uint32_t capacity, const BYTE* source, uint32_t count)
{
    uint32_t copied = count < capacity ? count : capacity;
    memcpy(dest, source, copied);
    return copied;
}

// Reads the hex field's text as typed. A text that fills the destination is
// kept whole, without a terminator, like a string of that length.
uint32_t CopyHexText(BYTE* dest, uint32_t capacity)
{
    char text[BUFFER_SIZE];
    uint32_t length = GetDlgItemText(mainWindow, IDC_HEX_DATA, text, sizeof text);
    uint32_t copied = CopyBytes(dest, capacity, reinterpret_cast<const BYTE*>(text), length);
    if (copied < capacity)
        dest[copied] = '\0';
    return tester.hexLen;
}

void LogLoadFailure(const char* path, const char* reason)
{
    snprintf(tester.lineScratch, sizeof tester.lineScratch, "Cannot load %s: %s.", path, reason);
    LogAppend(tester.lineScratch);
}

// Reads at most BUFFER_SIZE bytes of the file without ever waiting for data:
// a pipe or device that has nothing to give is refused. fileData and fileLen
// change only when the whole read succeeded; a file that holds more is said to.
void LoadFile(const char* path)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        LogLoadFailure(path, strerror(errno));
        return;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        LogLoadFailure(path, strerror(errno));
        close(fd);
        return;
    }
    tester.fileStream = fdopen(fd, "rb");
    if (tester.fileStream == nullptr) {
        LogLoadFailure(path, strerror(errno));
        close(fd);
        return;
    }

    BYTE loaded[BUFFER_SIZE];
    uint32_t count = 0;
    int c;
    errno = 0;
    while (count < BUFFER_SIZE && (c = fgetc(tester.fileStream)) != EOF)
        loaded[count++] = BYTE(c);
    bool failed = ferror(tester.fileStream) != 0;
    int error = errno;
    // One byte more tells a larger file (or an endless device) without
    // reading it; a pipe with nothing more yet counts as not larger.
    bool larger = !failed && count == BUFFER_SIZE && fgetc(tester.fileStream) != EOF;
    fclose(tester.fileStream);
    tester.fileStream = nullptr;

    if (failed) {
        LogLoadFailure(path, error == EAGAIN ? "no data without waiting" : strerror(error));
        return;
    }
    // A pipe reads as empty at once when nobody writes into it.
    if (S_ISFIFO(info.st_mode) && count == 0) {
        LogLoadFailure(path, "the pipe has no writer");
        return;
    }

    snprintf(tester.lineScratch, sizeof tester.lineScratch, "Loading: %s", path);
    LogAppend(tester.lineScratch);
    memcpy(tester.fileData, loaded, count);
    tester.fileLen = count;
    SetDlgItemInt(mainWindow, IDC_FILE_LEN, tester.fileLen);
    snprintf(tester.lineScratch, sizeof tester.lineScratch, "%d bytes loaded.", int(tester.fileLen));
    LogAppend(tester.lineScratch);
    if (larger) {
        snprintf(tester.lineScratch, sizeof tester.lineScratch,
                 "The file is larger than %d bytes: only its first %d bytes are used.", BUFFER_SIZE, BUFFER_SIZE);
        LogAppend(tester.lineScratch);
    }
}

}  // namespace

INT_PTR CmdSelectEntryMode(int id)
{
    for (const EntryModeControls& entry : ENTRY_MODES) {
        if (entry.radio != id)
            continue;
        CheckDlgButton(mainWindow, IDC_MODE_STRING, id == IDC_MODE_STRING);
        CheckDlgButton(mainWindow, IDC_MODE_HEX, id == IDC_MODE_HEX);
        CheckDlgButton(mainWindow, IDC_MODE_FILE, id == IDC_MODE_FILE);
        uint32_t count = entry.mode == ENTRY_STRING ? tester.stringLen
            : entry.mode == ENTRY_HEX               ? tester.hexLen
                                                    : tester.fileLen;
        SetDlgItemInt(mainWindow, entry.countField, count);
        EnableDlgItem(mainWindow, entry.input, true);
        EnableDlgItem(mainWindow, entry.otherInputs[0], false);
        EnableDlgItem(mainWindow, entry.otherInputs[1], false);
        tester.entryMode = entry.mode;
    }
    return TRUE;
}

INT_PTR CmdUpdateStringData([[maybe_unused]] int id)
{
    tester.stringLen =
        GetDlgItemText(mainWindow, IDC_STRING_DATA, reinterpret_cast<char*>(tester.stringData), BUFFER_SIZE);
    SetDlgItemInt(mainWindow, IDC_STRING_LEN, tester.stringLen);
    UpdateVendorLength(tester.stringLen);
    return TRUE;
}

// Parses in place: the digit values are gathered at the buffer's start, then
// paired; a lone last digit pairs with the zero behind it.
INT_PTR CmdUpdateHexData([[maybe_unused]] int id)
{
    char* text = reinterpret_cast<char*>(tester.hexData);
    uint32_t length = GetDlgItemText(mainWindow, IDC_HEX_DATA, text, BUFFER_SIZE);

    uint32_t digits = 0;
    for (uint32_t i = 0; i < length; ++i) {
        int value = HexDigitValue(text[i]);
        if (value >= 0)
            tester.hexData[digits++] = BYTE(value);
    }
    for (uint32_t i = digits; i < digits + 3 && i < BUFFER_SIZE; ++i)
        tester.hexData[i] = 0;

    uint32_t bytes = (digits + 1) / 2;
    for (uint32_t k = 0; k < bytes; ++k)
        tester.hexData[k] = BYTE(tester.hexData[2 * k] * 16 + tester.hexData[2 * k + 1]);

    tester.hexLen = bytes;
    SetDlgItemInt(mainWindow, IDC_HEX_LEN, tester.hexLen);
    UpdateVendorLength(tester.hexLen);
    return TRUE;
}

void UpdateVendorLength(uint32_t count)
{
    tester.vendorIn.le = VendorLength(count);
    SetDlgItemInt(mainWindow, IDC_VENDOR_P1, tester.vendorIn.pa);
    SetDlgItemInt(mainWindow, IDC_VENDOR_P2, tester.vendorIn.pb);
    SetDlgItemInt(mainWindow, IDC_VENDOR_LC, tester.vendorIn.pc);
    SetDlgItemInt(mainWindow, IDC_VENDOR_LE, tester.vendorIn.le);
}

INT_PTR CmdLoadDataFile([[maybe_unused]] int id)
{
    char path[PATH_CAPACITY] = "*.*";
    if (OpenFileDialog("All Files", path))
        LoadFile(path);
    // Also after a cancel; the vendor fields show it at the next menu choice.
    tester.vendorIn.le = VendorLength(tester.fileLen);
    return TRUE;
}

int OpenFileDialog(const char* filterName, char* path)
{
    int chosen = GetOpenFileName(mainWindow, filterName, path, PATH_CAPACITY);
    unsigned error = CommDlgExtendedError();
    if (!chosen && error != 0) {
        snprintf(tester.lineScratch, sizeof tester.lineScratch, "Common Dialog error 0x%08X opening file dialog.",
                 error);
        LogAppend(tester.lineScratch);
    }
    return chosen;
}

uint32_t CopyEntryData(BYTE* dest, uint32_t* length, int textFlag)
{
    uint32_t capacity = *length;
    switch (tester.entryMode) {
    case ENTRY_STRING:
        *length = CopyBytes(dest, capacity, tester.stringData, tester.stringLen);
        break;
    case ENTRY_HEX:
        *length = textFlag ? CopyHexText(dest, capacity) : CopyBytes(dest, capacity, tester.hexData, tester.hexLen);
        break;
    case ENTRY_FILE:
        *length = CopyBytes(dest, capacity, tester.fileData, tester.fileLen);
        break;
    default:
        break;
    }
    return *length;
}

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
