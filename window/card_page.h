// The insight panel's Card and Reader page: the last call's status and the
// last response's status word by name, the connected card's ATR decoded and
// identified, and the card events the watcher records while a context is
// held, with the card-tap measure taken from them.
#pragma once

#include <winscard.h>

#include "ui/winsys.h"

// Posted by the watcher's thread for each event it records; the window's
// thread then reads the watcher's ring.
constexpr UINT WM_CARD_EVENTS = WM_APP + 16;

// Empties the page and forgets the events of an earlier window.
void ResetCardPage();
// After a successful Establish Context: the watcher runs on a context of its
// own; a watcher that cannot start says why in the event list.
void StartCardWatch();
// At Release and when the window closes; returns once the watcher's thread
// has ended. Nothing when none runs.
void StopCardWatch();
// WM_CARD_EVENTS: the events not yet listed go into the list (the last 1000
// kept), a removal of the connected reader's card marks that field, and the
// tap measure is taken anew.
INT_PTR ShowCardEvents();
// The status of the last call, described as Win Status's tooltip describes it.
// A failed call clears the last response's meaning, which belonged to an
// earlier call.
void ShowLastCallStatus(const char* description, bool failed);
// What the status word that ends a transmit's response means.
void ShowResponseMeaning(const BYTE* response, DWORD length);
// The connected card's ATR decoded and named from the known-ATR lists;
// nothing (length 0) empties it.
void ShowCardAtr(const BYTE* atr, DWORD length);
// The connected-reader field is no longer marked: a card was connected,
// disconnected or the context released.
void UnmarkConnectedReader();
