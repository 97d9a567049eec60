// The window-system operations every handler uses, addressed by dialog and
// control identifier: the only way into a dialog from outside ui/.
// Implemented over Qt in ui/; nothing outside ui/ and the entry touches a Qt
// widget. Text is single-byte (Latin-1) both ways.
//
// Each function is marked:
//   [Win32]  behaves as the Win32 call of the same name, in the parts listed;
//   [own]    this program's own name, for the Win32 call or message named.
//
// The rules the handlers rely on:
//  - Every control signal reaches the dialog procedure as WM_COMMAND with the
//    control identifier in the low 16 bits of wParam and a notification code
//    in the high 16 bits, synchronously.
//  - SetDlgItemText / SetDlgItemInt on an edit field (read-only ones too)
//    send that field's WM_COMMAND with EN_CHANGE exactly once before they
//    return, also when the text does not change, as Win32 does. Other
//    notifications of an edit field (focus in/out, editing finished) arrive
//    as EN_SETFOCUS, EN_KILLFOCUS, EN_UPDATE.
//  - Radio buttons are plain: a click only sends BN_CLICKED, the check
//    changes only through CheckDlgButton. Check boxes are automatic: a click
//    toggles the check, then BN_CLICKED arrives.
//  - CheckDlgButton, EnableDlgItem, list operations, window texts of labels
//    and buttons send nothing.
//
// Program writes that re-enter the main window's procedure, and what depends
// on the re-entry (the one place this is written down):
//
//   field written     by                          re-runs               what depends on it
//   ----------------  --------------------------  --------------------  ---------------------------------
//   IDC_STRING_DATA   set-up (the default text);  UpdateStringData   the string bytes, their count and
//                     the storage composer (the                         the vendor Le follow the text:
//                     chosen command's data)                            this is how the default and each
//                                                                       storage command's data reach them
//   IDC_HEX_DATA      set-up (the default bytes); UpdateHexData      the same for the hex bytes
//                     the storage composer
//   IDC_LOOP_COUNT    its own handler, writing    UpdateLoopCount    nothing but the end of it: the
//                     5000 back over a larger                           re-run reads 5000, which is not
//                     count                                             over the limit, and stops there
//   IDC_LOOP_COUNT    set-up (100)                UpdateLoopCount    nothing: it reads back the count
//                                                                       set-up has already stored
//   any other edit    set-up, handlers, the loop  no handler            nothing: the notification arrives,
//   field                                                               as in Win32, unanswered
#pragma once

#include "ui/messages.h"

struct RECT {
    int left;
    int top;
    int right;
    int bottom;
};

// Dialogs.
// [Win32] DialogBoxParam, the template named by its number: runs the dialog
// modally, WM_INITDIALOG first, returns the value given to EndDialog after
// WM_DESTROY has been sent; -1 when no dialog could be created (unknown
// template), GetLastError then tells why.
INT_PTR DialogBoxParam(int templateId, HWND owner, DLGPROC proc, LPARAM param);
// [Win32] CreateDialogParam: builds the dialog and sends WM_INITDIALOG before
// it returns, without a loop of its own; the dialog is shown (as with
// WS_VISIBLE) unless it ended during WM_INITDIALOG. The tests drive the
// window this way.
HWND CreateDialogParam(int templateId, HWND owner, DLGPROC proc, LPARAM param);
// [Win32] EndDialog: a modal run returns; a modeless dialog is hidden (Win32
// leaves that undefined). Calling it again (from the WM_DESTROY handler,
// say) does no harm.
void EndDialog(HWND dialog, INT_PTR result);
// [own] DestroyWindow of a modeless dialog: sends WM_DESTROY and frees it;
// after WM_DESTROY no message reaches the procedure. Not from inside the
// dialog's own handlers.
void DestroyDialog(HWND dialog);
// [own] SendMessage to a dialog: calls the procedure at once and returns its
// result. A WM_SYSCOMMAND the procedure returns FALSE for then gets the
// default handling (DefWindowProc), as the Win32 dialog manager does.
INT_PTR SendDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// [own] SendMessage(dialog, WM_COMMAND, wParam, 0).
INT_PTR SendCommand(HWND dialog, WPARAM wParam);
// [own] PostMessage to a dialog, safe from any thread: the message is queued
// and reaches the procedure on the dialog's thread, in the order posted,
// once that thread runs its event loop; never after WM_DESTROY.
void PostDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// [Win32] DefWindowProc, for WM_SYSCOMMAND only: SC_CLOSE sends WM_CLOSE,
// SC_MINIMIZE minimizes; everything else does nothing.
INT_PTR DefWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// [Win32] GetLastError, set only by the two dialog builders.
unsigned GetLastError();

