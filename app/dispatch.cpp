// Placeholder until this module is written.
#include "app/dispatch.h"

INT_PTR MainDialogProc([[maybe_unused]] HWND dialog, [[maybe_unused]] UINT message, [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam) { return {}; }
