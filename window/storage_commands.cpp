// The storage-card composer form: the five commands in one table (radio
// button, captions, enabled fields, saved form and its defaults), the
// command-type radio buttons, and the request that Transmit sends.
#include "window/commands.h"
#include "window/compose_commands.h"

#include <cstdio>
#include <cstring>

#include "core/compose/data_entry.h"
#include "core/compose/storage.h"
#include "ui/ids.h"
#include "window/tester_state.h"
#include "window/window_output.h"

namespace {

constexpr char STRING_DEFAULT[] = "*** TESTDATA ***";
constexpr char HEX_DEFAULT[] = "00 02 00 00 10 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10";

// The captions a command gives the form; nullptr keeps the caption it has.
struct Captions {
    const char* p2;
    const char* p3;
    const char* length;
    const char* hexRadio;
};

// What a command shows in the data entry when it is chosen.
enum DataShown {
    SHOWS_NO_DATA,      // the entry stays as it is
    SHOWS_KEY,          // its saved hex text; the string and file sources are off
    SHOWS_SAVED_ENTRY,  // its saved source and text, as it was left
};

struct CommandDefaults {
    const char* data;
    EntryMode entryMode;
    uint8_t p1;
    uint8_t p2;
    uint8_t p3;
    uint8_t length;
};

struct StorageCommandForm {
    StorageCommand command;
    int radio;
    CommandSettings TesterState::*settings;
    Captions captions;
    DataShown data;
    bool takesP3;  // P3, the key type, in place of Length
    CommandDefaults defaults;
};

// By StorageCommand.
// clang-format off
constexpr StorageCommandForm FORMS[STORAGE_COMMAND_COUNT] = {
    {STORAGE_GET_UID, IDC_CMD_GETUID, &TesterState::getUidSettings,
     {"P2(Block)", "P3", "Length", "Enter Data in &HEX"}, SHOWS_NO_DATA, false, {"", ENTRY_NONE, 0, 0, 0, 0}},
    {STORAGE_LOAD_KEYS, IDC_CMD_LOADKEYS, &TesterState::loadKeysSettings,
     {"KeyNo.:", nullptr, "KeyLen.:", "Key:"}, SHOWS_KEY, false, {HEX_DEFAULT, ENTRY_HEX, 0, 1, 0, 6}},
    {STORAGE_AUTHENTICATE, IDC_CMD_AUTH, &TesterState::authSettings,
     {"BlockNo.:", "KeyType:", nullptr, "Key Number:"}, SHOWS_KEY, true, {"01", ENTRY_HEX, 0, 7, 0x60, 0}},
    {STORAGE_READ_BINARY, IDC_CMD_READ, &TesterState::readSettings,
     {"P2(Block)", "P3", "Length", "Enter Data in &HEX"}, SHOWS_NO_DATA, false, {"", ENTRY_NONE, 0, 6, 0, 16}},
    {STORAGE_UPDATE_BINARY, IDC_CMD_UPDATE, &TesterState::updateSettings,
     {"P2(Block)", "P3", "Length", "Enter Data in &HEX"}, SHOWS_SAVED_ENTRY, false,
     {STRING_DEFAULT, ENTRY_STRING, 0, 6, 0, 16}},
};
// clang-format on
static_assert(
    [] {
        for (int i = 0; i < STORAGE_COMMAND_COUNT; ++i)
            if (FORMS[i].command != i)
                return false;
        return true;
    }(),
    "FORMS is indexed by StorageCommand");

constexpr int PARAMETER_FIELDS[] = {IDC_P1_LABEL, IDC_P2_LABEL, IDC_P3_LABEL, IDC_LENGTH_LABEL,
                                    IDC_P1,       IDC_P2,       IDC_P3,       IDC_LENGTH};

constexpr int P3_TEXT_CAPACITY = 50;

const StorageCommandForm* FormOfRadio(int id)
{
    for (const StorageCommandForm& form : FORMS)
        if (form.radio == id)
            return &form;
    return nullptr;
}

uint8_t FieldByte(int id)
{
    return uint8_t(GetDlgItemInt(tester.mainWindow, id));
}

// `text` (P3_TEXT_CAPACITY bytes) receives the field's text; *keyType
// changes only when it is a byte.
bool ReadP3(char* text, uint8_t* keyType)
{
    GetDlgItemText(tester.mainWindow, IDC_P3, text, P3_TEXT_CAPACITY);
    return ParseHexByte(text, keyType);
}

void SetLabel(int id, const char* caption)
{
    if (caption != nullptr)
        SetDlgItemText(tester.mainWindow, id, caption);
}

void SelectStorageCommand(const StorageCommandForm& shown)
{
    for (const StorageCommandForm& form : FORMS)
        CheckDlgButton(tester.mainWindow, form.radio, form.command == shown.command);

    bool otherEntries = shown.data != SHOWS_KEY;
    EnableDlgItem(tester.mainWindow, IDC_MODE_STRING, otherEntries);
    EnableDlgItem(tester.mainWindow, IDC_STRING_DATA, otherEntries);
    EnableDlgItem(tester.mainWindow, IDC_MODE_FILE, otherEntries);
    EnableDlgItem(tester.mainWindow, IDC_LOAD_FILE, otherEntries);
    EnableDlgItem(tester.mainWindow, IDC_LENGTH_LABEL, !shown.takesP3);
    EnableDlgItem(tester.mainWindow, IDC_LENGTH, !shown.takesP3);
    EnableDlgItem(tester.mainWindow, IDC_P3_LABEL, shown.takesP3);
    EnableDlgItem(tester.mainWindow, IDC_P3, shown.takesP3);
}

void ShowCommandFields(uint8_t p1, uint8_t p2, uint8_t p3, uint8_t length, const char* text, EntryMode entryMode)
{
    if (entryMode == ENTRY_STRING) {
        SelectEntryMode(IDC_MODE_STRING);
        if (text != nullptr)
            SetDlgItemText(tester.mainWindow, IDC_STRING_DATA, text);
    } else if (entryMode == ENTRY_HEX) {
        SelectEntryMode(IDC_MODE_HEX);
        if (text != nullptr)
            SetDlgItemText(tester.mainWindow, IDC_HEX_DATA, text);
    }
    SetDlgItemInt(tester.mainWindow, IDC_P1, p1);
    SetDlgItemInt(tester.mainWindow, IDC_P2, p2);
    char p3Text[8];
    snprintf(p3Text, sizeof p3Text, "0x%02X", p3);
    SetDlgItemText(tester.mainWindow, IDC_P3, p3Text);
    SetDlgItemInt(tester.mainWindow, IDC_LENGTH, length);
}

void SaveCommandSettings(const StorageCommandForm& form)
{
    CommandSettings& settings = tester.*form.settings;
    settings.p1 = FieldByte(IDC_P1);
    settings.p2 = FieldByte(IDC_P2);
    // A text that is not a byte keeps the value the command had.
    char p3[P3_TEXT_CAPACITY];
    ReadP3(p3, &settings.p3);
    settings.length = FieldByte(IDC_LENGTH);
    settings.dataLen = SETTINGS_DATA_SIZE;
    memset(settings.data, 0, SETTINGS_DATA_SIZE);
    CopyEntryData(settings.data, &settings.dataLen, true);
    settings.entryMode = tester.entryMode;
}

void SetCommandDefaults(const StorageCommandForm& form)
{
    CommandSettings& settings = tester.*form.settings;
    const CommandDefaults& defaults = form.defaults;
    memset(&settings, 0, sizeof settings);
    settings.dataLen = uint32_t(strlen(defaults.data));
    memcpy(settings.data, defaults.data, settings.dataLen);
    settings.entryMode = defaults.entryMode;
    settings.p1 = defaults.p1;
    settings.p2 = defaults.p2;
    settings.p3 = defaults.p3;
    settings.length = defaults.length;
}

}  // namespace

