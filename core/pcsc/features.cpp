// Decoding of the feature and property TLV lists, and the discovery that
// asks the reader for them.
#include "core/pcsc/features.h"

#include <cstring>
#include <iterator>

namespace {

const struct {
    uint8_t tag;
    const char* name;
} FEATURE_NAMES[] = {
    {FEATURE_VERIFY_PIN_START, "FEATURE_VERIFY_PIN_START"},
    {FEATURE_VERIFY_PIN_FINISH, "FEATURE_VERIFY_PIN_FINISH"},
    {FEATURE_MODIFY_PIN_START, "FEATURE_MODIFY_PIN_START"},
    {FEATURE_MODIFY_PIN_FINISH, "FEATURE_MODIFY_PIN_FINISH"},
    {FEATURE_GET_KEY_PRESSED, "FEATURE_GET_KEY_PRESSED"},
    {FEATURE_VERIFY_PIN_DIRECT, "FEATURE_VERIFY_PIN_DIRECT"},
    {FEATURE_MODIFY_PIN_DIRECT, "FEATURE_MODIFY_PIN_DIRECT"},
    {FEATURE_MCT_READER_DIRECT, "FEATURE_MCT_READER_DIRECT"},
    {FEATURE_MCT_UNIVERSAL, "FEATURE_MCT_UNIVERSAL"},
    {FEATURE_IFD_PIN_PROPERTIES, "FEATURE_IFD_PIN_PROPERTIES"},
    {FEATURE_ABORT, "FEATURE_ABORT"},
    {FEATURE_SET_SPE_MESSAGE, "FEATURE_SET_SPE_MESSAGE"},
    {FEATURE_VERIFY_PIN_DIRECT_APP_ID, "FEATURE_VERIFY_PIN_DIRECT_APP_ID"},
    {FEATURE_MODIFY_PIN_DIRECT_APP_ID, "FEATURE_MODIFY_PIN_DIRECT_APP_ID"},
    {FEATURE_WRITE_DISPLAY, "FEATURE_WRITE_DISPLAY"},
    {FEATURE_GET_KEY, "FEATURE_GET_KEY"},
    {FEATURE_IFD_DISPLAY_PROPERTIES, "FEATURE_IFD_DISPLAY_PROPERTIES"},
    {FEATURE_GET_TLV_PROPERTIES, "FEATURE_GET_TLV_PROPERTIES"},
    {FEATURE_CCID_ESC_COMMAND, "FEATURE_CCID_ESC_COMMAND"},
    {FEATURE_EXECUTE_PACE, "FEATURE_EXECUTE_PACE"},
};

// Each property's name and width: 1, 2 or 4 bytes; 0 for a string.
const struct {
    uint8_t tag;
    const char* name;
    uint8_t width;
} PROPERTIES[] = {
    {PCSCv2_PART10_PROPERTY_wLcdLayout, "wLcdLayout", 2},
    {PCSCv2_PART10_PROPERTY_bEntryValidationCondition, "bEntryValidationCondition", 1},
    {PCSCv2_PART10_PROPERTY_bTimeOut2, "bTimeOut2", 1},
    {PCSCv2_PART10_PROPERTY_wLcdMaxCharacters, "wLcdMaxCharacters", 2},
    {PCSCv2_PART10_PROPERTY_wLcdMaxLines, "wLcdMaxLines", 2},
    {PCSCv2_PART10_PROPERTY_bMinPINSize, "bMinPINSize", 1},
    {PCSCv2_PART10_PROPERTY_bMaxPINSize, "bMaxPINSize", 1},
    {PCSCv2_PART10_PROPERTY_sFirmwareID, "sFirmwareID", 0},
    {PCSCv2_PART10_PROPERTY_bPPDUSupport, "bPPDUSupport", 1},
    {PCSCv2_PART10_PROPERTY_dwMaxAPDUDataSize, "dwMaxAPDUDataSize", 4},
    {PCSCv2_PART10_PROPERTY_wIdVendor, "wIdVendor", 2},
    {PCSCv2_PART10_PROPERTY_wIdProduct, "wIdProduct", 2},
};

constexpr const char* TLV_STOP_NAMES[] = {"", "cut_short", "wrong_length", "too_many"};
static_assert(std::size(TLV_STOP_NAMES) == TLV_TOO_MANY + 1, "a name for every stop");

int PropertyRow(uint8_t tag)
{
    for (size_t i = 0; i < std::size(PROPERTIES); ++i)
        if (PROPERTIES[i].tag == tag)
            return int(i);
    return -1;
}

// The TLV at `offset`: false, with the stop, when its tag and length or its
// value run past the end.
bool ReadTlv(const BYTE* bytes, uint32_t length, uint32_t offset, TlvStop* stop)
{
    if (length - offset < 2 || length - offset - 2 < bytes[offset + 1]) {
        *stop = TLV_CUT_SHORT;
        return false;
    }
    return true;
}

}  // namespace

