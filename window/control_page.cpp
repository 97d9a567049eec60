// The insight panel's Reader Control page: the connect options and the
// disconnect disposition, the resets on demand, the storage requests'
// dialect and GET RESPONSE, where vendor records go, control codes, the
// reader's features and single attributes. Each handler reads its controls
// and calls a core; the lines go through the window's log sink.
#include <cstdio>
#include <cstring>

#include "core/clock/timing.h"
#include "core/compose/data_entry.h"
#include "core/output/report.h"
#include "core/pcsc/attributes.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/control.h"
#include "core/pcsc/features.h"
#include "ui/ids.h"
#include "window/commands.h"
#include "window/tester_state.h"
#include "window/window_output.h"

namespace {

// One choice of a radio group: its button and the value it stands for.
struct Choice {
    int id;
    int32_t value;
};

const Choice SHARES[] = {
    {IDC_SHARE_EXCLUSIVE, SHARE_EXCLUSIVE}, {IDC_SHARE_SHARED, SHARE_SHARED}, {IDC_SHARE_DIRECT, SHARE_DIRECT}};
const Choice PROTOCOLS[] = {{IDC_PROTOCOL_ANY, PROTOCOL_ANY},
                            {IDC_PROTOCOL_T0, PROTOCOL_T0},
                            {IDC_PROTOCOL_T1, PROTOCOL_T1},
                            {IDC_PROTOCOL_RAW, PROTOCOL_RAW}};
const Choice DISPOSITIONS[] = {{IDC_DISPOSITION_UNPOWER, SCARD_UNPOWER_CARD},
                               {IDC_DISPOSITION_LEAVE, SCARD_LEAVE_CARD},
                               {IDC_DISPOSITION_RESET, SCARD_RESET_CARD},
                               {IDC_DISPOSITION_EJECT, SCARD_EJECT_CARD}};
const Choice CLASSES[] = {{IDC_CLASS_00, STORAGE_CLA}, {IDC_CLASS_FF, STORAGE_CLA_PCSC}};
const Choice DESTINATIONS[] = {{IDC_VENDOR_TO_FIXED, VENDOR_TO_FIXED_CODE},
                               {IDC_VENDOR_TO_ESCAPE, VENDOR_TO_ESCAPE},
                               {IDC_VENDOR_TO_CODE, VENDOR_TO_CODE}};

// Checks the button of `value` alone; true when the group has it.
template<size_t N> void CheckChoice(const Choice (&group)[N], int32_t value)
{
    for (const Choice& choice : group)
        CheckDlgButton(tester.mainWindow, choice.id, choice.value == value);
}

// The value of button `id`, checked alone; `fallback` for a button of
// another group.
template<size_t N> int32_t TakeChoice(const Choice (&group)[N], int id, int32_t fallback)
{
    for (const Choice& choice : group)
        if (choice.id == id) {
            CheckChoice(group, choice.value);
            return choice.value;
        }
    return fallback;
}

// GENERAL AUTHENTICATE exists only in class FF: the check is offered there
// alone, and cleared with it.
void ShowDialect()
{
    bool pcsc = tester.storageDialect.cla == STORAGE_CLA_PCSC;
    if (!pcsc)
        tester.storageDialect.authenticate = STORAGE_AUTH_LEGACY;
    CheckChoice(CLASSES, tester.storageDialect.cla);
    EnableDlgItem(tester.mainWindow, IDC_GENERAL_AUTH, pcsc);
    CheckDlgButton(tester.mainWindow, IDC_GENERAL_AUTH, tester.storageDialect.authenticate == STORAGE_AUTH_GENERAL);
}

// The vendor code field, parsed; a refused code logs why and leaves the
// destination as it was.
bool ReadVendorCode(DWORD* code)
{
    char text[64];
    GetDlgItemText(tester.mainWindow, IDC_VENDOR_CODE, text, sizeof text);
    ControlCodeFailure failure = ParseControlCode(text, code);
    if (failure == CONTROL_CODE_OK)
        return true;
    char line[160];
    snprintf(line, sizeof line, "Vendor code \"%s\": %s; the vendor record keeps its destination.", text,
             ControlCodeFailureText(failure));
    LogAppend(line);
    return false;
}

void ShowVendorTarget()
{
    CheckChoice(DESTINATIONS, tester.vendorTarget.destination);
    EnableDlgItem(tester.mainWindow, IDC_VENDOR_CODE, tester.vendorTarget.destination == VENDOR_TO_CODE);
}

}  // namespace