// Controls.
// [Win32] SetDlgItemText, with the notification of an edit field described
// above. The log pane keeps its view at the end unless the reader scrolled up.
void SetDlgItemText(HWND dialog, int id, const char* text);
// [own] EM_SETSEL to the end and EM_REPLACESEL, for the log pane and the
// read-only texts: adds `text` at the end without sending the whole text
// again (so its cost does not grow with the text); the view is kept as
// SetDlgItemText keeps it. Sends nothing.
void AppendDlgItemText(HWND dialog, int id, const char* text);
// [Win32] GetDlgItemText: copies at most capacity - 1 characters and a
// terminator; returns the count.
unsigned GetDlgItemText(HWND dialog, int id, char* buffer, int capacity);
// [Win32] SetDlgItemInt unsigned (bSigned FALSE); notifies as SetDlgItemText.
void SetDlgItemInt(HWND dialog, int id, unsigned value);
// [Win32] GetDlgItemInt unsigned (bSigned FALSE), without lpTranslated: the
// text as an unsigned 32-bit decimal number (modulo 2^32), 0 when it is
// empty or not a number. Blanks before and after the digits are allowed;
// anything else ("12x", "+5", "-1") makes it not a number.
unsigned GetDlgItemInt(HWND dialog, int id);
// [own] EnableWindow(GetDlgItem(dialog, id), enable).
void EnableDlgItem(HWND dialog, int id, bool enable);
// [own] IsWindowEnabled(GetDlgItem(dialog, id)).
bool IsDlgItemEnabled(HWND dialog, int id);
// [Win32] CheckDlgButton, checked or unchecked.
void CheckDlgButton(HWND dialog, int id, bool checked);
// [Win32] IsDlgButtonChecked, checked or not.
bool IsDlgButtonChecked(HWND dialog, int id);
// [own] A push button made BS_PUSHLIKE | BS_AUTORADIOBUTTON: it holds a
// checked state, shown pressed; the dialog's buttons made so form one group
// (checking one unchecks the others, a click on the checked one keeps it),
// and a screen reader hears them as radio buttons, checked or not. A click
// checks it, then BN_CLICKED arrives.
void MakeDlgButtonCheckable(HWND dialog, int id);
// [own] EM_LIMITTEXT: typing beyond the limit is refused; texts the program
// sets are not cut.
void LimitDlgItemText(HWND dialog, int id, int limit);
// [own] LB_RESETCONTENT, LB_ADDSTRING (appended, never sorted),
// LB_SETCURSEL, LB_GETCURSEL (-1 when none), LB_GETCOUNT; none notifies.
void ListResetContent(HWND dialog, int id);
void ListAddString(HWND dialog, int id, const char* text);
void ListSetCurSel(HWND dialog, int id, int index);
int ListGetCurSel(HWND dialog, int id);
int ListGetCount(HWND dialog, int id);
// [own] LB_GETTEXT: copies entry `index` (at most capacity - 1 characters and
// a terminator).
int ListGetText(HWND dialog, int id, int index, char* buffer, int capacity);
// [own] LB_DELETESTRING; sends nothing.
void ListDeleteString(HWND dialog, int id, int index);
// [own] A table (a list view in report mode): LVM_INSERTCOLUMN for each of
// `count` titles, replacing the columns it had (and its rows);
// LVM_DELETEALLITEMS; LVM_INSERTITEM at the end with its cells, each
// column's width then fitted to what it holds; LVM_GETITEMCOUNT;
// LVM_GETNEXTITEM with LVNI_SELECTED (-1 when none); LVM_SETITEMSTATE
// selecting row `row` alone (none for -1), scrolled into view;
// LVM_GETITEMTEXT (at most capacity - 1 characters and a terminator, -1 and
// "" for no such cell). A row the user selects sends LBN_SELCHANGE; none of
// these sends anything.
void TableSetColumns(HWND dialog, int id, const char* const* titles, int count);
void TableResetContent(HWND dialog, int id);
void TableAddRow(HWND dialog, int id, const char* const* cells, int count);
int TableGetCount(HWND dialog, int id);
int TableGetCurSel(HWND dialog, int id);
void TableSetCurSel(HWND dialog, int id, int row);
int TableGetText(HWND dialog, int id, int row, int column, char* buffer, int capacity);
// [own] UpdateWindow(GetDlgItem(dialog, id)): repaints one control now,
// inside a long handler, when its text changed since its last paint.
void RepaintDlgItem(HWND dialog, int id);
// [own] GetWindowRect(GetDlgItem(dialog, id)): the control's rectangle in
// screen coordinates.
void GetDlgItemScreenRect(HWND dialog, int id, RECT* rect);
// [own] WM_SETICON with the icon resource `iconId`; also the application's.
void SetDialogIcon(HWND dialog, int iconId);

