// The storage-card APDU composer: the five commands with their labels,
// enabled fields and saved settings, the command-type radio buttons, and the
// APDU that Transmit sends.
#include "compose/storage.h"

#include "app/commands.h"

#include <cstdio>
#include <cstring>

#include "app/main_window.h"
#include "app/window_output.h"
#include "compose/data_entry.h"
#include "ui/ids.h"

namespace {

// The captions a command gives the form; nullptr keeps the caption it has.
struct StorageCommandLabels {
    int32_t id;
    const char* p2Label;
    const char* p3Label;
    const char* lengthLabel;
    const char* hexRadio;
};

constexpr StorageCommandLabels LABELS[] = {
    {IDC_CMD_GETUID, "P2(Block)", "P3", "Length", "Enter Data in &HEX"},
    {IDC_CMD_LOADKEYS, "KeyNo.:", nullptr, "KeyLen.:", "Key:"},
    {IDC_CMD_AUTH, "BlockNo.:", "KeyType:", nullptr, "Key Number:"},
    {IDC_CMD_READ, "P2(Block)", "P3", "Length", "Enter Data in &HEX"},
    {IDC_CMD_UPDATE, "P2(Block)", "P3", "Length", "Enter Data in &HEX"},
};

constexpr int STORAGE_COMMANDS[] = {IDC_CMD_GETUID, IDC_CMD_LOADKEYS, IDC_CMD_AUTH, IDC_CMD_READ, IDC_CMD_UPDATE};

constexpr int COMPOSER_FIELDS[] = {
    IDC_CMD_READ, IDC_CMD_UPDATE,   IDC_CMD_GETUID, IDC_CMD_LOADKEYS, IDC_CMD_AUTH, IDC_P1_LABEL, IDC_P2_LABEL,
    IDC_P3_LABEL, IDC_LENGTH_LABEL, IDC_P1,         IDC_P2,           IDC_P3,       IDC_LENGTH,
};

constexpr int VENDOR_CONTROLS[] = {IDC_VENDOR_MENU, IDC_VENDOR_CMD_NAME, IDC_VENDOR_P1,
                                   IDC_VENDOR_P2,   IDC_VENDOR_LC,       IDC_VENDOR_LE};

constexpr int P3_TEXT_CAPACITY = 50;
constexpr int HEADER_BYTES = 5;

CommandSettings* SettingsOf(int32_t id)
{
    switch (id) {
    case IDC_CMD_GETUID:
        return &tester.getUidSettings;
    case IDC_CMD_LOADKEYS:
        return &tester.loadKeysSettings;
    case IDC_CMD_AUTH:
        return &tester.authSettings;
    case IDC_CMD_READ:
        return &tester.readSettings;
    case IDC_CMD_UPDATE:
        return &tester.updateSettings;
    default:
        return nullptr;
    }
}

uint8_t FieldByte(int id)
{
    return uint8_t(GetDlgItemInt(mainWindow, id));
}

// P3 holds one byte in hex, as the field shows it ("0x%02X") or as typed:
// "0x" or "0X" or nothing before one or two digits of either case. Anything
// else is refused rather than guessed at; *keyType changes only on success.
// `text` (P3_TEXT_CAPACITY bytes) receives the field's text.
bool ReadP3(char* text, uint8_t* keyType)
{
    GetDlgItemText(mainWindow, IDC_P3, text, P3_TEXT_CAPACITY);
    const char* digits = text;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits += 2;
    int value = 0;
    int count = 0;
    for (; digits[count] != '\0'; ++count) {
        int digit = HexDigitValue(digits[count]);
        if (digit < 0 || count == 2)
            return false;
        value = value * 16 + digit;
    }
    if (count == 0)
        return false;
    *keyType = uint8_t(value);
    return true;
}

void SetLabel(int id, const char* caption)
{
    if (caption != nullptr)
        SetDlgItemText(mainWindow, id, caption);
}

}  // namespace

INT_PTR CmdSwitchStorageCommand(int id)
{
    CommandSettings* settings = SettingsOf(id);
    if (settings == nullptr)
        return TRUE;

    SelectStorageCommand(id);
    for (const StorageCommandLabels& labels : LABELS) {
        if (labels.id != id)
            continue;
        SetLabel(IDC_P2_LABEL, labels.p2Label);
        SetLabel(IDC_P3_LABEL, labels.p3Label);
        SetLabel(IDC_LENGTH_LABEL, labels.lengthLabel);
        SetLabel(IDC_MODE_HEX, labels.hexRadio);
    }
    if (tester.storageCommand != id)
        SaveCommandSettings(tester.storageCommand);

    // Saved text fills all 1024 bytes when it is that long: terminate a copy.
    char text[SETTINGS_DATA_SIZE + 1];
    memcpy(text, settings->data, SETTINGS_DATA_SIZE);
    text[SETTINGS_DATA_SIZE] = '\0';
    switch (id) {
    case IDC_CMD_LOADKEYS:
    case IDC_CMD_AUTH:
        ShowCommandFields(settings->p1, settings->p2, settings->p3, settings->length, text, ENTRY_HEX);
        break;
    case IDC_CMD_UPDATE:
        ShowCommandFields(settings->p1, settings->p2, settings->p3, settings->length, text, settings->entryMode);
        break;
    default:
        ShowCommandFields(settings->p1, settings->p2, settings->p3, settings->length, nullptr, ENTRY_NONE);
        break;
    }
    tester.storageCommand = id;
    return TRUE;
}

