// Identifiers of the templates, the icon, every control of the main window
// and the About box, and the menu items.
#pragma once

constexpr int IDI_MAIN = 102;
constexpr int IDD_MAIN = 103;
constexpr int IDD_ABOUT = 104;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDHELP = 9;

// Main window.
constexpr int IDC_QUIT = 1000;
constexpr int IDC_ESTABLISH = 1001;
constexpr int IDC_LIST_READERS = 1002;
constexpr int IDC_GROUP_RESMGR = 1003;
constexpr int IDC_READER_LIST = 1004;
constexpr int IDC_CONNECT = 1005;
constexpr int IDC_DISCONNECT = 1006;
constexpr int IDC_RELEASE = 1007;
constexpr int IDC_CLEAR_LOG = 1008;
constexpr int IDC_ATR = 1009;
constexpr int IDC_CONNECTED_READER = 1010;
constexpr int IDC_ATTRIBUTES = 1011;
constexpr int IDC_ATR_LABEL = 1012;
constexpr int IDC_VENDOR_MENU = 1013;
constexpr int IDC_GROUP_COMPOSE = 1014;
constexpr int IDC_GROUP_DATA = 1015;
constexpr int IDC_PERCENT_LABEL = 1016;
constexpr int IDC_GROUP_TYPE = 1017;
constexpr int IDC_STRING_DATA = 1018;
constexpr int IDC_LOOP = 1019;
constexpr int IDC_LOOP_COUNT = 1020;
constexpr int IDC_CMD_READ = 1021;
constexpr int IDC_CMD_UPDATE = 1022;
constexpr int IDC_P1 = 1023;
constexpr int IDC_TRANSMIT = 1024;
constexpr int IDC_P1_LABEL = 1025;
constexpr int IDC_P2_LABEL = 1026;
constexpr int IDC_P2 = 1027;
constexpr int IDC_MODE_HEX = 1028;
constexpr int IDC_MODE_STRING = 1029;
constexpr int IDC_WIN_STATUS = 1030;
constexpr int IDC_TYPE_DIRECT = 1031;
constexpr int IDC_TYPE_STORAGE = 1032;
constexpr int IDC_P3 = 1033;
constexpr int IDC_P3_LABEL = 1034;
constexpr int IDC_MODE_FILE = 1035;
constexpr int IDC_LOAD_FILE = 1036;
constexpr int IDC_LOG = 1037;
constexpr int IDC_WIN_STATUS_LABEL = 1038;
constexpr int IDC_ELAPSED_LABEL = 1039;
constexpr int IDC_ELAPSED = 1040;
constexpr int IDC_GROUP_LOG = 1041;
constexpr int IDC_VENDOR_CMD_NAME = 1042;
constexpr int IDC_LOOP_PROGRESS = 1043;
constexpr int IDC_STRING_LEN = 1044;
constexpr int IDC_HEX_DATA = 1045;
constexpr int IDC_HEX_LEN = 1046;
constexpr int IDC_FILE_LEN = 1047;
constexpr int IDC_BREAK_ON_ERROR = 1048;
constexpr int IDC_CMD_AUTH = 1049;
constexpr int IDC_CMD_LOADKEYS = 1050;
constexpr int IDC_CMD_GETUID = 1051;
constexpr int IDC_TYPE_VENDOR = 1053;
constexpr int IDC_LENGTH = 1054;
constexpr int IDC_VENDOR_P1_LABEL = 1055;
constexpr int IDC_VENDOR_P1 = 1056;
constexpr int IDC_VENDOR_P2_LABEL = 1057;
constexpr int IDC_VENDOR_P2 = 1058;
constexpr int IDC_VENDOR_LC_LABEL = 1059;
constexpr int IDC_VENDOR_LC = 1060;
constexpr int IDC_VENDOR_LE_LABEL = 1061;
constexpr int IDC_VENDOR_LE = 1062;
constexpr int IDC_LENGTH_LABEL = 1063;
constexpr int IDC_INSIGHT = 1064;  // shows and hides the insight panel

// The insight panel, to the right of the fixed layout.
constexpr int IDC_GROUP_INSIGHT = 1099;
constexpr int IDC_EXPECTED_SW_LABEL = 1100;
constexpr int IDC_EXPECTED_SW = 1101;
constexpr int IDC_HISTOGRAM = 1102;
constexpr int IDC_TIME_SERIES = 1103;
constexpr int IDC_SAVE_SAMPLES = 1104;
constexpr int IDC_LOOP_SUMMARY = 1105;
// Its page switch and the Card and Reader page.
constexpr int IDC_PAGE_LOOP = 1106;
constexpr int IDC_PAGE_CARD = 1107;
constexpr int IDC_GROUP_CARD = 1108;
constexpr int IDC_LAST_RESULT = 1109;
constexpr int IDC_ATR_DECODED = 1110;
constexpr int IDC_CARD_EVENTS = 1111;
constexpr int IDC_TAP_MEASURE = 1112;
constexpr int IDC_CLEAR_EVENTS = 1113;
constexpr int IDC_SAVE_LOG = 1114;  // as the system menu's IDM_SAVE_LOG
// The titles of the Card and Reader page's boxes.
constexpr int IDC_LAST_RESULT_LABEL = 1115;
constexpr int IDC_ATR_DECODED_LABEL = 1116;
constexpr int IDC_CARD_EVENTS_LABEL = 1117;