// The panel: the controls a template places at or beyond its width.
// [own] Shows or hides it (SetWindowPos to the wider or the narrower size,
// and ShowWindow of its controls). It starts hidden. Shown, the window widens
// on its right and every other control stays where it is; hidden with the
// focus inside it, the focus goes to the last tab stop outside it.
// A dialog, with its panel or without, that would not fit the screen's
// available area with the window manager's frame is limited to the area and
// scrolls (WS_HSCROLL, WS_VSCROLL): the control that takes the focus
// scrolls into view, so Tab reaches every one.
void ShowDialogPanel(HWND dialog, bool show);
bool IsDialogPanelShown(HWND dialog);
// [own] ShowWindow(GetDlgItem(dialog, id)) with SW_SHOW or SW_HIDE: a panel
// control hidden so stays hidden when the panel shows, and a shown one
// appears only with the panel. How the panel switches between its pages.
void ShowDlgItem(HWND dialog, int id, bool show);
// [own] TTM_UPDATETIPTEXT with the control's accessible description: the
// tooltip and what a screen reader says after the control's name; ""
// removes both.
void SetDlgItemTip(HWND dialog, int id, const char* text);
// [own] WM_CTLCOLOREDIT answered with a warning colour: while marked, the
// field's text shows in red; its text stays as it is.
void MarkDlgItem(HWND dialog, int id, bool marked);
bool IsDlgItemMarked(HWND dialog, int id);

// [own] An accelerator table of function keys without modifiers
// (TranslateAccelerator): while the dialog is the active window, the key
// sends WM_COMMAND with `id` and the notification code 1.
constexpr UINT VK_F2 = 0x71;
constexpr UINT VK_F3 = 0x72;
constexpr UINT VK_F4 = 0x73;
constexpr UINT VK_F5 = 0x74;
void AddDialogAccelerator(HWND dialog, UINT virtualKey, int id);

// Charts (controls of the Chart kind); both replace what the chart showed,
// and nothing (0 bins, 0 times) leaves it empty.
// [own] A histogram of times on a logarithmic time axis (microseconds) and
// a logarithmic count axis, so that one run far from thousands still shows:
// bin i (from 1) spans upperEdgesUs[i - 1] to upperEdgesUs[i] and holds
// counts[i] runs; bin 0 only marks where bin 1 starts.
void SetHistogram(HWND dialog, int id, const double* upperEdgesUs, const int32_t* counts, int bins);
// [own] Times in run order, run 1 first, on a logarithmic time axis
// (microseconds).
void SetTimeSeries(HWND dialog, int id, const int64_t* ns, int32_t count);
// [own] The text a chart shows in its middle while it holds nothing, so that
// an empty chart does not look broken; "" shows none.
void SetChartEmptyText(HWND dialog, int id, const char* text);
// [own] The chart's title, in place of its caption.
void SetChartTitle(HWND dialog, int id, const char* title);

