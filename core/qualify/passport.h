// A reader's passport: what a lab files beside a reader and compares later,
// gathered in one record. The environment (as qualify prints it), the ATR
// and its decoding, every SCARD_ATTR_ the reader answers or refuses, its
// features and properties (or the status that refused them), the protocols
// the card takes each offered alone, and a short timing baseline of one
// APDU. Without a card the reader-side parts are read over a direct
// connection and the card-side parts say there was none.
#pragma once

#include <atomic>
#include <cstdint>

#include <winscard.h>

#include "core/pcsc/atr.h"
#include "core/pcsc/attributes.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/features.h"
#include "core/qualify/environment.h"
#include "core/transmit/transmit.h"

// The baseline's runs without --runs, and its APDU without --apdu: GET DATA
// of the UID, which the simulated card answers with its UID and vicc with
// 6A 81 (class FF would end vicc).
constexpr int32_t PASSPORT_RUNS_DEFAULT = 100;
constexpr BYTE PASSPORT_APDU_DEFAULT[] = {0x00, 0xCA, 0x00, 0x00, 0x00};
constexpr DWORD PASSPORT_APDU_MAX = MAX_BUFFER_SIZE_EXTENDED;

// The protocols tried, each offered alone in shared mode: T=0, T=1, RAW.
constexpr int PASSPORT_PROTOCOL_COUNT = 3;
extern const ProtocolChoice PASSPORT_PROTOCOLS[PASSPORT_PROTOCOL_COUNT];

struct PassportAttribute {
    const AttributeName* name;
    LONG status;
    BYTE value[ATTRIBUTE_AREA_SIZE];
    DWORD length;  // 0 unless read
    bool decodes;  // `decoded` holds a reading
    char decoded[ATTRIBUTE_DECODED_SIZE];
};

struct PassportProtocol {
    ProtocolChoice offered;
    LONG status;     // of SCardConnect
    DWORD protocol;  // what pcscd reports; 0 unless connected
};

struct PassportRequest {
    SCARDCONTEXT context;
    const char* reader;
    const BYTE* apdu;
    DWORD apduLength;
    int32_t runs;                   // 1 to LOOP_COUNT_MAX
    const std::atomic<bool>* stop;  // ends the baseline after the run under way; may be null
    KnownAtrLists* lists;           // where the card's names are looked up
};

struct Passport {
    QualifyEnvironment environment;
    // The connection the passport is read over: shared, any protocol; with
    // no card, direct (`card` false). `status` is that of the last connect.
    bool card;
    ConnectOptions options;
    LONG status;
    DWORD protocol;
    BYTE atr[MAX_ATR_SIZE];
    DWORD atrLength;  // 0 without a card
    AtrVerdict atrVerdict;
    char atrLines[ATR_TEXT_SIZE];  // DescribeAtr's lines, '\n' between them
    int cardNameCount;
    char cardNames[CARD_NAME_TEXT_SIZE];
    PassportAttribute attributes[ATTRIBUTE_NAME_COUNT];
    bool connected;  // a connection was made: the attributes and features below were asked
    FeatureDiscovery features;
    PassportProtocol protocols[PASSPORT_PROTOCOL_COUNT];
    // The baseline: made only with a card.
    bool timed;
    TransmitOutcome outcome;
    LoopRecord loop;
    LoopSummary summary;
    int32_t failures;  // runs that failed: a PC/SC error or no status word
    BYTE response[MAX_BUFFER_SIZE_EXTENDED];
};

// Gathers the passport of request.reader. The card is reset first (a
// protocol an earlier client left would meet each offer), then each
// protocol is tried, each connection ended with a reset so that the next
// negotiates anew; then one connection reads the rest and leaves the card.
void CollectPassport(const PassportRequest& request, Passport* passport);
