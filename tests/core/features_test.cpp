// Control codes as typed, and the reader's feature and property TLV lists
// as the lines show them: whole lists, lists cut short or with a length
// their tag cannot have (what was whole is kept, the stop's byte named),
// and tags this program does not know.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/output/report.h"
#include "core/pcsc/control.h"
#include "core/pcsc/features.h"

namespace {

using Bytes = std::vector<BYTE>;
using Entries = std::vector<std::string>;

void Collect(void* context, const char* entry)
{
    static_cast<Entries*>(context)->push_back(entry);
}

TEST(ControlCode, NumbersAndFunctionsInRange)
{
    struct Case {
        const char* text;
        ControlCodeFailure failure;
        DWORD code;
        const char* shown;
    } cases[] = {
        {"SCARD_CTL_CODE(3400)", CONTROL_CODE_OK, 0x42000D48, "0x42000D48 SCARD_CTL_CODE(3400)"},
        {" SCARD_CTL_CODE( 0x330013 ) ", CONTROL_CODE_OK, 0x42330013, "0x42330013 SCARD_CTL_CODE(0x330013)"},
        {"1107299656", CONTROL_CODE_OK, 0x42000D48, "0x42000D48 SCARD_CTL_CODE(3400)"},
        // Leading zeros are decimal, not octal.
        {"010", CONTROL_CODE_OK, 10, "0x0000000A"},
        {"0x42000001", CONTROL_CODE_OK, 0x42000001, "0x42000001 SCARD_CTL_CODE(1)"},
        {"0xFFFFFFFF", CONTROL_CODE_OK, 0xFFFFFFFF, "0xFFFFFFFF SCARD_CTL_CODE(0xBDFFFFFF)"},
        {"0x100000000", CONTROL_CODE_OUT_OF_RANGE, 0, nullptr},
        {"99999999999999999999999", CONTROL_CODE_OUT_OF_RANGE, 0, nullptr},
        {"SCARD_CTL_CODE(3187671039)", CONTROL_CODE_OK, 0xFFFFFFFF, nullptr},
        {"SCARD_CTL_CODE(3187671040)", CONTROL_FUNCTION_OUT_OF_RANGE, 0, nullptr},
        {"SCARD_CTL_CODE(3400", CONTROL_CODE_NOT_A_CODE, 0, nullptr},
        {"SCARD_CTL_CODE()", CONTROL_CODE_NOT_A_CODE, 0, nullptr},
        {"scard_ctl_code(1)", CONTROL_CODE_NOT_A_CODE, 0, nullptr},
        {"-1", CONTROL_CODE_NOT_A_CODE, 0, nullptr},
        {"0x", CONTROL_CODE_NOT_A_CODE, 0, nullptr},
        {"12a", CONTROL_CODE_NOT_A_CODE, 0, nullptr},
        {"", CONTROL_CODE_NOT_A_CODE, 0, nullptr},
    };
    for (const Case& c : cases) {
        DWORD code = 7;
        EXPECT_EQ(ParseControlCode(c.text, &code), c.failure) << c.text;
        EXPECT_EQ(code, c.failure == CONTROL_CODE_OK ? c.code : 7) << c.text;
        if (c.shown != nullptr) {
            char text[CONTROL_CODE_TEXT_SIZE];
            FormatControlCode(text, code);
            EXPECT_STREQ(text, c.shown);
        }
    }
}

// The lines of a decoded list: an entry each, then the stop.
Entries FeatureLines(const Bytes& bytes, FeatureList* list)
{
    DecodeFeatureList(bytes.data(), uint32_t(bytes.size()), list);
    Entries entries;
    LineSink sink {Collect, &entries};
    for (int32_t i = 0; i < list->count; ++i)
        ReportFeature(sink, list->entries[i]);
    ReportTlvStop(sink, "feature list", list->stop, list->stopOffset);
    return entries;
}

Entries PropertyLines(const Bytes& bytes, PropertyList* list)
{
    DecodePropertyList(bytes.data(), uint32_t(bytes.size()), list);
    Entries entries;
    LineSink sink {Collect, &entries};
    for (int32_t i = 0; i < list->count; ++i)
        ReportProperty(sink, list->entries[i]);
    ReportTlvStop(sink, "property list", list->stop, list->stopOffset);
    return entries;
}

const std::string PROPERTIES = "FEATURE_GET_TLV_PROPERTIES (0x12): 0x42330012 SCARD_CTL_CODE(0x330012)";
const std::string ESCAPE = "FEATURE_CCID_ESC_COMMAND (0x13): 0x42330013 SCARD_CTL_CODE(0x330013)";

TEST(FeatureList, WholeCutAndWrongLengths)
{
    struct Case {
        const char* what;
        Bytes bytes;
        TlvStop stop;
        Entries lines;
    } cases[] = {
        {"whole", {0x12, 4, 0x42, 0x33, 0x00, 0x12, 0x13, 4, 0x42, 0x33, 0x00, 0x13}, TLV_WHOLE, {PROPERTIES, ESCAPE}},
        {"none", {}, TLV_WHOLE, {}},
        {"unknown and first tags",
         {0x7F, 4, 0x00, 0x00, 0x00, 0x01, 0x01, 4, 0x42, 0x33, 0x00, 0x01},
         TLV_WHOLE,
         {"Feature 0x7F: 0x00000001", "FEATURE_VERIFY_PIN_START (0x01): 0x42330001 SCARD_CTL_CODE(0x330001)"}},
        {"value cut",
         {0x12, 4, 0x42, 0x33, 0x00, 0x12, 0x13, 4, 0x42, 0x33},
         TLV_CUT_SHORT,
         {PROPERTIES, "The feature list stops at byte 6: cut short."}},
        {"length missing",
         {0x12, 4, 0x42, 0x33, 0x00, 0x12, 0x13},
         TLV_CUT_SHORT,
         {PROPERTIES, "The feature list stops at byte 6: cut short."}},
        {"wrong length",
         {0x12, 4, 0x42, 0x33, 0x00, 0x12, 0x13, 2, 0x42, 0x33},
         TLV_WRONG_LENGTH,
         {PROPERTIES, "The feature list stops at byte 6: a length its tag cannot have."}},
        // A length past the end is cut, not read beyond the reply.
        {"length beyond the end", {0x13, 0xFF, 0x42}, TLV_CUT_SHORT, {"The feature list stops at byte 0: cut short."}},
    };
    for (const Case& c : cases) {
        static FeatureList list;
        EXPECT_EQ(FeatureLines(c.bytes, &list), c.lines) << c.what;
        EXPECT_EQ(list.stop, c.stop) << c.what;
    }
    static FeatureList list;
    FeatureLines(cases[0].bytes, &list);
    DWORD code = 0;
    EXPECT_TRUE(FindFeature(list, FEATURE_CCID_ESC_COMMAND, &code));
    EXPECT_EQ(code, DWORD(0x42330013));
    EXPECT_FALSE(FindFeature(list, FEATURE_VERIFY_PIN_DIRECT, &code));
}

TEST(PropertyList, NumbersLittleEndianStringsAndStops)
{
    struct Case {
        const char* what;
        Bytes bytes;
        Entries lines;
    } cases[] = {
        {"every width and the string",
         {0x0B, 2, 0x09, 0x12, 0x06, 1, 0x04, 0x0A, 4, 0x00, 0x00, 0x01, 0x00, 0x08, 3, 'Q', '"', 0x00},
         {"wIdVendor (11): 0x1209 (4617)", "bMinPINSize (6): 0x04 (4)", "dwMaxAPDUDataSize (10): 0x00010000 (65536)",
          "sFirmwareID (8): \"Q\\x22\\x00\""}},
        {"unknown tag of any length",
         {0x40, 3, 1, 2, 3, 0x0C, 2, 0x53, 0x51},
         {"Property 64: 01 02 03", "wIdProduct (12): 0x5153 (20819)"}},
        {"empty string", {0x08, 0}, {"sFirmwareID (8): \"\""}},
        {"word of one byte",
         {0x06, 1, 0x04, 0x0B, 1, 0x09, 0x0C, 2, 0x53, 0x51},
         {"bMinPINSize (6): 0x04 (4)", "The property list stops at byte 3: a length its tag cannot have."}},
        {"string cut",
         {0x07, 1, 0x08, 0x08, 13, 'Q', 'S'},
         {"bMaxPINSize (7): 0x08 (8)", "The property list stops at byte 3: cut short."}},
    };
    for (const Case& c : cases) {
        static PropertyList list;
        EXPECT_EQ(PropertyLines(c.bytes, &list), c.lines) << c.what;
    }
}

}  // namespace
