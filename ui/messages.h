// The words a dialog procedure and the window system speak: the handles, the
// procedure's shape, the messages and the notification codes, with Win32's
// names and values. The handles are opaque: only ui/ knows what stands
// behind them.
#pragma once

#include <cstdint>

typedef struct DialogHandle* HWND;  // a dialog built from a template
typedef struct MenuHandle* HMENU;   // a menu: the system menu or a popup
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t INT_PTR;
typedef INT_PTR (*DLGPROC)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_POWERBROADCAST = 0x0218;
// The first message number free for the program's own messages.
constexpr UINT WM_APP = 0x8000;

constexpr WPARAM PBT_APMSUSPEND = 4;
constexpr WPARAM PBT_APMRESUMESUSPEND = 7;

constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_CLOSE = 0xF060;

// Notification codes (high 16 bits of a WM_COMMAND wParam).
constexpr unsigned BN_CLICKED = 0;
constexpr unsigned LBN_SELCHANGE = 1;
constexpr unsigned LBN_DBLCLK = 2;
constexpr unsigned EN_SETFOCUS = 0x0100;
constexpr unsigned EN_KILLFOCUS = 0x0200;
constexpr unsigned EN_CHANGE = 0x0300;
constexpr unsigned EN_UPDATE = 0x0400;

inline unsigned LOWORD(WPARAM w)
{
    return unsigned(w & 0xFFFF);
}
inline unsigned HIWORD(WPARAM w)
{
    return unsigned((w >> 16) & 0xFFFF);
}
inline WPARAM MAKEWPARAM(unsigned low, unsigned high)
{
    return WPARAM((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}