const char* FeatureName(uint8_t tag)
{
    for (const auto& row : FEATURE_NAMES)
        if (row.tag == tag)
            return row.name;
    return nullptr;
}

const char* PropertyName(uint8_t tag)
{
    int row = PropertyRow(tag);
    return row >= 0 ? PROPERTIES[row].name : nullptr;
}

PropertyKind PropertyKindOf(uint8_t tag)
{
    int row = PropertyRow(tag);
    if (row < 0)
        return PROPERTY_UNKNOWN;
    return PROPERTIES[row].width == 0 ? PROPERTY_STRING : PROPERTY_NUMBER;
}

const char* TlvStopName(TlvStop stop)
{
    return unsigned(stop) < std::size(TLV_STOP_NAMES) ? TLV_STOP_NAMES[stop] : "";
}

void DecodeFeatureList(const BYTE* bytes, uint32_t length, FeatureList* list)
{
    list->count = 0;
    list->stop = TLV_WHOLE;
    list->stopOffset = 0;
    uint32_t offset = 0;
    for (; offset < length; offset += 2 + bytes[offset + 1]) {
        if (!ReadTlv(bytes, length, offset, &list->stop))
            break;
        if (bytes[offset + 1] != FEATURE_TLV_SIZE - 2) {
            list->stop = TLV_WRONG_LENGTH;
            break;
        }
        if (list->count == FEATURE_ENTRY_MAX) {
            list->stop = TLV_TOO_MANY;
            break;
        }
        const BYTE* value = bytes + offset + 2;
        list->entries[list->count++] = FeatureEntry {
            bytes[offset],
            DWORD(uint32_t(value[0]) << 24 | uint32_t(value[1]) << 16 | uint32_t(value[2]) << 8 | value[3])};
    }
    if (list->stop != TLV_WHOLE)
        list->stopOffset = offset;
}

void DecodePropertyList(const BYTE* bytes, uint32_t length, PropertyList* list)
{
    list->count = 0;
    list->stop = TLV_WHOLE;
    list->stopOffset = 0;
    uint32_t offset = 0;
    for (; offset < length; offset += 2 + bytes[offset + 1]) {
        if (!ReadTlv(bytes, length, offset, &list->stop))
            break;
        uint8_t tag = bytes[offset];
        uint8_t size = bytes[offset + 1];
        int row = PropertyRow(tag);
        if (row >= 0 && PROPERTIES[row].width != 0 && size != PROPERTIES[row].width) {
            list->stop = TLV_WRONG_LENGTH;
            break;
        }
        if (list->count == PROPERTY_ENTRY_MAX) {
            list->stop = TLV_TOO_MANY;
            break;
        }
        PropertyEntry* entry = &list->entries[list->count++];
        entry->tag = tag;
        entry->length = size;
        entry->number = 0;
        memcpy(entry->bytes, bytes + offset + 2, size);
        if (row >= 0 && PROPERTIES[row].width != 0)
            for (int i = size - 1; i >= 0; --i)
                entry->number = entry->number << 8 | entry->bytes[i];
    }
    if (list->stop != TLV_WHOLE)
        list->stopOffset = offset;
}

bool FindFeature(const FeatureList& list, uint8_t tag, DWORD* code)
{
    for (int32_t i = 0; i < list.count; ++i)
        if (list.entries[i].tag == tag) {
            *code = list.entries[i].code;
            return true;
        }
    return false;
}

void DiscoverFeatures(SCARDHANDLE card, FeatureDiscovery* discovery)
{
    discovery->featureList = FeatureList {};
    discovery->propertyList = PropertyList {};
    discovery->properties = ControlOutcome {};
    discovery->propertiesOffered = false;
    discovery->features = SendControl(card, CM_IOCTL_GET_FEATURE_REQUEST, nullptr, 0, discovery->featureReply,
                                      sizeof discovery->featureReply);
    if (discovery->features.status != SCARD_S_SUCCESS)
        return;
    DecodeFeatureList(discovery->featureReply, discovery->features.returned, &discovery->featureList);
    DWORD code;
    discovery->propertiesOffered = FindFeature(discovery->featureList, FEATURE_GET_TLV_PROPERTIES, &code);
    if (!discovery->propertiesOffered)
        return;
    discovery->properties =
        SendControl(card, code, nullptr, 0, discovery->propertyReply, sizeof discovery->propertyReply);
    if (discovery->properties.status == SCARD_S_SUCCESS)
        DecodePropertyList(discovery->propertyReply, discovery->properties.returned, &discovery->propertyList);
}
