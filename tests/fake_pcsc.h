// PC/SC spies and scripted failures for the window and core tests.
//
// InstallPcscSpies() points every entry of the `pcsc` table at a spy that
// counts its calls, keeps the arguments of the last one and forwards to
// libpcsclite (the private pcscd with the simulated reader). A test scripts
// an entry when it needs an outcome that no reader gives on demand:
//
//     Script(fakePcsc.disconnect, SCARD_E_NOT_TRANSACTED);
//     Script(fakePcsc.getStatusChange, SCARD_E_NO_SERVICE, 1);  // the first call goes through
//
// A scripted entry returns its status without calling libpcsclite. A scripted
// GetAttrib answers from fakePcsc.attributes by identifier (an identifier not
// listed returns the entry's status and a length of 0).
//
// Calls on the context fakePcsc.unspiedContext points at, and the call that
// establishes it, go to libpcsclite unseen: the window tests point it at the
// card page's watcher, so that the spies see the window's own calls alone and
// the watcher's thread never writes what a test reads. A spy that a thread
// of the code under test calls is read by the test only after that thread
// has been joined.
//
// Every context that libpcsclite hands out is remembered; RemovePcscSpies()
// releases those that are still open (a scripted failing release would leak
// them, and with them an exclusive connection to the simulated card) and
// points the table back at libpcsclite.
#pragma once

#include <algorithm>
#include <cstring>

#include <reader.h>
#include <winscard.h>

#include "core/pcsc/pcsc_api.h"

struct FakeAttribute {
    DWORD id;
    BYTE value[300];
    DWORD delivered;  // bytes written into the caller's area, at most its size
    DWORD reported;   // length left in the caller's length
    LONG status;
};

struct FakePcsc {
    struct Entry {
        int calls;
        bool scripted;
        LONG status;
        int passed;  // when scripted, this many first calls go to libpcsclite all the same
    };
    Entry establish, release, listReaders, connect, reconnect, disconnect, cardStatus, getAttrib, getStatusChange,
        cancel;
    const SCARDCONTEXT* unspiedContext;  // null: every call is seen

    SCARDCONTEXT contexts[64];  // handed out by libpcsclite
    int contextCount;

    DWORD establishScope;
    SCARDCONTEXT releasedContext;
    char connectReader[1024];
    DWORD connectShare, connectProtocols;
    SCARDHANDLE reconnectCard;
    DWORD reconnectShare, reconnectProtocols, reconnectInit;
    SCARDHANDLE disconnectCard;
    DWORD disconnectDisposition;
    DWORD attribIds[64];  // identifiers asked for, in order
    DWORD attribLengthsIn[64];
    int attribCount;

    // Answer of a scripted ListReaders: copied whole, length as given.
    char readers[2048];
    DWORD readersLen;

    FakeAttribute attributes[32];
    int attributeCount;
};

inline FakePcsc fakePcsc;

inline void Script(FakePcsc::Entry& entry, LONG status, int passed = 0)
{
    entry.scripted = true;
    entry.status = status;
    entry.passed = passed;
}

inline FakeAttribute& ScriptAttribute(DWORD id, const void* value, DWORD delivered, DWORD reported, LONG status)
{
    Script(fakePcsc.getAttrib, SCARD_E_UNSUPPORTED_FEATURE);
    FakeAttribute& attribute = fakePcsc.attributes[fakePcsc.attributeCount++];
    attribute = {};
    attribute.id = id;
    memcpy(attribute.value, value, std::min<size_t>(delivered, sizeof attribute.value));
    attribute.delivered = delivered;
    attribute.reported = reported;
    attribute.status = status;
    return attribute;
}

namespace fake_pcsc_detail {

// Counts the call; whether the scripted status answers it.
inline bool Answers(FakePcsc::Entry& entry)
{
    entry.calls++;
    return entry.scripted && entry.calls > entry.passed;
}

inline bool Unspied(SCARDCONTEXT context)
{
    return fakePcsc.unspiedContext != nullptr && *fakePcsc.unspiedContext != 0 && context == *fakePcsc.unspiedContext;
}

inline LONG EstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2, LPSCARDCONTEXT context)
{
    if (context == fakePcsc.unspiedContext)
        return pcscLibrary.EstablishContext(scope, reserved1, reserved2, context);
    fakePcsc.establishScope = scope;
    if (Answers(fakePcsc.establish))
        return fakePcsc.establish.status;
    LONG status = pcscLibrary.EstablishContext(scope, reserved1, reserved2, context);
    if (status == SCARD_S_SUCCESS && fakePcsc.contextCount < 64)
        fakePcsc.contexts[fakePcsc.contextCount++] = *context;
    return status;
}

inline LONG ReleaseContext(SCARDCONTEXT context)
{
    if (Unspied(context))
        return pcscLibrary.ReleaseContext(context);
    fakePcsc.releasedContext = context;
    if (Answers(fakePcsc.release))
        return fakePcsc.release.status;
    return pcscLibrary.ReleaseContext(context);
}

