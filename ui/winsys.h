// The window-system operations every handler uses, addressed by dialog and
// control identifier: the only way into a dialog from outside ui/.
// Implemented over Qt in ui/; nothing outside ui/ and the entry touches a Qt
// widget. Text is single-byte (Latin-1) both ways.
//
// The rules the handlers rely on:
//  - Every control signal reaches the dialog procedure as WM_COMMAND with the
//    control identifier in the low 16 bits of wParam and a notification code
//    in the high 16 bits, synchronously.
//  - SetDlgItemText / SetDlgItemInt on an edit field run that field's
//    handler (WM_COMMAND with EN_CHANGE) exactly once before they return,
//    also when the text does not change. Other notifications of an edit
//    field (focus in/out, editing finished) arrive as EN_SETFOCUS,
//    EN_KILLFOCUS, EN_UPDATE.
//  - Radio buttons are plain: a click only sends BN_CLICKED, the check
//    changes only through CheckDlgButton. Check boxes are automatic: a click
//    toggles the check, then BN_CLICKED arrives.
//  - CheckDlgButton, EnableDlgItem, list operations, window texts of labels
//    and buttons send nothing.
#pragma once

#include "ui/messages.h"

struct RECT {
    int left;
    int top;
    int right;
    int bottom;
};

// Dialogs.
// Runs a dialog modally from a template: WM_INITDIALOG first, returns the
// value given to EndDialog after WM_DESTROY has been sent. -1 when no
// dialog could be created (unknown template); GetLastError tells why.
INT_PTR DialogBoxParam(int templateId, HWND owner, DLGPROC proc, LPARAM param);
// Builds and shows a dialog without running its loop (WM_INITDIALOG is sent
// before it returns); the tests drive the window this way.
HWND CreateDialogParam(int templateId, HWND owner, DLGPROC proc, LPARAM param);
// Ends a dialog: a modal run returns; a modeless one is hidden. Calling it
// again (from the WM_DESTROY handler, say) does no harm.
void EndDialog(HWND dialog, INT_PTR result);
// Sends WM_DESTROY to a modeless dialog and frees it; after WM_DESTROY no
// message reaches the procedure. Not from inside the dialog's own handlers.
void DestroyDialog(HWND dialog);
// Calls the dialog procedure at once with the message; returns its result.
// Like every message, a WM_SYSCOMMAND the procedure returns FALSE for then
// gets the default handling (DefWindowProc).
INT_PTR SendDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Sends a WM_COMMAND with lParam 0 to the dialog (SendMessage).
INT_PTR SendCommand(HWND dialog, WPARAM wParam);
// Default handling of a system command: SC_CLOSE sends WM_CLOSE,
// SC_MINIMIZE minimizes; everything else does nothing.
INT_PTR DefWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
unsigned GetLastError();

// Controls.
void SetDlgItemText(HWND dialog, int id, const char* text);
// Copies at most capacity - 1 characters and a terminator; returns the count.
unsigned GetDlgItemText(HWND dialog, int id, char* buffer, int capacity);
void SetDlgItemInt(HWND dialog, int id, unsigned value);
// The text as an unsigned 32-bit decimal number (modulo 2^32), 0 when it
// is empty or not a number. Blanks before and after the digits are allowed;
// anything else ("12x", "+5", "-1") makes it not a number.
unsigned GetDlgItemInt(HWND dialog, int id);
void EnableDlgItem(HWND dialog, int id, bool enable);
bool IsDlgItemEnabled(HWND dialog, int id);
void CheckDlgButton(HWND dialog, int id, bool checked);
bool IsDlgButtonChecked(HWND dialog, int id);
// Typing beyond the limit is refused; texts the program sets are not cut.
void LimitDlgItemText(HWND dialog, int id, int limit);
void ListResetContent(HWND dialog, int id);
void ListAddString(HWND dialog, int id, const char* text);  // appended, never sorted
void ListSetCurSel(HWND dialog, int id, int index);
int ListGetCurSel(HWND dialog, int id);  // -1 when none
int ListGetCount(HWND dialog, int id);
// Copies entry `index` (at most capacity - 1 characters and a terminator).
int ListGetText(HWND dialog, int id, int index, char* buffer, int capacity);
// Repaints one control now, inside a long handler.
void RepaintDlgItem(HWND dialog, int id);
// The control's rectangle in screen coordinates.
void GetDlgItemScreenRect(HWND dialog, int id, RECT* rect);
void SetDialogIcon(HWND dialog, int iconId);

// Menus.
// The window's own menu, standing for the system menu: Minimize, Close;
// items appended to it arrive as WM_SYSCOMMAND with their identifier. It
// opens as the context menu of the window's background, with Alt+Space and
// with the Menu key (outside edit fields and the list).
HMENU GetSystemMenu(HWND dialog);
// Menus live as long as the program. At most 16 items each; an item text
// is cut to 63 characters.
HMENU CreatePopupMenu();
void AppendMenuItem(HMENU menu, int id, const char* text);
void AppendMenuSeparator(HMENU menu);
// The number of items; the identifier of the item at `position` (0 for a
// separator, -1 as UINT for none); its text, copied as GetDlgItemText does.
int GetMenuItemCount(HMENU menu);
UINT GetMenuItemID(HMENU menu, int position);
int GetMenuString(HMENU menu, int position, char* buffer, int capacity);
// Opens the popup with its bottom-left corner at (x, y) and returns when it
// closes; a chosen item then arrives at `owner` as WM_COMMAND with its id.
void TrackPopupMenuUpward(HMENU menu, HWND owner, int x, int y);

// Platform services.
void ShowErrorMessageBox(const char* text, const char* caption);
// Opens a document with the desktop's default handler; the name is resolved
// against the current working directory. The outcome is not reported.
void OpenDocument(const char* name);
// File-open dialog: one filter `filterName` with the pattern held in `path`
// on entry ("*.*" shows every file); accepts only an existing file. On
// success `path` holds the full path as the file system's bytes (so fopen
// finds it) and 1 is returned; 0 on cancel or failure (CommDlgExtendedError
// then tells which: 0 for a plain cancel), `path` unchanged.
int GetOpenFileName(HWND owner, const char* filterName, char* path, int capacity);
// Extended error of the last GetOpenFileName: 0 for a plain cancel,
// FNERR_BUFFERTOOSMALL when the chosen path does not fit `capacity`.
constexpr unsigned FNERR_BUFFERTOOSMALL = 0x3003;
unsigned CommDlgExtendedError();
