// The three data sources: string, hex digits, file.
#pragma once

#include <cstdint>

#include "state/tester_state.h"

INT_PTR SelectEntryMode(int id);
INT_PTR UpdateStringData();
INT_PTR UpdateHexData();
INT_PTR LoadDataFile();
// Copies the current source into `dest` and sets *length (see the table of
// sources in data_entry.cpp); returns the count it set.
uint32_t CopyEntryData(BYTE* dest, uint32_t* length, int textFlag);
// Converts pairs of uppercase hex digits in place; bytes produced, 0 on failure.
int32_t ParseHexPairs(char* buffer, int32_t count);
int OpenFileDialog(const char* filterName, char* path);
void UpdateVendorLength(uint32_t count);
