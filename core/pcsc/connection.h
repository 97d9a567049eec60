// The reader life cycle as calls over plain arguments: connect and reconnect
// with the protocol fallback, the ATR read, the walk over the reader list and
// the verdict on a failed release. Everything goes through the `pcsc` table.
#pragma once

#include <cstddef>

#include <winscard.h>

// Connects to `reader` exclusively, offering OFFERED_PROTOCOLS, then
// FALLBACK_PROTOCOL alone when the card speaks neither.
LONG ConnectCard(SCARDCONTEXT context, const char* reader, SCARDHANDLE* card, DWORD* protocol);
// Reconnects `card` with the offer ConnectCard makes.
LONG ReconnectCard(SCARDHANDLE card, DWORD initialization, DWORD* protocol);

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
