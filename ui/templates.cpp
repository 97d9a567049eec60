// The main window (IDD_MAIN) and the About box (IDD_ABOUT).
#include "ui/templates.h"

#include <cstddef>

#include "ui/ids.h"

namespace {

using K = ControlKind;

// In template order, one control per row (kept unformatted). The mnemonic labels of the vendor fields name their own
// field as buddy: the next field in the order would be the wrong one for
// "P&2" and "L&e", which follow "P&1" and "L&c". The insight panel's controls
// come last and lie beyond the window's width: they show when the panel does,
// each page's only while that page is chosen.
// clang-format off
const ControlTemplate mainControls[] = {
    {IDC_ESTABLISH, "IDC_ESTABLISH", K::PushButton, "&Establish Context", 22, 20, 70, 14, 1, nullptr, false, 0},
    {IDC_LIST_READERS, "IDC_LIST_READERS", K::PushButton, "&List Devices", 22, 40, 70, 14, 2, nullptr, false, 0},
    {IDC_READER_LIST, "IDC_READER_LIST", K::ListBox, "", 10, 75, 181, 55, 3, "Reader List", false, 0},
    {IDC_CONNECT, "IDC_CONNECT", K::PushButton, "&Connect", 22, 135, 70, 14, 4, nullptr, false, 0},
    {IDC_DISCONNECT, "IDC_DISCONNECT", K::PushButton, "&Disconnect", 107, 135, 70, 14, 5, nullptr, false, 0},
    {IDC_ATTRIBUTES, "IDC_ATTRIBUTES", K::PushButton, "Attri&butes", 107, 40, 70, 14, 6, nullptr, false, 0},
    {IDC_RELEASE, "IDC_RELEASE", K::PushButton, "&Release Context", 107, 20, 70, 14, 7, nullptr, false, 0},
    {IDC_MODE_STRING, "IDC_MODE_STRING", K::RadioButton, "Enter Data as &STRING", 213, 32, 95, 10, 8, nullptr, false, 0},
    {IDC_MODE_HEX, "IDC_MODE_HEX", K::RadioButton, "Enter Data in &HEX", 213, 62, 95, 10, 9, nullptr, false, 0},
    {IDC_MODE_FILE, "IDC_MODE_FILE", K::RadioButton, "Send &File Content", 213, 92, 95, 10, 10, nullptr, false, 0},
    {IDC_STRING_DATA, "IDC_STRING_DATA", K::Edit, "", 228, 42, 145, 14, 11, "String Data", false, 0},
    {IDC_HEX_DATA, "IDC_HEX_DATA", K::Edit, "", 228, 72, 145, 14, 12, "Hex Data", true, 0},
    {IDC_LOAD_FILE, "IDC_LOAD_FILE", K::PushButton, "Select and Load File to be Se&nt", 228, 102, 145, 14, 13, nullptr, false, 0},
    {IDC_TYPE_DIRECT, "IDC_TYPE_DIRECT", K::RadioButton, "Directl&y Send Data to Card", 213, 142, 180, 10, 14, nullptr, false, 0},
    {IDC_TYPE_STORAGE, "IDC_TYPE_STORAGE", K::RadioButton, "Compose &Storage Card APDU", 213, 157, 180, 10, 15, nullptr, false, 0},
    {IDC_TYPE_VENDOR, "IDC_TYPE_VENDOR", K::RadioButton, "&Vendor Specific I/O", 213, 251, 90, 10, 16, nullptr, false, 0},
    {IDC_CMD_READ, "IDC_CMD_READ", K::RadioButton, "Re&ad", 231, 217, 45, 10, 17, nullptr, false, 0},
    {IDC_CMD_UPDATE, "IDC_CMD_UPDATE", K::RadioButton, "&Update", 231, 232, 45, 10, 18, nullptr, false, 0},
    {IDC_P1_LABEL, "IDC_P1_LABEL", K::Label, "P1", 296, 190, 34, 8, 19, nullptr, false, 0},
    {IDC_P1, "IDC_P1", K::NumberField, "", 331, 187, 25, 14, 20, "P1", false, 0},
    {IDC_P2_LABEL, "IDC_P2_LABEL", K::Label, "P2 (Block)", 296, 205, 34, 8, 21, nullptr, false, 0},
    {IDC_P2, "IDC_P2", K::NumberField, "", 331, 202, 25, 14, 22, "P2", false, 0},
    {IDC_P3_LABEL, "IDC_P3_LABEL", K::Label, "P3", 296, 219, 33, 8, 23, nullptr, false, 0},
    {IDC_P3, "IDC_P3", K::NumberField, "", 331, 216, 25, 14, 24, "P3", false, 0},
    {IDC_VENDOR_P1_LABEL, "IDC_VENDOR_P1_LABEL", K::Label, "P&1", 218, 269, 15, 8, 25, nullptr, false, IDC_VENDOR_P1},
    {IDC_VENDOR_P2_LABEL, "IDC_VENDOR_P2_LABEL", K::Label, "P&2", 218, 284, 15, 8, 26, nullptr, false, IDC_VENDOR_P2},
    {IDC_VENDOR_P1, "IDC_VENDOR_P1", K::NumberField, "", 238, 266, 25, 14, 27, "Vendor P1", false, 0},
    {IDC_VENDOR_P2, "IDC_VENDOR_P2", K::NumberField, "", 238, 281, 25, 14, 28, "Vendor P2", false, 0},
    {IDC_VENDOR_LC_LABEL, "IDC_VENDOR_LC_LABEL", K::Label, "L&c", 273, 269, 21, 8, 29, nullptr, false, IDC_VENDOR_LC},
    {IDC_VENDOR_LE_LABEL, "IDC_VENDOR_LE_LABEL", K::Label, "L&e", 273, 284, 9, 8, 30, nullptr, false, IDC_VENDOR_LE},
    {IDC_VENDOR_LC, "IDC_VENDOR_LC", K::NumberField, "", 298, 266, 25, 14, 31, "Vendor Lc", false, 0},
    {IDC_VENDOR_LE, "IDC_VENDOR_LE", K::NumberField, "", 298, 281, 25, 14, 32, "Vendor Le", false, 0},
    {IDC_VENDOR_MENU, "IDC_VENDOR_MENU", K::PushButton, "Vendor I/&O ...", 338, 266, 65, 14, 33, nullptr, false, 0},
    {IDC_LOOP, "IDC_LOOP", K::CheckBox, "E&xecute Command in Loop:", 208, 307, 105, 10, 34, nullptr, false, 0},
    {IDC_BREAK_ON_ERROR, "IDC_BREAK_ON_ERROR", K::CheckBox, "Break on Error", 218, 322, 105, 10, 35, nullptr, false, 0},
    {IDC_LOOP_COUNT, "IDC_LOOP_COUNT", K::NumberField, "", 338, 304, 25, 14, 36, "Loop Count", false, 0},
    {IDC_TRANSMIT, "IDC_TRANSMIT", K::PushButton, "&Transmit !", 208, 339, 200, 14, 37, nullptr, false, 0},
    {IDC_CLEAR_LOG, "IDC_CLEAR_LOG", K::PushButton, "Clear Lo&g", 203, 387, 50, 14, 38, nullptr, false, 0},
    {IDHELP, "IDHELP", K::PushButton, "Hel&p", 309, 387, 50, 14, 39, nullptr, false, 0},
    {IDC_QUIT, "IDC_QUIT", K::PushButton, "&Quit", 363, 387, 50, 14, 40, nullptr, false, 0},
    {IDC_WIN_STATUS, "IDC_WIN_STATUS", K::ReadOnlyRight, "", 254, 362, 55, 14, 41, "Win Status", false, 0},
    {IDC_GROUP_RESMGR, "IDC_GROUP_RESMGR", K::GroupBox, "Resource Manager", 5, 5, 191, 170, 42, nullptr, false, 0},
    {IDC_CONNECTED_READER, "IDC_CONNECTED_READER", K::ReadOnly, "", 10, 60, 181, 14, 43, "Connected Reader", false, 0},
    {IDC_ATR_LABEL, "IDC_ATR_LABEL", K::Label, "ATR:", 10, 157, 25, 8, 44, nullptr, false, 0},
    {IDC_ATR, "IDC_ATR", K::ReadOnly, "", 35, 154, 155, 14, 45, "ATR", true, 0},
    {IDC_GROUP_LOG, "IDC_GROUP_LOG", K::GroupBox, "Log", 5, 179, 191, 222, 46, nullptr, false, 0},
    {IDC_LOG, "IDC_LOG", K::Log, "", 10, 191, 181, 207, 47, "Log", false, 0},
    {IDC_GROUP_COMPOSE, "IDC_GROUP_COMPOSE", K::GroupBox, "Compose Command", 203, 5, 210, 376, 48, nullptr, false, 0},
    {IDC_GROUP_DATA, "IDC_GROUP_DATA", K::GroupBox, "Data Entry", 208, 17, 200, 105, 49, nullptr, false, 0},
    {IDC_STRING_LEN, "IDC_STRING_LEN", K::ReadOnlyRight, "", 378, 42, 25, 14, 50, "String Length", false, 0},
    {IDC_HEX_LEN, "IDC_HEX_LEN", K::ReadOnlyRight, "", 378, 72, 25, 14, 51, "Hex Length", false, 0},
    {IDC_FILE_LEN, "IDC_FILE_LEN", K::ReadOnlyRight, "", 378, 102, 25, 14, 52, "File Length", false, 0},
    {IDC_GROUP_TYPE, "IDC_GROUP_TYPE", K::GroupBox, "Command Type", 208, 127, 200, 174, 53, nullptr, false, 0},
    {IDC_VENDOR_CMD_NAME, "IDC_VENDOR_CMD_NAME", K::ReadOnly, "", 338, 281, 65, 14, 54, "Vendor Command", false, 0},
    {IDC_WIN_STATUS_LABEL, "IDC_WIN_STATUS_LABEL", K::Label, "Win Status:", 208, 365, 45, 8, 55, nullptr, false, 0},
    {IDC_ELAPSED_LABEL, "IDC_ELAPSED_LABEL", K::Label, "Elapsed:", 323, 365, 40, 8, 56, nullptr, false, 0},
    {IDC_ELAPSED, "IDC_ELAPSED", K::ReadOnlyRight, "", 368, 362, 40, 14, 57, "Elapsed", false, 0},
    {IDC_PERCENT_LABEL, "IDC_PERCENT_LABEL", K::LabelRight, "%", 398, 307, 10, 8, 58, nullptr, false, 0},
    {IDC_LOOP_PROGRESS, "IDC_LOOP_PROGRESS", K::ReadOnlyRight, "", 368, 304, 25, 14, 59, "Loop Progress", false, 0},
    {IDC_CMD_AUTH, "IDC_CMD_AUTH", K::RadioButton, "&Authenticate", 231, 203, 55, 10, 60, nullptr, false, 0},
    {IDC_CMD_LOADKEYS, "IDC_CMD_LOADKEYS", K::RadioButton, "Load&Keys", 231, 187, 45, 10, 61, nullptr, false, 0},
    {IDC_CMD_GETUID, "IDC_CMD_GETUID", K::RadioButton, "&GetUID", 231, 173, 45, 10, 62, nullptr, false, 0},
    {IDC_LENGTH_LABEL, "IDC_LENGTH_LABEL", K::Label, "Length", 296, 233, 32, 8, 63, nullptr, false, 0},
    {IDC_LENGTH, "IDC_LENGTH", K::NumberField, "", 331, 230, 25, 14, 64, "Length", false, 0},
    {IDC_INSIGHT, "IDC_INSIGHT", K::PushButton, "Insi&ght >>", 256, 387, 50, 14, 65, nullptr, false, 0},
    {IDC_PAGE_LOOP, "IDC_PAGE_LOOP", K::PushButton, "Transmit Loop", 423, 5, 55, 14, 66, nullptr, false, 0},
    {IDC_PAGE_CARD, "IDC_PAGE_CARD", K::PushButton, "Card", 480, 5, 34, 14, 67, nullptr, false, 0},
    {IDC_GROUP_INSIGHT, "IDC_GROUP_INSIGHT", K::GroupBox, "Transmit Loop", 418, 22, 175, 379, 68, nullptr, false, 0},
    {IDC_EXPECTED_SW_LABEL, "IDC_EXPECTED_SW_LABEL", K::Label, "Expected SW:", 423, 37, 50, 8, 69, nullptr, false, 0},
    {IDC_EXPECTED_SW, "IDC_EXPECTED_SW", K::Edit, "", 475, 34, 40, 14, 70, "Expected SW", true, 0},
    {IDC_SAVE_SAMPLES, "IDC_SAVE_SAMPLES", K::PushButton, "Sa&ve Samples...", 518, 34, 70, 14, 71, nullptr, false, 0},
    {IDC_HISTOGRAM, "IDC_HISTOGRAM", K::Chart, "Distribution of Run Times", 423, 52, 165, 135, 72, nullptr, false, 0},
    {IDC_TIME_SERIES, "IDC_TIME_SERIES", K::Chart, "Time of Each Run", 423, 191, 165, 118, 73, nullptr, false, 0},
    {IDC_LOOP_SUMMARY, "IDC_LOOP_SUMMARY", K::ReadOnlyText, "", 423, 313, 165, 65, 74, "Loop Summary", false, 0},
    {IDC_SAVE_LOG, "IDC_SAVE_LOG", K::PushButton, "Save Log...", 518, 382, 70, 14, 75, nullptr, false, 0},
    {IDC_GROUP_CARD, "IDC_GROUP_CARD", K::GroupBox, "Card and Reader", 418, 22, 175, 379, 76, nullptr, false, 0},
    {IDC_LAST_RESULT, "IDC_LAST_RESULT", K::ReadOnlyText, "", 423, 43, 165, 50, 77, "Last Result", false, 0},
    {IDC_ATR_DECODED, "IDC_ATR_DECODED", K::ReadOnlyText, "", 423, 105, 165, 86, 78, "Decoded ATR", false, 0},
    {IDC_CARD_EVENTS, "IDC_CARD_EVENTS", K::ListBox, "", 423, 203, 165, 100, 79, "Card Events", false, 0},
    {IDC_TAP_MEASURE, "IDC_TAP_MEASURE", K::ReadOnlyText, "", 423, 307, 165, 72, 80, "Card Taps", false, 0},
    {IDC_CLEAR_EVENTS, "IDC_CLEAR_EVENTS", K::PushButton, "Clear Events", 538, 383, 50, 14, 81, nullptr, false, 0},
    {IDC_LAST_RESULT_LABEL, "IDC_LAST_RESULT_LABEL", K::Label, "Last result:", 423, 34, 165, 8, 82, nullptr, false, 0},
    {IDC_ATR_DECODED_LABEL, "IDC_ATR_DECODED_LABEL", K::Label, "Decoded ATR:", 423, 96, 165, 8, 83, nullptr, false, 0},
    {IDC_CARD_EVENTS_LABEL, "IDC_CARD_EVENTS_LABEL", K::Label, "Card events:", 423, 194, 165, 8, 84, nullptr, false, 0},
    {IDC_PAGE_CONTROL, "IDC_PAGE_CONTROL", K::PushButton, "Control", 516, 5, 36, 14, 85, nullptr, false, 0},
    {IDC_GROUP_CONTROL, "IDC_GROUP_CONTROL", K::GroupBox, "Reader Control", 418, 22, 175, 379, 86, nullptr, false, 0},
    {IDC_SHARE_LABEL, "IDC_SHARE_LABEL", K::Label, "Share:", 423, 35, 40, 8, 87, nullptr, false, 0},
    {IDC_SHARE_EXCLUSIVE, "IDC_SHARE_EXCLUSIVE", K::RadioButton, "Exclusive", 465, 34, 42, 10, 88, nullptr, false, 0},
    {IDC_SHARE_SHARED, "IDC_SHARE_SHARED", K::RadioButton, "Shared", 509, 34, 36, 10, 89, nullptr, false, 0},
    {IDC_SHARE_DIRECT, "IDC_SHARE_DIRECT", K::RadioButton, "Direct", 547, 34, 40, 10, 90, nullptr, false, 0},
    {IDC_PROTOCOL_LABEL, "IDC_PROTOCOL_LABEL", K::Label, "Protocol:", 423, 49, 40, 8, 91, nullptr, false, 0},
    {IDC_PROTOCOL_ANY, "IDC_PROTOCOL_ANY", K::RadioButton, "Any", 465, 48, 26, 10, 92, nullptr, false, 0},
    {IDC_PROTOCOL_T0, "IDC_PROTOCOL_T0", K::RadioButton, "T=0", 493, 48, 26, 10, 93, nullptr, false, 0},
    {IDC_PROTOCOL_T1, "IDC_PROTOCOL_T1", K::RadioButton, "T=1", 521, 48, 26, 10, 94, nullptr, false, 0},
    {IDC_PROTOCOL_RAW, "IDC_PROTOCOL_RAW", K::RadioButton, "Raw", 549, 48, 30, 10, 95, nullptr, false, 0},
    {IDC_DISPOSITION_LABEL, "IDC_DISPOSITION_LABEL", K::Label, "Disconnect:", 423, 63, 40, 8, 96, nullptr, false, 0},
    {IDC_DISPOSITION_UNPOWER, "IDC_DISPOSITION_UNPOWER", K::RadioButton, "Unpower", 465, 62, 42, 10, 97, nullptr, false, 0},
    {IDC_DISPOSITION_LEAVE, "IDC_DISPOSITION_LEAVE", K::RadioButton, "Leave", 509, 62, 36, 10, 98, nullptr, false, 0},
    {IDC_DISPOSITION_RESET, "IDC_DISPOSITION_RESET", K::RadioButton, "Reset", 465, 74, 42, 10, 99, nullptr, false, 0},
    {IDC_DISPOSITION_EJECT, "IDC_DISPOSITION_EJECT", K::RadioButton, "Eject", 509, 74, 36, 10, 100, nullptr, false, 0},
    {IDC_WARM_RESET, "IDC_WARM_RESET", K::PushButton, "&Warm Reset", 423, 88, 80, 14, 101, nullptr, false, 0},
    {IDC_COLD_RESET, "IDC_COLD_RESET", K::PushButton, "Cold Reset", 508, 88, 80, 14, 102, nullptr, false, 0},
    {IDC_CLASS_LABEL, "IDC_CLASS_LABEL", K::Label, "Class:", 423, 109, 40, 8, 103, nullptr, false, 0},
    {IDC_CLASS_00, "IDC_CLASS_00", K::RadioButton, "00", 465, 108, 24, 10, 104, nullptr, false, 0},
    {IDC_CLASS_FF, "IDC_CLASS_FF", K::RadioButton, "FF", 491, 108, 24, 10, 105, nullptr, false, 0},
    {IDC_GENERAL_AUTH, "IDC_GENERAL_AUTH", K::CheckBox, "GENERAL AUTHENTICATE", 423, 121, 165, 10, 106, nullptr, false, 0},
    {IDC_GET_RESPONSE, "IDC_GET_RESPONSE", K::CheckBox, "GET RESPONSE", 423, 134, 165, 10, 107, nullptr, false, 0},
    {IDC_VENDOR_TO_LABEL, "IDC_VENDOR_TO_LABEL", K::Label, "Vendor I/O to:", 423, 149, 165, 8, 108, nullptr, false, 0},
    {IDC_VENDOR_TO_FIXED, "IDC_VENDOR_TO_FIXED", K::RadioButton, "Fixed", 423, 161, 32, 10, 109, nullptr, false, 0},
    {IDC_VENDOR_TO_ESCAPE, "IDC_VENDOR_TO_ESCAPE", K::RadioButton, "Escape", 457, 161, 38, 10, 110, nullptr, false, 0},
    {IDC_VENDOR_TO_CODE, "IDC_VENDOR_TO_CODE", K::RadioButton, "Code:", 497, 161, 30, 10, 111, nullptr, false, 0},
    {IDC_VENDOR_CODE, "IDC_VENDOR_CODE", K::Edit, "", 529, 159, 59, 14, 112, "Vendor Code", false, 0},
    {IDC_CONTROL_CODE_LABEL, "IDC_CONTROL_CODE_LABEL", K::Label, "Code:", 423, 185, 40, 8, 113, nullptr, false, 0},
    {IDC_CONTROL_CODE, "IDC_CONTROL_CODE", K::Edit, "", 465, 182, 123, 14, 114, "Control Code", false, 0},
    {IDC_CONTROL_HEX_LABEL, "IDC_CONTROL_HEX_LABEL", K::Label, "Hex:", 423, 201, 40, 8, 115, nullptr, false, 0},
    {IDC_CONTROL_HEX, "IDC_CONTROL_HEX", K::Edit, "", 465, 198, 123, 14, 116, "Control Hex", true, 0},
    {IDC_SEND_CONTROL, "IDC_SEND_CONTROL", K::PushButton, "Send Control", 423, 216, 80, 14, 117, nullptr, false, 0},
    {IDC_FEATURES, "IDC_FEATURES", K::PushButton, "Features", 508, 216, 80, 14, 118, nullptr, false, 0},
    {IDC_ATTRIBUTE_LABEL, "IDC_ATTRIBUTE_LABEL", K::Label, "Attr&ibute:", 423, 245, 40, 8, 119, nullptr, false, IDC_ATTRIBUTE_ID},
    {IDC_ATTRIBUTE_ID, "IDC_ATTRIBUTE_ID", K::Edit, "", 465, 242, 123, 14, 120, "Attribute", false, 0},
    {IDC_READ_ATTRIBUTE, "IDC_READ_ATTRIBUTE", K::PushButton, "Read", 508, 260, 80, 14, 121, nullptr, false, 0},
    {IDC_PAGE_QUALIFY, "IDC_PAGE_QUALIFY", K::PushButton, "Qualify", 554, 5, 34, 14, 122, nullptr, false, 0},
    {IDC_GROUP_QUALIFY, "IDC_GROUP_QUALIFY", K::GroupBox, "Qualify", 418, 22, 175, 379, 123, nullptr, false, 0},
    {IDC_PLAN_LABEL, "IDC_PLAN_LABEL", K::Label, "Plan:", 423, 37, 20, 8, 124, nullptr, false, 0},
    {IDC_PLAN_PATH, "IDC_PLAN_PATH", K::Edit, "", 445, 34, 143, 14, 125, "Plan File", false, 0},
    {IDC_OPEN_PLAN, "IDC_OPEN_PLAN", K::PushButton, "Open Plan...", 423, 51, 61, 14, 126, nullptr, false, 0},
    {IDC_RUN_PLAN, "IDC_RUN_PLAN", K::PushButton, "Run", 487, 51, 49, 14, 127, nullptr, false, 0},
    {IDC_STOP_PLAN, "IDC_STOP_PLAN", K::PushButton, "Stop", 539, 51, 49, 14, 128, nullptr, false, 0},
    {IDC_QUALIFY_STATUS, "IDC_QUALIFY_STATUS", K::ReadOnly, "", 423, 68, 165, 14, 129, "Qualify Status", false, 0},
    {IDC_VERDICTS, "IDC_VERDICTS", K::Table, "", 423, 85, 165, 72, 130, "Verdicts", false, 0},
    {IDC_LIMIT_DETAILS, "IDC_LIMIT_DETAILS", K::Table, "", 423, 160, 165, 60, 131, "Limits", false, 0},
    {IDC_QUALIFY_CHART, "IDC_QUALIFY_CHART", K::Chart, "Measurements", 423, 223, 165, 156, 132, nullptr, false, 0},
    {IDC_SAVE_JSON, "IDC_SAVE_JSON", K::PushButton, "Save JSON...", 423, 383, 80, 14, 133, nullptr, false, 0},
    {IDC_SAVE_JUNIT, "IDC_SAVE_JUNIT", K::PushButton, "Save JUnit...", 508, 383, 80, 14, 134, nullptr, false, 0},
};
// clang-format on

// clang-format off
const ControlTemplate aboutControls[] = {
    {IDC_ABOUT_TITLE, "IDC_ABOUT_TITLE", K::Label, "Quarnel Test Program", 35, 6, 154, 15, 1, nullptr, false, 0},
    {IDC_ABOUT_OK, "IDC_ABOUT_OK", K::DefaultButton, "O&K", 75, 85, 50, 14, 2, nullptr, false, 0},
    {IDC_ABOUT_AUTHOR, "IDC_ABOUT_AUTHOR", K::Label, "Written by the Quarnel test bench team", 35, 50, 153, 10, 3, nullptr, false, 0},
    {IDC_ABOUT_NOTICE, "IDC_ABOUT_NOTICE", K::Label, "For reader and driver testing only.", 35, 65, 154, 10, 4, nullptr, false, 0},
    {IDC_ABOUT_ICON, "IDC_ABOUT_ICON", K::Icon, "", 5, 5, 20, 20, 5, "Program Icon", false, 0},
    {IDC_ABOUT_VERSION, "IDC_ABOUT_VERSION", K::Label, "x x x", 35, 30, 155, 10, 6, nullptr, false, 0},
};
// clang-format on

// The count of a template's controls, refused at compile time beyond what a
// dialog can hold.
template<size_t count> constexpr int ControlCount(const ControlTemplate (&)[count])
{
    static_assert(count <= CONTROL_CAPACITY, "more controls than a dialog holds: raise CONTROL_CAPACITY");
    return int(count);
}

const DialogTemplate templates[] = {
    {IDD_MAIN, "IDD_MAIN", "Quarnel Test Utility", 418, 406, 180, true, true, mainControls, ControlCount(mainControls)},
    {IDD_ABOUT, "IDD_ABOUT", "About . . .", 197, 106, 0, false, false, aboutControls, ControlCount(aboutControls)},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int templateId)
{
    for (const DialogTemplate& dialog : templates)
        if (dialog.id == templateId)
            return &dialog;
    return nullptr;
}
