// The three data sources (string field, hex field, file): their radio
// buttons, byte counts and the file picker, and the copy of the current
// source that Transmit and the storage composer use.
#include "window/commands.h"
#include "window/compose_commands.h"

#include <cstdio>
#include <cstring>

#include "core/compose/data_entry.h"
#include "core/compose/vendor.h"
#include "ui/ids.h"
#include "window/tester_state.h"
#include "window/window_output.h"

namespace {

struct EntryModeControls {
    int radio;
    int countField;
    int input;
    int otherInputs[2];
    EntryMode mode;
};

// Per source: its radio button, count field, input control and the inputs of
// the other two sources.
constexpr EntryModeControls ENTRY_MODES[] = {
    {IDC_MODE_STRING, IDC_STRING_LEN, IDC_STRING_DATA, {IDC_HEX_DATA, IDC_LOAD_FILE}, ENTRY_STRING},
    {IDC_MODE_HEX, IDC_HEX_LEN, IDC_HEX_DATA, {IDC_STRING_DATA, IDC_LOAD_FILE}, ENTRY_HEX},
    {IDC_MODE_FILE, IDC_FILE_LEN, IDC_LOAD_FILE, {IDC_STRING_DATA, IDC_HEX_DATA}, ENTRY_FILE},
};

constexpr int PATH_CAPACITY = 260;
constexpr int LINE_SIZE = PATH_CAPACITY + LOAD_FAILURE_SIZE + 32;

uint32_t CopyBytes(BYTE* dest, uint32_t capacity, const BYTE* source, uint32_t count)
{
    uint32_t copied = count < capacity ? count : capacity;
    memcpy(dest, source, copied);
    return copied;
}

const BYTE* EntryData(EntryMode mode, uint32_t* count)
{
    switch (mode) {
    case ENTRY_HEX:
        *count = tester.hexLen;
        return tester.hexData;
    case ENTRY_FILE:
        *count = tester.fileLen;
        return tester.fileData;
    default:
        *count = mode == ENTRY_STRING ? tester.stringLen : 0;
        return tester.stringData;
    }
}

// Reads the hex field's text as typed. A text that fills the destination is
// kept whole, without a terminator, like a string of that length.
uint32_t CopyHexText(BYTE* dest, uint32_t capacity)
{
    char text[BUFFER_SIZE];
    uint32_t length = GetDlgItemText(tester.mainWindow, IDC_HEX_DATA, text, sizeof text);
    uint32_t copied = CopyBytes(dest, capacity, reinterpret_cast<const BYTE*>(text), length);
    if (copied < capacity)
        dest[copied] = '\0';
    return tester.hexLen;
}

// fileData and fileLen change only when the whole read succeeded; a file that
// holds more is said to.
void LoadFile(const char* path)
{
    char line[LINE_SIZE];
    BYTE loaded[BUFFER_SIZE];
    FileLoad result;
    if (!ReadDataFile(path, loaded, BUFFER_SIZE, &result)) {
        snprintf(line, sizeof line, "Cannot load %s: %s.", path, result.failure);
        LogAppend(line);
        return;
    }
    snprintf(line, sizeof line, "Loading: %s", path);
    LogAppend(line);
    memcpy(tester.fileData, loaded, result.count);
    tester.fileLen = result.count;
    SetDlgItemInt(tester.mainWindow, IDC_FILE_LEN, tester.fileLen);
    snprintf(line, sizeof line, "%d bytes loaded.", int(tester.fileLen));
    LogAppend(line);
    if (result.larger) {
        snprintf(line, sizeof line, "The file is larger than %d bytes: only its first %d bytes are used.", BUFFER_SIZE,
                 BUFFER_SIZE);
        LogAppend(line);
    }
}

// `path` holds PATH_CAPACITY characters: the pattern on entry, the chosen file after.
int OpenFileDialog(const char* filterName, char* path)
{
    int chosen = GetOpenFileName(tester.mainWindow, filterName, path, PATH_CAPACITY);
    if (!chosen)
        LogFileDialogError();
    return chosen;
}

}  // namespace

INT_PTR SelectEntryMode(int id)
{
    for (const EntryModeControls& entry : ENTRY_MODES) {
        if (entry.radio != id)
            continue;
        CheckDlgButton(tester.mainWindow, IDC_MODE_STRING, id == IDC_MODE_STRING);
        CheckDlgButton(tester.mainWindow, IDC_MODE_HEX, id == IDC_MODE_HEX);
        CheckDlgButton(tester.mainWindow, IDC_MODE_FILE, id == IDC_MODE_FILE);
        uint32_t count;
        EntryData(entry.mode, &count);
        SetDlgItemInt(tester.mainWindow, entry.countField, count);
        EnableDlgItem(tester.mainWindow, entry.input, true);
        EnableDlgItem(tester.mainWindow, entry.otherInputs[0], false);
        EnableDlgItem(tester.mainWindow, entry.otherInputs[1], false);
        tester.entryMode = entry.mode;
    }
    return TRUE;
}

INT_PTR UpdateStringData([[maybe_unused]] int id)
{
    tester.stringLen =
        GetDlgItemText(tester.mainWindow, IDC_STRING_DATA, reinterpret_cast<char*>(tester.stringData), BUFFER_SIZE);
    SetDlgItemInt(tester.mainWindow, IDC_STRING_LEN, tester.stringLen);
    UpdateVendorLength(tester.stringLen);
    return TRUE;
}

INT_PTR UpdateHexData([[maybe_unused]] int id)
{
    char text[BUFFER_SIZE];
    uint32_t length = GetDlgItemText(tester.mainWindow, IDC_HEX_DATA, text, sizeof text);
    tester.hexLen = ParseHexPairs(text, length, tester.hexData, BUFFER_SIZE);
    SetDlgItemInt(tester.mainWindow, IDC_HEX_LEN, tester.hexLen);
    UpdateVendorLength(tester.hexLen);
    return TRUE;
}

INT_PTR LoadDataFile([[maybe_unused]] int id)
{
    char path[PATH_CAPACITY];
    InDocumentsFolder("*.*", path, PATH_CAPACITY);
    if (OpenFileDialog("All Files", path))
        LoadFile(path);
    // Also after a cancel; the vendor fields show it at the next menu choice.
    tester.vendorIn.le = VendorLength(tester.fileLen);
    return TRUE;
}

const BYTE* CurrentEntryData(uint32_t* count)
{
    return EntryData(tester.entryMode, count);
}

uint32_t CopyEntryData(BYTE* dest, uint32_t* length, bool hexAsText)
{
    if (hexAsText && tester.entryMode == ENTRY_HEX) {
        *length = CopyHexText(dest, *length);
    } else {
        uint32_t count;
        const BYTE* source = CurrentEntryData(&count);
        *length = CopyBytes(dest, *length, source, count);
    }
    return *length;
}