// One series of a plot: points (x[i], y[i]), joined by lines or shown as
// dots.
enum PlotStyle : int32_t {
    PLOT_LINE,
    PLOT_DOTS,
};
struct PlotSeries {
    const double* x;
    const double* y;
    int32_t count;
    PlotStyle style;
};
// [own] Series on linear axes titled `xTitle` and `yTitle`, which span every
// series' points; replaces what the chart showed, and no points at all
// leave it empty.
void SetPlot(HWND dialog, int id, const char* xTitle, const char* yTitle, const PlotSeries* series, int count);

// Menus. They live as long as the program. At most 16 items each; an item
// text is cut to 63 characters.
// [Win32] GetSystemMenu(dialog, FALSE), standing for the system menu: the
// window's own menu, Minimize, Close; items appended to it arrive as
// WM_SYSCOMMAND with their identifier. It opens as the context menu of the
// window's background, with Alt+Space and with the Menu key (outside edit
// fields and the list).
HMENU GetSystemMenu(HWND dialog);
// [Win32] CreatePopupMenu.
HMENU CreatePopupMenu();
// [own] AppendMenu with MF_STRING, and with MF_SEPARATOR.
void AppendMenuItem(HMENU menu, int id, const char* text);
void AppendMenuSeparator(HMENU menu);
// [Win32] GetMenuItemCount; -1 for no menu.
int GetMenuItemCount(HMENU menu);
// [Win32] GetMenuItemID by position: 0 for a separator, -1 (as UINT) when
// there is no such item.
UINT GetMenuItemID(HMENU menu, int position);
// [Win32] GetMenuString with MF_BYPOSITION: copies the item's text (at most
// capacity - 1 characters and a terminator) and returns its length.
int GetMenuString(HMENU menu, int position, char* buffer, int capacity);
// [own] TrackPopupMenu with TPM_BOTTOMALIGN: opens the popup with its
// bottom-left corner at (x, y) and returns when it closes; a chosen item then
// arrives at `owner` as WM_COMMAND with its id.
void TrackPopupMenuUpward(HMENU menu, HWND owner, int x, int y);

// Platform services.
// [own] MessageBox with MB_OK | MB_ICONERROR, owned by no window.
void ShowErrorMessageBox(const char* text, const char* caption);
// [own] ShellExecute "open": opens a document with the desktop's default
// handler; the name is resolved against the current working directory. The
// outcome is not reported.
void OpenDocument(const char* name);
// [own] ShellExecute "open" with its outcome: as OpenDocument, but returns
// false when the desktop has no program to open the document with (on
// Linux, no xdg-open).
bool TryOpenDocument(const char* name);
// [own] SHGetFolderPath(CSIDL_PERSONAL): the user's documents folder, or the
// home folder when there is none, as the file system's bytes; false (and
// "" in `path`) when it does not fit `capacity`. Where file dialogs start.
bool GetDocumentsFolder(char* path, int capacity);
// [Win32] GetOpenFileName, its OPENFILENAME reduced to what the program
// sets: one filter `filterName` with the pattern held in `path` on entry
// ("*.*" shows every file), after the folder the dialog starts in when a
// path is given ("/home/me/*.*"); accepts only an existing file
// (OFN_FILEMUSTEXIST).
// On success `path` holds the full path as the file system's bytes (so fopen
// finds it) and 1 is returned; 0 on cancel or failure (CommDlgExtendedError
// then tells which: 0 for a plain cancel), `path` unchanged.
int GetOpenFileName(HWND owner, const char* filterName, char* path, int capacity);
// [Win32] GetSaveFileName, reduced the same way: one filter `filterName`
// with `pattern` ("*.csv"), whose extension is added to a name typed without
// one (lpstrDefExt); `path` holds the proposed name on entry; replacing an
// existing file is confirmed first (OFN_OVERWRITEPROMPT). Returns as
// GetOpenFileName does.
int GetSaveFileName(HWND owner, const char* filterName, const char* pattern, char* path, int capacity);
// [Win32] CommDlgExtendedError of the last file dialog: 0 for a plain
// cancel, FNERR_BUFFERTOOSMALL when the chosen path does not fit `capacity`.
constexpr unsigned FNERR_BUFFERTOOSMALL = 0x3003;
unsigned CommDlgExtendedError();