void InitControlPage()
{
    CheckChoice(SHARES, tester.connectOptions.share);
    CheckChoice(PROTOCOLS, tester.connectOptions.protocol);
    CheckChoice(DISPOSITIONS, int32_t(tester.disconnectDisposition));
    ShowDialect();
    CheckDlgButton(tester.mainWindow, IDC_GET_RESPONSE, tester.getResponse);
    ShowVendorTarget();
    for (int id : {IDC_WARM_RESET, IDC_COLD_RESET, IDC_SEND_CONTROL, IDC_FEATURES, IDC_READ_ATTRIBUTE})
        EnableDlgItem(tester.mainWindow, id, false);
}

INT_PTR ChooseConnectOption(int id)
{
    ConnectOptions& options = tester.connectOptions;
    options.share = ShareChoice(TakeChoice(SHARES, id, options.share));
    options.protocol = ProtocolChoice(TakeChoice(PROTOCOLS, id, options.protocol));
    tester.disconnectDisposition = DWORD(TakeChoice(DISPOSITIONS, id, int32_t(tester.disconnectDisposition)));
    return TRUE;
}

INT_PTR ChooseDialect(int id)
{
    if (id == IDC_GENERAL_AUTH)
        tester.storageDialect.authenticate =
            IsDlgButtonChecked(tester.mainWindow, IDC_GENERAL_AUTH) ? STORAGE_AUTH_GENERAL : STORAGE_AUTH_LEGACY;
    else if (id == IDC_GET_RESPONSE)
        tester.getResponse = IsDlgButtonChecked(tester.mainWindow, IDC_GET_RESPONSE);
    else
        tester.storageDialect.cla = uint8_t(TakeChoice(CLASSES, id, tester.storageDialect.cla));
    ShowDialect();
    return TRUE;
}

INT_PTR ChooseVendorTarget(int id)
{
    VendorTarget target = tester.vendorTarget;
    if (id == IDC_VENDOR_CODE) {
        // While typing: a whole code is taken, a partial one silently waits.
        char text[64];
        GetDlgItemText(tester.mainWindow, IDC_VENDOR_CODE, text, sizeof text);
        DWORD code;
        if (ParseControlCode(text, &code) == CONTROL_CODE_OK)
            tester.vendorTarget.code = code;
        return TRUE;
    }
    target.destination = VendorDestination(TakeChoice(DESTINATIONS, id, target.destination));
    if (target.destination == VENDOR_TO_CODE && !ReadVendorCode(&target.code))
        target = tester.vendorTarget;
    tester.vendorTarget = target;
    ShowVendorTarget();
    return TRUE;
}

INT_PTR ResetConnectedCard(int id)
{
    ResetKind kind = id == IDC_COLD_RESET ? RESET_COLD : RESET_WARM;
    BYTE atr[MAX_ATR_SIZE];
    DWORD length = 0;
    ReadAtr(tester.hCard, atr, sizeof atr, &length);
    ResetResult result;
    ResetCard(tester.hCard, tester.connectOptions, kind, atr, length, &result);
    if (result.status == SCARD_S_SUCCESS)
        tester.activeProtocol = result.protocol;
    ReportReset(windowLog, result);
    ReportStatus(windowLog, "Status: ", result.status);
    ReportElapsed(windowLog, result.span, tester.ticksPerMs, 1);
    ShowElapsed(result.span);
    ShowStatus(result.status);
    ShowConnectedAtr();
    return TRUE;
}

