// The reader life cycle as calls over plain arguments: the connect options
// and their words, connect and reconnect with the protocol fallback, the
// resets on demand, the ATR read, the walk over the reader list and the
// verdict on a failed release. Everything goes through the `pcsc` table.
#pragma once

#include <cstddef>
#include <cstdint>

#include <winscard.h>

#include "core/clock/timing.h"

// How a connection shares the reader with other clients.
enum ShareChoice : int32_t {
    SHARE_EXCLUSIVE,  // no other client while it lasts (the default)
    SHARE_SHARED,     // others may connect too
    SHARE_DIRECT,     // to the reader itself, with or without a card
};

// The protocols a connection offers.
enum ProtocolChoice : int32_t {
    PROTOCOL_ANY,  // T=0 or T=1, then RAW alone when the card speaks neither (the default)
    PROTOCOL_T0,
    PROTOCOL_T1,
    PROTOCOL_RAW,
};

// How a connect and a reconnect ask for the card. A zeroed record is the
// default: exclusive, any protocol.
struct ConnectOptions {
    ShareChoice share;
    ProtocolChoice protocol;
};

// The words the front ends take for the options, in the order their help
// lists them: "exclusive", "shared", "direct"; "any", "t0", "t1", "raw";
// "leave", "reset", "unpower", "eject" (the SCARD_*_CARD dispositions).
// Each parse is exact (lower case) and leaves *value alone for a word it
// does not know.
bool ParseShareChoice(const char* word, ShareChoice* value);
bool ParseProtocolChoice(const char* word, ProtocolChoice* value);
bool ParseDisposition(const char* word, DWORD* value);
// The word of a value; "?" for one outside the table.
const char* ShareChoiceName(ShareChoice share);
const char* ProtocolChoiceName(ProtocolChoice protocol);
const char* DispositionName(DWORD disposition);
// The protocol pcscd reports (SCARD_PROTOCOL_T0, _T1, _RAW) by the word
// --protocol takes for it; null for any other value.
const char* ActiveProtocolName(DWORD protocol);
// The words of each table joined with `|`, for messages and help.
extern const char SHARE_WORDS[];
extern const char PROTOCOL_WORDS[];
extern const char DISPOSITION_WORDS[];

// The SCARD_SHARE_ value and the preferred protocols of the first offer.
// A direct connection offers no protocol unless one is named (pcsc-lite
// wants 0 there, and needs no card).
DWORD ShareModeOf(const ConnectOptions& options);
DWORD OfferedProtocolsOf(const ConnectOptions& options);

// Connects to `reader` as `options` ask. With the default protocol choice it
// offers OFFERED_PROTOCOLS, then FALLBACK_PROTOCOL alone when the card speaks
// neither; a protocol named is offered alone, and its refusal is the answer.
LONG ConnectCard(SCARDCONTEXT context, const char* reader, const ConnectOptions& options, SCARDHANDLE* card,
                 DWORD* protocol);
// Reconnects `card` with the offer ConnectCard makes for `options`.
LONG ReconnectCard(SCARDHANDLE card, const ConnectOptions& options, DWORD initialization, DWORD* protocol);

// A reset on demand: warm (SCARD_RESET_CARD) or cold (SCARD_UNPOWER_CARD:
// power off, then on again).
enum ResetKind : int32_t {
    RESET_WARM,
    RESET_COLD,
};
// "warm", "cold"; "?" for another value.
const char* ResetKindName(ResetKind kind);
bool ParseResetKind(const char* word, ResetKind* kind);

// What a reset gave: the reconnect's status, span and protocol, the ATR read
// after it, and whether that ATR differs from the one known before.
struct ResetResult {
    LONG status;  // of SCardReconnect
    Span span;    // of SCardReconnect
    DWORD protocol;
    BYTE atr[MAX_ATR_SIZE];
    DWORD atrLength;  // 0 when the reset failed or the ATR could not be read
    bool atrChanged;  // both ATRs known and different
};

// Resets `card` as `kind` says, reconnecting with `options`, then reads the
// ATR and compares it with `lastAtr` (`lastLength` bytes; 0 for none known).
void ResetCard(SCARDHANDLE card, const ConnectOptions& options, ResetKind kind, const BYTE* lastAtr, DWORD lastLength,
               ResetResult* result);

// Reads the ATR of `card` into `atr` (`size` bytes): the attribute first, else
// what pcscd holds for the card. *length is the bytes read, 0 on failure.
LONG ReadAtr(SCARDHANDLE card, BYTE* atr, DWORD size, DWORD* length);

// The name at *offset of a multi-string in a buffer of `size` bytes, moving
// *offset past it; nullptr after the last name. A name that runs to the end
// of the buffer without its terminator is not a name.
const char* NextReaderName(const char* names, size_t size, size_t* offset);

// Whether a release of `context` that answered `status` left no context
// behind: it succeeded, none was held, or the service lost it.
bool ReleaseLeftNoContext(SCARDCONTEXT context, LONG status);
