// The PC/SC calls the tester makes, all of them, reached through one table so
// that unit tests can script failures no reader produces on demand. `pcsc`
// starts out pointing at libpcsclite.
#pragma once

#include <winscard.h>

struct PcscApi {
    LONG (*EstablishContext)(DWORD scope, LPCVOID reserved1, LPCVOID reserved2, LPSCARDCONTEXT context);
    LONG (*ReleaseContext)(SCARDCONTEXT context);
    LONG (*ListReaders)(SCARDCONTEXT context, LPCSTR groups, LPSTR readers, LPDWORD readersLen);
    LONG(*Connect)
    (SCARDCONTEXT context, LPCSTR reader, DWORD shareMode, DWORD preferredProtocols, LPSCARDHANDLE card,
     LPDWORD activeProtocol);
    LONG(*Reconnect)
    (SCARDHANDLE card, DWORD shareMode, DWORD preferredProtocols, DWORD initialization, LPDWORD activeProtocol);
    LONG (*Disconnect)(SCARDHANDLE card, DWORD disposition);
    LONG(*Status)
    (SCARDHANDLE card, LPSTR readerNames, LPDWORD readerNamesLen, LPDWORD state, LPDWORD protocol, LPBYTE atr,
     LPDWORD atrLen);
    LONG (*GetAttrib)(SCARDHANDLE card, DWORD attrId, LPBYTE attr, LPDWORD attrLen);
    LONG(*Transmit)
    (SCARDHANDLE card, const SCARD_IO_REQUEST* sendPci, LPCBYTE sendBuffer, DWORD sendLength, SCARD_IO_REQUEST* recvPci,
     LPBYTE recvBuffer, LPDWORD recvLength);
    LONG(*Control)
    (SCARDHANDLE card, DWORD controlCode, LPCVOID sendBuffer, DWORD sendLength, LPVOID recvBuffer, DWORD recvLength,
     LPDWORD bytesReturned);
    LONG (*GetStatusChange)(SCARDCONTEXT context, DWORD timeout, SCARD_READERSTATE* readerStates, DWORD readerCount);
    LONG (*Cancel)(SCARDCONTEXT context);
    LONG (*BeginTransaction)(SCARDHANDLE card);
    LONG (*EndTransaction)(SCARDHANDLE card, DWORD disposition);
};

extern PcscApi pcsc;
// The table as it points at libpcsclite, for restoring it after a test.
extern const PcscApi pcscLibrary;
