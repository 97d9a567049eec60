// The reader's PC/SC Part 10 features: the TLV list CM_IOCTL_GET_FEATURE_REQUEST
// answers (tag = FEATURE_*, length 4, the feature's control code big-endian),
// the TLV list FEATURE_GET_TLV_PROPERTIES answers (PCSCv2_PART10_PROPERTY_*
// tags, numbers little-endian, sFirmwareID a string), their names, and the
// discovery that asks for both. A list that stops early keeps what was whole
// and says where and why it stopped. Fixed records, no allocation.
#pragma once

#include <cstdint>

#include <reader.h>
#include <winscard.h>

#include "core/pcsc/control.h"

// Why a TLV list stopped before its end.
enum TlvStop {
    TLV_WHOLE,         // every byte read
    TLV_CUT_SHORT,     // a tag, its length or its value runs past the end
    TLV_WRONG_LENGTH,  // a length its tag cannot have
    TLV_TOO_MANY,      // more entries than the record holds
};

// The room a reader's reply gets: pcsc-lite's short buffer, as CCID answers.
constexpr DWORD FEATURE_REPLY_SIZE = MAX_BUFFER_SIZE;
// A feature TLV takes six bytes, a property TLV at least three.
constexpr int FEATURE_TLV_SIZE = 6;
constexpr int FEATURE_ENTRY_MAX = FEATURE_REPLY_SIZE / FEATURE_TLV_SIZE;
constexpr int PROPERTY_ENTRY_MAX = FEATURE_REPLY_SIZE / 3;
constexpr int PROPERTY_VALUE_MAX = 255;  // a one-byte length

struct FeatureEntry {
    uint8_t tag;
    DWORD code;
};

struct FeatureList {
    FeatureEntry entries[FEATURE_ENTRY_MAX];
    int32_t count;
    TlvStop stop;
    uint32_t stopOffset;  // the byte where the entry that stopped the list starts
};

struct PropertyEntry {
    uint8_t tag;
    uint8_t length;
    uint32_t number;  // a number property's value; 0 for a string or an unknown tag
    BYTE bytes[PROPERTY_VALUE_MAX];
};

struct PropertyList {
    PropertyEntry entries[PROPERTY_ENTRY_MAX];
    int32_t count;
    TlvStop stop;
    uint32_t stopOffset;
};

// How a property's value reads: a number (1, 2 or 4 bytes), a string, or
// bytes for a tag this program does not know.
enum PropertyKind { PROPERTY_NUMBER, PROPERTY_STRING, PROPERTY_UNKNOWN };

// FEATURE_VERIFY_PIN_START ... by tag; null for a tag reader.h does not define.
const char* FeatureName(uint8_t tag);
// wLcdLayout ... by tag; null for a tag reader.h does not define.
const char* PropertyName(uint8_t tag);
PropertyKind PropertyKindOf(uint8_t tag);
// "cut_short" ... as the JSON names a stop; "" for TLV_WHOLE.
const char* TlvStopName(TlvStop stop);

void DecodeFeatureList(const BYTE* bytes, uint32_t length, FeatureList* list);
void DecodePropertyList(const BYTE* bytes, uint32_t length, PropertyList* list);

// The code the list gives for `tag`; false when the list has none.
bool FindFeature(const FeatureList& list, uint8_t tag, DWORD* code);

// One discovery: the feature list, then the properties when the reader
// offers FEATURE_GET_TLV_PROPERTIES.
struct FeatureDiscovery {
    ControlOutcome features;
    BYTE featureReply[FEATURE_REPLY_SIZE];
    FeatureList featureList;  // empty unless the request succeeded
    bool propertiesOffered;
    ControlOutcome properties;  // made only when offered
    BYTE propertyReply[FEATURE_REPLY_SIZE];
    PropertyList propertyList;
};

// Asks the reader for its features and, when offered, its properties.
void DiscoverFeatures(SCARDHANDLE card, FeatureDiscovery* discovery);
