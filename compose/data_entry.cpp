// Placeholder until this module is written.
#include "compose/data_entry.h"

INT_PTR SelectEntryMode([[maybe_unused]] int id) { return {}; }
INT_PTR UpdateStringData() { return {}; }
INT_PTR UpdateHexData() { return {}; }
INT_PTR LoadDataFile() { return {}; }
uint32_t CopyEntryData([[maybe_unused]] BYTE* dest, [[maybe_unused]] uint32_t* length, [[maybe_unused]] int textFlag) { return {}; }
int32_t ParseHexPairs([[maybe_unused]] char* buffer, [[maybe_unused]] int32_t count) { return {}; }
int OpenFileDialog([[maybe_unused]] const char* filterName, [[maybe_unused]] char* path) { return {}; }
void UpdateVendorLength([[maybe_unused]] uint32_t count) { }
