// Placeholder until this module is written.
#include "ui/winsys.h"

INT_PTR DialogBoxParam([[maybe_unused]] int templateId, [[maybe_unused]] HWND owner, [[maybe_unused]] DLGPROC proc, [[maybe_unused]] LPARAM param) { return {}; }
HWND CreateDialogParam([[maybe_unused]] int templateId, [[maybe_unused]] HWND owner, [[maybe_unused]] DLGPROC proc, [[maybe_unused]] LPARAM param) { return {}; }
void EndDialog([[maybe_unused]] HWND dialog, [[maybe_unused]] INT_PTR result) { }
void DestroyDialog([[maybe_unused]] HWND dialog) { }
INT_PTR SendDialogMessage([[maybe_unused]] HWND dialog, [[maybe_unused]] UINT message, [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam) { return {}; }
INT_PTR SendCommand([[maybe_unused]] HWND dialog, [[maybe_unused]] WPARAM wParam) { return {}; }
INT_PTR DefWindowProc([[maybe_unused]] HWND dialog, [[maybe_unused]] UINT message, [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam) { return {}; }
unsigned GetLastError() { return {}; }
void SetDlgItemText([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] const char* text) { }
unsigned GetDlgItemText([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] char* buffer, [[maybe_unused]] int capacity) { return {}; }
void SetDlgItemInt([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] unsigned value) { }
unsigned GetDlgItemInt([[maybe_unused]] HWND dialog, [[maybe_unused]] int id) { return {}; }
void EnableDlgItem([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] bool enable) { }
bool IsDlgItemEnabled([[maybe_unused]] HWND dialog, [[maybe_unused]] int id) { return {}; }
void CheckDlgButton([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] bool checked) { }
bool IsDlgButtonChecked([[maybe_unused]] HWND dialog, [[maybe_unused]] int id) { return {}; }
void LimitDlgItemText([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] int limit) { }
void ListResetContent([[maybe_unused]] HWND dialog, [[maybe_unused]] int id) { }
void ListAddString([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] const char* text) { }
void ListSetCurSel([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] int index) { }
int ListGetCurSel([[maybe_unused]] HWND dialog, [[maybe_unused]] int id) { return {}; }
int ListGetCount([[maybe_unused]] HWND dialog, [[maybe_unused]] int id) { return {}; }
int ListGetText([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] int index, [[maybe_unused]] char* buffer, [[maybe_unused]] int capacity) { return {}; }
void RepaintDlgItem([[maybe_unused]] HWND dialog, [[maybe_unused]] int id) { }
void GetDlgItemScreenRect([[maybe_unused]] HWND dialog, [[maybe_unused]] int id, [[maybe_unused]] RECT* rect) { }
void SetDialogIcon([[maybe_unused]] HWND dialog, [[maybe_unused]] int iconId) { }
HMENU GetSystemMenu([[maybe_unused]] HWND dialog) { return {}; }
HMENU CreatePopupMenu() { return {}; }
void AppendMenuItem([[maybe_unused]] HMENU menu, [[maybe_unused]] int id, [[maybe_unused]] const char* text) { }
void AppendMenuSeparator([[maybe_unused]] HMENU menu) { }
void TrackPopupMenuUpward([[maybe_unused]] HMENU menu, [[maybe_unused]] HWND owner, [[maybe_unused]] int x, [[maybe_unused]] int y) { }
void ShowErrorMessageBox([[maybe_unused]] const char* text, [[maybe_unused]] const char* caption) { }
void OpenDocument([[maybe_unused]] const char* name) { }
int GetOpenFileName([[maybe_unused]] HWND owner, [[maybe_unused]] const char* filterName, [[maybe_unused]] char* path, [[maybe_unused]] int capacity) { return {}; }
unsigned CommDlgExtendedError() { return {}; }
