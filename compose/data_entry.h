// The three data sources: string, hex digits, file.
#pragma once

#include <cstdint>

#include "state/tester_state.h"

// Copies the current source into `dest`, which holds *length bytes, never
// more. *length becomes the count copied; for the hex source with textFlag 1
// the field's text is copied (terminated when shorter than the destination)
// and *length becomes the parsed byte count. Returns *length.
uint32_t CopyEntryData(BYTE* dest, uint32_t* length, int textFlag);
// The value of a hex digit of either case, or -1 for any other character.
int HexDigitValue(char c);
// `path` holds 260 characters: the pattern on entry, the chosen file after.
int OpenFileDialog(const char* filterName, char* path);
void UpdateVendorLength(uint32_t count);
