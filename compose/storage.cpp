// Placeholder until this module is written.
#include "compose/storage.h"

INT_PTR SwitchStorageCommand([[maybe_unused]] int id) { return {}; }
INT_PTR SelectCommandType([[maybe_unused]] int id) { return {}; }
void ComposeStorageApdu([[maybe_unused]] BYTE* dest, [[maybe_unused]] uint32_t* length, [[maybe_unused]] int32_t storageCommand) { }
void SelectStorageCommand([[maybe_unused]] int32_t id) { }
void EnableComposerFields([[maybe_unused]] bool enable) { }
void ShowCommandFields([[maybe_unused]] uint8_t p1, [[maybe_unused]] uint8_t p2, [[maybe_unused]] uint8_t p3, [[maybe_unused]] uint8_t length, [[maybe_unused]] const char* text, [[maybe_unused]] int32_t entryMode) { }
void SaveCommandSettings([[maybe_unused]] int32_t id) { }