inline LONG ListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readers, LPDWORD readersLen)
{
    if (Unspied(context) || !Answers(fakePcsc.listReaders))
        return pcscLibrary.ListReaders(context, groups, readers, readersLen);
    if (fakePcsc.listReaders.status == SCARD_S_SUCCESS) {
        memcpy(readers, fakePcsc.readers, std::min<size_t>(fakePcsc.readersLen, *readersLen));
        *readersLen = fakePcsc.readersLen;
    }
    return fakePcsc.listReaders.status;
}

inline LONG Connect(SCARDCONTEXT context, LPCSTR reader, DWORD shareMode, DWORD protocols, LPSCARDHANDLE card,
                    LPDWORD activeProtocol)
{
    strncpy(fakePcsc.connectReader, reader, sizeof fakePcsc.connectReader - 1);
    fakePcsc.connectShare = shareMode;
    fakePcsc.connectProtocols = protocols;
    if (Answers(fakePcsc.connect))
        return fakePcsc.connect.status;
    return pcscLibrary.Connect(context, reader, shareMode, protocols, card, activeProtocol);
}

inline LONG Reconnect(SCARDHANDLE card, DWORD shareMode, DWORD protocols, DWORD initialization, LPDWORD activeProtocol)
{
    fakePcsc.reconnectCard = card;
    fakePcsc.reconnectShare = shareMode;
    fakePcsc.reconnectProtocols = protocols;
    fakePcsc.reconnectInit = initialization;
    if (Answers(fakePcsc.reconnect))
        return fakePcsc.reconnect.status;
    return pcscLibrary.Reconnect(card, shareMode, protocols, initialization, activeProtocol);
}

inline LONG Disconnect(SCARDHANDLE card, DWORD disposition)
{
    fakePcsc.disconnectCard = card;
    fakePcsc.disconnectDisposition = disposition;
    if (Answers(fakePcsc.disconnect))
        return fakePcsc.disconnect.status;
    return pcscLibrary.Disconnect(card, disposition);
}

inline LONG Status(SCARDHANDLE card, LPSTR names, LPDWORD namesLen, LPDWORD state, LPDWORD protocol, LPBYTE atr,
                   LPDWORD atrLen)
{
    if (Answers(fakePcsc.cardStatus))
        return fakePcsc.cardStatus.status;
    return pcscLibrary.Status(card, names, namesLen, state, protocol, atr, atrLen);
}

inline LONG GetAttrib(SCARDHANDLE card, DWORD id, LPBYTE value, LPDWORD length)
{
    if (fakePcsc.attribCount < 64) {
        fakePcsc.attribIds[fakePcsc.attribCount] = id;
        fakePcsc.attribLengthsIn[fakePcsc.attribCount++] = *length;
    }
    if (!Answers(fakePcsc.getAttrib))
        return pcscLibrary.GetAttrib(card, id, value, length);
    for (int i = 0; i < fakePcsc.attributeCount; i++) {
        const FakeAttribute& attribute = fakePcsc.attributes[i];
        if (attribute.id == id) {
            memcpy(value, attribute.value, std::min(attribute.delivered, *length));
            *length = attribute.reported;
            return attribute.status;
        }
    }
    *length = 0;
    return fakePcsc.getAttrib.status;
}

inline LONG GetStatusChange(SCARDCONTEXT context, DWORD timeout, SCARD_READERSTATE* states, DWORD count)
{
    if (Unspied(context) || !Answers(fakePcsc.getStatusChange))
        return pcscLibrary.GetStatusChange(context, timeout, states, count);
    return fakePcsc.getStatusChange.status;
}

inline LONG Cancel(SCARDCONTEXT context)
{
    if (Unspied(context) || !Answers(fakePcsc.cancel))
        return pcscLibrary.Cancel(context);
    return fakePcsc.cancel.status;
}

}  // namespace fake_pcsc_detail

inline void InstallPcscSpies()
{
    fakePcsc = {};
    pcsc = pcscLibrary;
    pcsc.EstablishContext = fake_pcsc_detail::EstablishContext;
    pcsc.ReleaseContext = fake_pcsc_detail::ReleaseContext;
    pcsc.ListReaders = fake_pcsc_detail::ListReaders;
    pcsc.Connect = fake_pcsc_detail::Connect;
    pcsc.Reconnect = fake_pcsc_detail::Reconnect;
    pcsc.Disconnect = fake_pcsc_detail::Disconnect;
    pcsc.Status = fake_pcsc_detail::Status;
    pcsc.GetAttrib = fake_pcsc_detail::GetAttrib;
    pcsc.GetStatusChange = fake_pcsc_detail::GetStatusChange;
    pcsc.Cancel = fake_pcsc_detail::Cancel;
}

inline void RemovePcscSpies()
{
    // A context released already answers SCARD_E_INVALID_HANDLE, harmlessly.
    for (int i = 0; i < fakePcsc.contextCount; i++)
        pcscLibrary.ReleaseContext(fakePcsc.contexts[i]);
    pcsc = pcscLibrary;
}