INT_PTR SwitchStorageCommand(int id)
{
    const StorageCommandForm* form = FormOfRadio(id);
    if (form == nullptr)
        return TRUE;

    SelectStorageCommand(*form);
    SetLabel(IDC_P2_LABEL, form->captions.p2);
    SetLabel(IDC_P3_LABEL, form->captions.p3);
    SetLabel(IDC_LENGTH_LABEL, form->captions.length);
    SetLabel(IDC_MODE_HEX, form->captions.hexRadio);
    if (tester.storageCommand != form->command)
        SaveCommandSettings(FORMS[tester.storageCommand]);

    // Saved text fills all 1024 bytes when it is that long: terminate a copy.
    const CommandSettings& settings = tester.*form->settings;
    char text[SETTINGS_DATA_SIZE + 1];
    memcpy(text, settings.data, SETTINGS_DATA_SIZE);
    text[SETTINGS_DATA_SIZE] = '\0';
    EntryMode entryShown = form->data == SHOWS_KEY ? ENTRY_HEX
        : form->data == SHOWS_SAVED_ENTRY          ? settings.entryMode
                                                   : ENTRY_NONE;
    ShowCommandFields(settings.p1, settings.p2, settings.p3, settings.length,
                      form->data == SHOWS_NO_DATA ? nullptr : text, entryShown);
    tester.storageCommand = form->command;
    return TRUE;
}

