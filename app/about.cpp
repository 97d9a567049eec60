// Placeholder until this module is written.
#include "app/about.h"

INT_PTR AboutDialogProc([[maybe_unused]] HWND dialog, [[maybe_unused]] UINT message, [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam) { return {}; }
void ShowVersionTitle([[maybe_unused]] HWND dialog, [[maybe_unused]] int id) { }
