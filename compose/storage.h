// The storage-card APDU composer and the command-type radio buttons.
#pragma once

#include <cstdint>

#include "state/tester_state.h"

// Builds the APDU of `storageCommand` into `dest` (BUFFER_SIZE bytes) and
// sets *length to the bytes to send. False, with the reason in the log, when
// a field cannot be read: nothing is to be sent.
bool ComposeStorageApdu(BYTE* dest, uint32_t* length, int32_t storageCommand);
void SelectStorageCommand(int32_t id);
void EnableComposerFields(bool enable);
void ShowCommandFields(uint8_t p1, uint8_t p2, uint8_t p3, uint8_t length, const char* text, int32_t entryMode);
void SaveCommandSettings(int32_t id);