INT_PTR SendControlCode([[maybe_unused]] int id)
{
    char codeText[64];
    GetDlgItemText(tester.mainWindow, IDC_CONTROL_CODE, codeText, sizeof codeText);
    DWORD code;
    ControlCodeFailure failure = ParseControlCode(codeText, &code);
    char line[200];
    if (failure != CONTROL_CODE_OK) {
        snprintf(line, sizeof line, "Control code \"%s\": %s; nothing sent.", codeText,
                 ControlCodeFailureText(failure));
        LogAppend(line);
        return TRUE;
    }
    static char hexText[3 * MAX_BUFFER_SIZE_EXTENDED];
    GetDlgItemText(tester.mainWindow, IDC_CONTROL_HEX, hexText, sizeof hexText);
    static BYTE request[MAX_BUFFER_SIZE_EXTENDED];
    static BYTE reply[MAX_BUFFER_SIZE_EXTENDED];
    uint32_t length = 0;
    // An empty field (or blanks alone) is an empty request.
    if (hexText[strspn(hexText, " \t")] != '\0') {
        HexFailure hex = ParseHexStrict(hexText, request, sizeof request, &length);
        if (hex != HEX_OK) {
            snprintf(line, sizeof line, "Control bytes: %s; nothing sent.", HexFailureText(hex));
            LogAppend(line);
            return TRUE;
        }
    }
    ControlOutcome outcome = SendControl(tester.hCard, code, request, length, reply, sizeof reply);
    ReportControlExchange(windowLog, code, request, length, outcome, reply, tester.ticksPerMs);
    ShowElapsed(outcome.span);
    ShowStatus(outcome.status);
    return TRUE;
}

INT_PTR ShowFeatures([[maybe_unused]] int id)
{
    static FeatureDiscovery found;
    DiscoverFeatures(tester.hCard, &found);
    ReportControlCode(windowLog, CM_IOCTL_GET_FEATURE_REQUEST);
    ReportStatus(windowLog, "Status: ", found.features.status);
    ReportElapsed(windowLog, found.features.span, tester.ticksPerMs, 1);
    const FeatureList& features = found.featureList;
    for (int32_t i = 0; i < features.count; ++i)
        ReportFeature(windowLog, features.entries[i]);
    ReportTlvStop(windowLog, "feature list", features.stop, features.stopOffset);
    if (found.propertiesOffered) {
        ReportStatus(windowLog, "Properties: ", found.properties.status);
        const PropertyList& properties = found.propertyList;
        for (int32_t i = 0; i < properties.count; ++i)
            ReportProperty(windowLog, properties.entries[i]);
        ReportTlvStop(windowLog, "property list", properties.stop, properties.stopOffset);
    }
    if (found.features.status == SCARD_S_SUCCESS) {
        DWORD escape = 0;
        bool offered = FindFeature(features, FEATURE_CCID_ESC_COMMAND, &escape);
        ReportEscapeCode(windowLog, offered, escape);
    }
    ShowElapsed(found.features.span);
    ShowStatus(found.features.status);
    return TRUE;
}

INT_PTR ReadOneAttribute([[maybe_unused]] int id)
{
    char text[80];
    GetDlgItemText(tester.mainWindow, IDC_ATTRIBUTE_ID, text, sizeof text);
    DWORD attribute;
    char line[ATTRIBUTE_LINE_SIZE + ATTRIBUTE_DECODED_SIZE + 8];
    if (!ParseAttributeId(text, &attribute)) {
        snprintf(line, sizeof line, "Attribute \"%s\": no attribute code (0x00010100) or SCARD_ATTR_ name.", text);
        LogAppend(line);
        return TRUE;
    }
    const AttributeName* named = FindAttributeName(attribute);
    char label[sizeof "0x00000000"];
    snprintf(label, sizeof label, "0x%08X", unsigned(attribute));
    AttributeRow row {named != nullptr ? named->name : label, attribute, ATTRIBUTE_BYTES_HEX};
    BYTE value[ATTRIBUTE_AREA_SIZE];
    DWORD length;
    LONG status = ReadAttribute(tester.hCard, row, value, &length);
    FormatAttributeLine(line, ATTRIBUTE_LINE_SIZE, row, status, value, length);
    char decoded[ATTRIBUTE_DECODED_SIZE];
    if (status == SCARD_S_SUCCESS && DecodeAttribute(attribute, value, length, decoded, sizeof decoded)) {
        size_t used = strlen(line);
        snprintf(line + used, sizeof line - used, " (%s)", decoded);
    }
    LogAppend(line);
    ShowStatus(status);
    return TRUE;
}
