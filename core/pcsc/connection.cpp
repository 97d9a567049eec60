// The reader life cycle as calls over plain arguments.
#include "core/pcsc/connection.h"

#include <cstring>

#include "core/pcsc/pcsc_api.h"
#include "core/wire/wire_format.h"

// pcscd negotiates only when RAW is not among the offered protocols, so RAW
// is offered alone, and only when the card refuses T=0 and T=1.
template<class Offer> static LONG OfferProtocols(Offer offer)
{
    LONG status = offer(OFFERED_PROTOCOLS);
    if (status != SCARD_E_PROTO_MISMATCH)
        return status;
    return offer(FALLBACK_PROTOCOL);
}

LONG ConnectCard(SCARDCONTEXT context, const char* reader, SCARDHANDLE* card, DWORD* protocol)
{
    return OfferProtocols(
        [&](DWORD offered) { return pcsc.Connect(context, reader, SCARD_SHARE_EXCLUSIVE, offered, card, protocol); });
}

LONG ReconnectCard(SCARDHANDLE card, DWORD initialization, DWORD* protocol)
{
    return OfferProtocols(
        [&](DWORD offered) { return pcsc.Reconnect(card, SCARD_SHARE_EXCLUSIVE, offered, initialization, protocol); });
}

LONG ReadAtr(SCARDHANDLE card, BYTE* atr, DWORD size, DWORD* length)
{
    // pcsc-lite refuses an attribute buffer larger than MAX_BUFFER_SIZE.
    DWORD offered = size < MAX_BUFFER_SIZE ? size : MAX_BUFFER_SIZE;
    *length = offered;
    LONG status = pcsc.GetAttrib(card, SCARD_ATTR_ATR_STRING, atr, length);
    if (status != SCARD_S_SUCCESS) {
        // pcscd keeps the ATR even when the driver does not give the attribute.
        DWORD state, protocol;
        *length = offered;
        status = pcsc.Status(card, nullptr, nullptr, &state, &protocol, atr, length);
    }
    if (status != SCARD_S_SUCCESS)
        *length = 0;
    else if (*length > offered)
        *length = offered;
    return status;
}

const char* NextReaderName(const char* names, size_t size, size_t* offset)
{
    size_t start = *offset;
    if (start >= size || names[start] == '\0')
        return nullptr;
    size_t length = strnlen(names + start, size - start);
    if (start + length == size)
        return nullptr;
    *offset = start + length + 1;
    return names + start;
}

bool ReleaseLeftNoContext(SCARDCONTEXT context, LONG status)
{
    return status == SCARD_S_SUCCESS || context == 0 || status == SCARD_E_INVALID_HANDLE || status == SCARD_E_NO_SERVICE
        || status == SCARD_E_SERVICE_STOPPED;
}