INT_PTR CmdSelectCommandType(int id)
{
    bool storage = id == IDC_TYPE_STORAGE;
    CheckDlgButton(mainWindow, IDC_TYPE_DIRECT, !storage);
    CheckDlgButton(mainWindow, IDC_TYPE_STORAGE, storage);
    CheckDlgButton(mainWindow, IDC_TYPE_VENDOR, false);
    EnableComposerFields(storage);
    if (storage)
        SelectStorageCommand(tester.storageCommand);
    for (int control : VENDOR_CONTROLS)
        EnableDlgItem(mainWindow, control, false);
    EnableDlgItem(mainWindow, IDC_LOOP, true);
    EnableDlgItem(mainWindow, IDC_LOOP_COUNT, tester.loopEnabled != 0);
    tester.commandType = storage ? COMMAND_STORAGE : COMMAND_DIRECT;
    return TRUE;
}

bool ComposeStorageApdu(BYTE* dest, uint32_t* length, int32_t storageCommand)
{
    dest[0] = 0x00;
    dest[2] = FieldByte(IDC_P1);
    dest[3] = FieldByte(IDC_P2);
    dest[4] = FieldByte(IDC_LENGTH);

    // Copied whatever the command; only a file can be longer than the room left.
    uint32_t room = BUFFER_SIZE - HEADER_BYTES;
    uint32_t copied = CopyEntryData(dest + HEADER_BYTES, &room, 0);

    uint32_t dataLength = dest[4];
    char p3[P3_TEXT_CAPACITY];
    switch (storageCommand) {
    case IDC_CMD_GETUID:
        dest[1] = 0xCA;
        *length = HEADER_BYTES;
        break;
    case IDC_CMD_LOADKEYS:
        dest[1] = 0x82;
        *length = HEADER_BYTES + dataLength;
        break;
    case IDC_CMD_AUTH:
        dest[1] = 0x88;
        if (!ReadP3(p3, &dest[4])) {
            snprintf(tester.lineScratch, sizeof tester.lineScratch,
                     "P3: \"%s\" is not a hexadecimal byte; nothing sent.", p3);
            LogAppend(tester.lineScratch);
            return false;
        }
        *length = HEADER_BYTES + 1;
        break;
    case IDC_CMD_READ:
        dest[1] = 0xB0;
        *length = HEADER_BYTES;
        break;
    case IDC_CMD_UPDATE:
        dest[1] = 0xD6;
        *length = HEADER_BYTES + dataLength;
        break;
    }
    // Data shorter than the request: the rest is zeros, never what an earlier
    // command (a key, say) left in the buffer.
    if (HEADER_BYTES + copied < *length)
        memset(dest + HEADER_BYTES + copied, 0, *length - HEADER_BYTES - copied);
    return true;
}

void SelectStorageCommand(int32_t id)
{
    for (int command : STORAGE_COMMANDS)
        CheckDlgButton(mainWindow, command, command == id);

    bool otherEntries = id != IDC_CMD_LOADKEYS && id != IDC_CMD_AUTH;
    bool length = id != IDC_CMD_AUTH;
    bool p3 = id == IDC_CMD_AUTH;
    EnableDlgItem(mainWindow, IDC_MODE_STRING, otherEntries);
    EnableDlgItem(mainWindow, IDC_STRING_DATA, otherEntries);
    EnableDlgItem(mainWindow, IDC_MODE_FILE, otherEntries);
    EnableDlgItem(mainWindow, IDC_LOAD_FILE, otherEntries);
    EnableDlgItem(mainWindow, IDC_LENGTH_LABEL, length);
    EnableDlgItem(mainWindow, IDC_LENGTH, length);
    EnableDlgItem(mainWindow, IDC_P3_LABEL, p3);
    EnableDlgItem(mainWindow, IDC_P3, p3);
}

void EnableComposerFields(bool enable)
{
    for (int control : COMPOSER_FIELDS)
        EnableDlgItem(mainWindow, control, enable);
}

void ShowCommandFields(uint8_t p1, uint8_t p2, uint8_t p3, uint8_t length, const char* text, int32_t entryMode)
{
    if (entryMode == ENTRY_STRING) {
        CmdSelectEntryMode(IDC_MODE_STRING);
        if (text != nullptr)
            SetDlgItemText(mainWindow, IDC_STRING_DATA, text);
    } else if (entryMode == ENTRY_HEX) {
        CmdSelectEntryMode(IDC_MODE_HEX);
        if (text != nullptr)
            SetDlgItemText(mainWindow, IDC_HEX_DATA, text);
    }
    SetDlgItemInt(mainWindow, IDC_P1, p1);
    SetDlgItemInt(mainWindow, IDC_P2, p2);
    char p3Text[8];
    snprintf(p3Text, sizeof p3Text, "0x%02X", p3);
    SetDlgItemText(mainWindow, IDC_P3, p3Text);
    SetDlgItemInt(mainWindow, IDC_LENGTH, length);
}

void SaveCommandSettings(int32_t id)
{
    CommandSettings* settings = SettingsOf(id);
    if (settings == nullptr)
        return;
    settings->p1 = FieldByte(IDC_P1);
    settings->p2 = FieldByte(IDC_P2);
    // A text that is not a byte keeps the value the command had.
    char p3[P3_TEXT_CAPACITY];
    ReadP3(p3, &settings->p3);
    settings->length = FieldByte(IDC_LENGTH);
    settings->dataLen = SETTINGS_DATA_SIZE;
    memset(settings->data, 0, SETTINGS_DATA_SIZE);
    CopyEntryData(settings->data, &settings->dataLen, 1);
    settings->entryMode = tester.entryMode;
}