INT_PTR SelectCommandType(int id)
{
    bool storage = id == IDC_TYPE_STORAGE;
    CheckDlgButton(tester.mainWindow, IDC_TYPE_DIRECT, !storage);
    CheckDlgButton(tester.mainWindow, IDC_TYPE_STORAGE, storage);
    CheckDlgButton(tester.mainWindow, IDC_TYPE_VENDOR, false);
    EnableComposerFields(storage);
    if (storage)
        SelectStorageCommand(FORMS[tester.storageCommand]);
    EnableVendorControls(false);
    EnableDlgItem(tester.mainWindow, IDC_LOOP, true);
    EnableDlgItem(tester.mainWindow, IDC_LOOP_COUNT, tester.loopEnabled != 0);
    tester.commandType = storage ? COMMAND_STORAGE : COMMAND_DIRECT;
    return TRUE;
}

void EnableComposerFields(bool enable)
{
    for (const StorageCommandForm& form : FORMS)
        EnableDlgItem(tester.mainWindow, form.radio, enable);
    for (int control : PARAMETER_FIELDS)
        EnableDlgItem(tester.mainWindow, control, enable);
}

bool ComposeStorageApdu(BYTE* dest, uint32_t* length, StorageCommand command)
{
    const StorageCommandForm& form = FORMS[command];
    StorageFields fields = {FieldByte(IDC_P1), FieldByte(IDC_P2), 0, FieldByte(IDC_LENGTH)};
    char p3[P3_TEXT_CAPACITY];
    if (form.takesP3 && !ReadP3(p3, &fields.p3)) {
        char line[P3_TEXT_CAPACITY + 64];
        snprintf(line, sizeof line, "P3: \"%s\" is not a hexadecimal byte; nothing sent.", p3);
        LogAppend(line);
        return false;
    }
    uint32_t count;
    const BYTE* data = CurrentEntryData(&count);
    *length = BuildStorageApdu(command, tester.storageDialect, fields, data, count, dest, BUFFER_SIZE);
    return true;
}

void ShowComposerDefaults()
{
    SetDlgItemText(tester.mainWindow, IDC_STRING_DATA, STRING_DEFAULT);
    SetDlgItemText(tester.mainWindow, IDC_HEX_DATA, HEX_DEFAULT);
    ShowCommandFields(0, 0, 0, 0, nullptr, ENTRY_NONE);
    for (const StorageCommandForm& form : FORMS)
        SetCommandDefaults(form);
}
