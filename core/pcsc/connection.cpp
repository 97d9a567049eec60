// The reader life cycle as calls over plain arguments.
#include "core/pcsc/connection.h"

#include <cstring>
#include <iterator>

#include "core/pcsc/pcsc_api.h"
#include "core/wire/wire_format.h"

namespace {

// A word of an option and the value it stands for.
struct OptionWord {
    const char* word;
    DWORD value;
};

// In the order of their enumerations: a value is its row's index.
const OptionWord SHARE_TABLE[] = {
    {"exclusive", SCARD_SHARE_EXCLUSIVE},
    {"shared", SCARD_SHARE_SHARED},
    {"direct", SCARD_SHARE_DIRECT},
};
const OptionWord PROTOCOL_TABLE[] = {
    {"any", OFFERED_PROTOCOLS},
    {"t0", SCARD_PROTOCOL_T0},
    {"t1", SCARD_PROTOCOL_T1},
    {"raw", SCARD_PROTOCOL_RAW},
};
const OptionWord DISPOSITION_TABLE[] = {
    {"leave", SCARD_LEAVE_CARD},
    {"reset", SCARD_RESET_CARD},
    {"unpower", SCARD_UNPOWER_CARD},
    {"eject", SCARD_EJECT_CARD},
};
const OptionWord RESET_TABLE[] = {
    {"warm", SCARD_RESET_CARD},
    {"cold", SCARD_UNPOWER_CARD},
};
static_assert(std::size(SHARE_TABLE) == SHARE_DIRECT + 1 && std::size(PROTOCOL_TABLE) == PROTOCOL_RAW + 1
              && std::size(RESET_TABLE) == RESET_COLD + 1);

// The row `word` names; -1 for none.
template<size_t N> int FindWord(const OptionWord (&table)[N], const char* word)
{
    for (size_t i = 0; word != nullptr && i < N; ++i)
        if (strcmp(table[i].word, word) == 0)
            return int(i);
    return -1;
}

template<size_t N> const char* WordAt(const OptionWord (&table)[N], int32_t index)
{
    return index >= 0 && size_t(index) < N ? table[index].word : "?";
}

// pcscd negotiates only when RAW is not among the offered protocols, so RAW
// is offered alone, and only when the card refuses T=0 and T=1 and no
// protocol was named.
template<class Offer> LONG OfferProtocols(const ConnectOptions& options, Offer offer)
{
    LONG status = offer(OfferedProtocolsOf(options));
    if (status != SCARD_E_PROTO_MISMATCH || options.protocol != PROTOCOL_ANY || options.share == SHARE_DIRECT)
        return status;
    return offer(FALLBACK_PROTOCOL);
}

}  // namespace

const char SHARE_WORDS[] = "exclusive|shared|direct";
const char PROTOCOL_WORDS[] = "any|t0|t1|raw";
const char DISPOSITION_WORDS[] = "leave|reset|unpower|eject";

bool ParseShareChoice(const char* word, ShareChoice* value)
{
    int row = FindWord(SHARE_TABLE, word);
    if (row >= 0)
        *value = ShareChoice(row);
    return row >= 0;
}

bool ParseProtocolChoice(const char* word, ProtocolChoice* value)
{
    int row = FindWord(PROTOCOL_TABLE, word);
    if (row >= 0)
        *value = ProtocolChoice(row);
    return row >= 0;
}

bool ParseDisposition(const char* word, DWORD* value)
{
    int row = FindWord(DISPOSITION_TABLE, word);
    if (row >= 0)
        *value = DISPOSITION_TABLE[row].value;
    return row >= 0;
}

bool ParseResetKind(const char* word, ResetKind* kind)
{
    int row = FindWord(RESET_TABLE, word);
    if (row >= 0)
        *kind = ResetKind(row);
    return row >= 0;
}

const char* ShareChoiceName(ShareChoice share)
{
    return WordAt(SHARE_TABLE, share);
}

const char* ProtocolChoiceName(ProtocolChoice protocol)
{
    return WordAt(PROTOCOL_TABLE, protocol);
}

const char* ActiveProtocolName(DWORD protocol)
{
    switch (protocol) {
    case SCARD_PROTOCOL_T0:
        return ProtocolChoiceName(PROTOCOL_T0);
    case SCARD_PROTOCOL_T1:
        return ProtocolChoiceName(PROTOCOL_T1);
    case SCARD_PROTOCOL_RAW:
        return ProtocolChoiceName(PROTOCOL_RAW);
    default:
        return nullptr;
    }
}

const char* ResetKindName(ResetKind kind)
{
    return WordAt(RESET_TABLE, kind);
}

const char* DispositionName(DWORD disposition)
{
    for (const OptionWord& row : DISPOSITION_TABLE)
        if (row.value == disposition)
            return row.word;
    return "?";
}

DWORD ShareModeOf(const ConnectOptions& options)
{
    int32_t share = options.share;
    return share >= 0 && size_t(share) < std::size(SHARE_TABLE) ? SHARE_TABLE[share].value : SCARD_SHARE_EXCLUSIVE;
}

DWORD OfferedProtocolsOf(const ConnectOptions& options)
{
    int32_t protocol = options.protocol;
    if (options.share == SHARE_DIRECT && protocol == PROTOCOL_ANY)
        return 0;
    return protocol >= 0 && size_t(protocol) < std::size(PROTOCOL_TABLE) ? PROTOCOL_TABLE[protocol].value
                                                                         : OFFERED_PROTOCOLS;
}

LONG ConnectCard(SCARDCONTEXT context, const char* reader, const ConnectOptions& options, SCARDHANDLE* card,
                 DWORD* protocol)
{
    DWORD share = ShareModeOf(options);
    return OfferProtocols(options,
                          [&](DWORD offered) { return pcsc.Connect(context, reader, share, offered, card, protocol); });
}

LONG ReconnectCard(SCARDHANDLE card, const ConnectOptions& options, DWORD initialization, DWORD* protocol)
{
    DWORD share = ShareModeOf(options);
    return OfferProtocols(
        options, [&](DWORD offered) { return pcsc.Reconnect(card, share, offered, initialization, protocol); });
}

void ResetCard(SCARDHANDLE card, const ConnectOptions& options, ResetKind kind, const BYTE* lastAtr, DWORD lastLength,
               ResetResult* result)
{
    *result = ResetResult {};
    DWORD initialization = kind == RESET_COLD ? SCARD_UNPOWER_CARD : SCARD_RESET_CARD;
    result->status =
        TimedCall(&result->span, [&] { return ReconnectCard(card, options, initialization, &result->protocol); });
    if (result->status != SCARD_S_SUCCESS)
        return;
    ReadAtr(card, result->atr, sizeof result->atr, &result->atrLength);
    result->atrChanged = lastLength > 0 && result->atrLength > 0
        && (lastLength != result->atrLength || memcmp(lastAtr, result->atr, lastLength) != 0);
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