// The Reader Control page: connect options, resets, the requests' dialect,
// control codes, features and single attributes.
constexpr int IDC_PAGE_CONTROL = 1118;
constexpr int IDC_GROUP_CONTROL = 1119;
constexpr int IDC_SHARE_LABEL = 1120;
constexpr int IDC_SHARE_EXCLUSIVE = 1121;
constexpr int IDC_SHARE_SHARED = 1122;
constexpr int IDC_SHARE_DIRECT = 1123;
constexpr int IDC_PROTOCOL_LABEL = 1124;
constexpr int IDC_PROTOCOL_ANY = 1125;
constexpr int IDC_PROTOCOL_T0 = 1126;
constexpr int IDC_PROTOCOL_T1 = 1127;
constexpr int IDC_PROTOCOL_RAW = 1128;
constexpr int IDC_DISPOSITION_LABEL = 1129;
constexpr int IDC_DISPOSITION_UNPOWER = 1130;
constexpr int IDC_DISPOSITION_LEAVE = 1131;
constexpr int IDC_DISPOSITION_RESET = 1132;
constexpr int IDC_DISPOSITION_EJECT = 1133;
constexpr int IDC_WARM_RESET = 1134;
constexpr int IDC_COLD_RESET = 1135;
constexpr int IDC_CLASS_LABEL = 1136;
constexpr int IDC_CLASS_00 = 1137;
constexpr int IDC_CLASS_FF = 1138;
constexpr int IDC_GENERAL_AUTH = 1139;
constexpr int IDC_GET_RESPONSE = 1140;
constexpr int IDC_VENDOR_TO_LABEL = 1141;
constexpr int IDC_VENDOR_TO_FIXED = 1142;
constexpr int IDC_VENDOR_TO_ESCAPE = 1143;
constexpr int IDC_VENDOR_TO_CODE = 1144;
constexpr int IDC_VENDOR_CODE = 1145;
constexpr int IDC_CONTROL_CODE_LABEL = 1146;
constexpr int IDC_CONTROL_CODE = 1147;
constexpr int IDC_CONTROL_HEX_LABEL = 1148;
constexpr int IDC_CONTROL_HEX = 1149;
constexpr int IDC_SEND_CONTROL = 1150;
constexpr int IDC_FEATURES = 1151;
constexpr int IDC_ATTRIBUTE_LABEL = 1152;
constexpr int IDC_ATTRIBUTE_ID = 1153;
constexpr int IDC_READ_ATTRIBUTE = 1154;

// The Qualify page: a plan run suite by suite on the connected card, its
// verdicts, the selected suite's limits and chart, and the files saved.
constexpr int IDC_PAGE_QUALIFY = 1155;
constexpr int IDC_GROUP_QUALIFY = 1156;
constexpr int IDC_PLAN_LABEL = 1157;
constexpr int IDC_PLAN_PATH = 1158;
constexpr int IDC_OPEN_PLAN = 1159;
constexpr int IDC_RUN_PLAN = 1160;
constexpr int IDC_STOP_PLAN = 1161;
constexpr int IDC_QUALIFY_STATUS = 1162;
constexpr int IDC_VERDICTS = 1163;
constexpr int IDC_LIMIT_DETAILS = 1164;
constexpr int IDC_QUALIFY_CHART = 1165;
constexpr int IDC_SAVE_JSON = 1166;
constexpr int IDC_SAVE_JUNIT = 1167;

// About box (these numbers name other controls in the main window).
constexpr int IDC_ABOUT_TITLE = 1004;
constexpr int IDC_ABOUT_OK = 1005;
constexpr int IDC_ABOUT_AUTHOR = 1006;
constexpr int IDC_ABOUT_NOTICE = 1007;
constexpr int IDC_ABOUT_ICON = 1030;
constexpr int IDC_ABOUT_VERSION = 1057;

// Menu items.
constexpr int IDM_LED_OFF = 40001;
constexpr int IDM_LED_ON = 40002;
constexpr int IDM_LED_FLASH = 40003;
constexpr int IDM_RF_RESET = 40008;
constexpr int IDM_FIRMWARE_REV = 40009;
constexpr int IDM_ABOUT = 50001;
constexpr int IDM_INSIGHT = 50002;
constexpr int IDM_CARD_PAGE = 50003;  // F3: the panel on its Card and Reader page
constexpr int IDM_SAVE_LOG = 50004;
constexpr int IDM_CONTROL_PAGE = 50005;  // F4: the panel on its Reader Control page
constexpr int IDM_QUALIFY_PAGE = 50006;  // F5: the panel on its Qualify page
