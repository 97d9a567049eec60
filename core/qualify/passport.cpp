// Gathering a passport: the protocol probes, then one connection for the
// ATR, the attributes, the features and the baseline.
#include "core/qualify/passport.h"

#include <cstring>

#include "core/pcsc/pcsc_api.h"

const ProtocolChoice PASSPORT_PROTOCOLS[PASSPORT_PROTOCOL_COUNT] = {PROTOCOL_T0, PROTOCOL_T1, PROTOCOL_RAW};

namespace {

void ProbeProtocols(const PassportRequest& request, Passport* passport)
{
    // pcscd keeps a card's protocol until it is reset, also from a client
    // before this one: each offer below would meet the one before.
    SCARDHANDLE first = 0;
    DWORD protocol;
    if (ConnectCard(request.context, request.reader, ConnectOptions {SHARE_SHARED, PROTOCOL_ANY}, &first, &protocol)
        == SCARD_S_SUCCESS)
        pcsc.Disconnect(first, SCARD_RESET_CARD);
    for (int i = 0; i < PASSPORT_PROTOCOL_COUNT; ++i) {
        PassportProtocol& probe = passport->protocols[i];
        probe = PassportProtocol {PASSPORT_PROTOCOLS[i], SCARD_S_SUCCESS, 0};
        SCARDHANDLE card = 0;
        probe.status = ConnectCard(request.context, request.reader, ConnectOptions {SHARE_SHARED, probe.offered}, &card,
                                   &probe.protocol);
        if (probe.status != SCARD_S_SUCCESS) {
            probe.protocol = 0;
            continue;
        }
        pcsc.Disconnect(card, SCARD_RESET_CARD);
    }
}

void ReadAttributes(SCARDHANDLE card, Passport* passport)
{
    for (size_t i = 0; i < ATTRIBUTE_NAME_COUNT; ++i) {
        PassportAttribute& attribute = passport->attributes[i];
        attribute.name = &ATTRIBUTE_NAMES[i];
        attribute.length = 0;
        attribute.decodes = false;
        attribute.decoded[0] = '\0';
        AttributeRow row {attribute.name->name, attribute.name->id, ATTRIBUTE_BYTES_HEX};
        attribute.status = ReadAttribute(card, row, attribute.value, &attribute.length);
        if (attribute.status != SCARD_S_SUCCESS) {
            attribute.length = 0;
            continue;
        }
        attribute.decodes = DecodeAttribute(attribute.name->id, attribute.value, attribute.length, attribute.decoded,
                                            sizeof attribute.decoded);
    }
}

void TimeBaseline(const PassportRequest& request, SCARDHANDLE card, Passport* passport)
{
    passport->outcome =
        TransmitLoop(card, passport->protocol, request.apdu, request.apduLength, request.runs, false, NO_EXPECTED_SW,
                     passport->response, sizeof passport->response, request.stop, LoopProgress {}, &passport->loop);
    SummarizeLoop(passport->loop, &passport->summary);
    passport->failures = 0;
    for (int32_t i = 0; i < passport->loop.runsMade; ++i)
        if (passport->loop.status[i] != SCARD_S_SUCCESS || passport->loop.sw[i] == 0)
            ++passport->failures;
    passport->timed = true;
}

}  // namespace

void CollectPassport(const PassportRequest& request, Passport* passport)
{
    CollectHostEnvironment(&passport->environment);
    passport->card = false;
    passport->connected = false;
    passport->timed = false;
    passport->atrLength = 0;
    passport->atrVerdict = ATR_WELL_FORMED;
    passport->atrLines[0] = '\0';
    passport->cardNameCount = 0;
    passport->cardNames[0] = '\0';
    passport->protocol = 0;
    passport->failures = 0;
    passport->features = FeatureDiscovery {};
    for (PassportAttribute& attribute : passport->attributes)
        attribute = PassportAttribute {};
    ProbeProtocols(request, passport);

    SCARDHANDLE card = 0;
    passport->options = ConnectOptions {SHARE_SHARED, PROTOCOL_ANY};
    passport->status = ConnectCard(request.context, request.reader, passport->options, &card, &passport->protocol);
    passport->card = passport->status == SCARD_S_SUCCESS;
    if (passport->status == SCARD_E_NO_SMARTCARD) {
        // The reader itself answers without a card.
        passport->options = ConnectOptions {SHARE_DIRECT, PROTOCOL_ANY};
        passport->status = ConnectCard(request.context, request.reader, passport->options, &card, &passport->protocol);
    }
    passport->connected = passport->status == SCARD_S_SUCCESS;
    if (!passport->connected) {
        card = 0;
        passport->protocol = 0;
    }
    if (passport->card) {
        ReadAtr(card, passport->atr, sizeof passport->atr, &passport->atrLength);
        passport->atrVerdict =
            DescribeAtr(passport->atr, passport->atrLength, passport->atrLines, sizeof passport->atrLines);
        passport->cardNameCount = IdentifyCard(request.lists, passport->atr, passport->atrLength, passport->cardNames,
                                               sizeof passport->cardNames);
    }
    CollectReaderEnvironment(card, request.reader, &passport->environment);
    if (passport->connected) {
        ReadAttributes(card, passport);
        DiscoverFeatures(card, &passport->features);
    }
    if (passport->card)
        TimeBaseline(request, card, passport);
    if (card != 0)
        pcsc.Disconnect(card, SCARD_LEAVE_CARD);
}
