// The report of nineteen reader and card attributes, one log line each.
// Reads are not timed. A failed read shows its code and pcsc-lite's text in
// place of a value, so that "not supported" never reads as a value of 0.
#include "pcsc/attributes.h"

#include "app/commands.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <reader.h>

#include "app/window_output.h"
#include "pcsc/pcsc_api.h"
#include "state/tester_state.h"

constexpr DWORD ATTRIBUTE_AREA_SIZE = 100;
constexpr size_t ATTRIBUTE_LINE_SIZE = 512;

void ShowAttribute(const char* label, DWORD attrId, int format)
{
    BYTE value[ATTRIBUTE_AREA_SIZE];
    memset(value, 0, sizeof value);
    DWORD length = ATTRIBUTE_AREA_SIZE;
    LONG status = pcsc.GetAttrib(tester.hCard, attrId, value, &length);
    // Only the area was filled, whatever length comes back.
    if (length > ATTRIBUTE_AREA_SIZE)
        length = ATTRIBUTE_AREA_SIZE;

    char line[ATTRIBUTE_LINE_SIZE];
    int used = snprintf(line, sizeof line, "%s:   ", label);
    if (status != SCARD_S_SUCCESS) {
        // pcsc_stringify_error fills one shared buffer: the text is copied at once.
        snprintf(line + used, sizeof line - used, "error 0x%08X (%s)", unsigned(uint32_t(status)),
                 pcsc_stringify_error(status));
        LogAppend(line);
        return;
    }
    uint32_t word;
    memcpy(&word, value, sizeof word);
    switch (format) {
    case 0:
        snprintf(line + used, sizeof line - used, "0x %08X ", word);
        break;
    case 1:
        snprintf(line + used, sizeof line - used, "%d ", int32_t(word));
        break;
    case 2:
        used += snprintf(line + used, sizeof line - used, "0x ");
        for (DWORD i = 0; i < length; i++)
            used += snprintf(line + used, sizeof line - used, "%02X ", value[i]);
        break;
    case 3:
        for (DWORD i = 0; i < length; i++)
            used += snprintf(line + used, sizeof line - used, "%c ", value[i] < 32 || value[i] > 127 ? ' ' : value[i]);
        break;
    }
    LogAppend(line);
}

INT_PTR CmdShowAttributes([[maybe_unused]] int id)
{
    ShowAttribute("ATR", SCARD_ATTR_ATR_STRING, 3);
    ShowAttribute("Channel", SCARD_ATTR_CHANNEL_ID, 0);
    ShowAttribute("Mechanical Characteristic", SCARD_ATTR_CHARACTERISTICS, 0);
    ShowAttribute("Current Clockfrequency", SCARD_ATTR_CURRENT_CLK, 1);
    ShowAttribute("Current Protocol Type", SCARD_ATTR_CURRENT_PROTOCOL_TYPE, 0);
    ShowAttribute("Default Clockfrequency", SCARD_ATTR_DEFAULT_CLK, 1);
    ShowAttribute("Default Data Rate", SCARD_ATTR_DEFAULT_DATA_RATE, 1);
    ShowAttribute("Friendly Name", SCARD_ATTR_DEVICE_FRIENDLY_NAME_A, 3);
    ShowAttribute("System Name", SCARD_ATTR_DEVICE_SYSTEM_NAME_A, 3);
    ShowAttribute("Device Unit", SCARD_ATTR_DEVICE_UNIT, 1);
    ShowAttribute("Interface Status", SCARD_ATTR_ICC_INTERFACE_STATUS, 0);
    ShowAttribute("Card Presence Status", SCARD_ATTR_ICC_PRESENCE, 0);
    ShowAttribute("Card Type Per ATR", SCARD_ATTR_ICC_TYPE_PER_ATR, 0);
    ShowAttribute("Maximum Clock Frequency", SCARD_ATTR_MAX_CLK, 1);
    ShowAttribute("Maximum Data Rate", SCARD_ATTR_MAX_DATA_RATE, 1);
    ShowAttribute("Power Management Supported", SCARD_ATTR_POWER_MGMT_SUPPORT, 0);
    ShowAttribute("IFD Type", SCARD_ATTR_VENDOR_IFD_TYPE, 3);
    ShowAttribute("IFD Version", SCARD_ATTR_VENDOR_IFD_VERSION, 2);
    ShowAttribute("IFD Vendor Name", SCARD_ATTR_VENDOR_NAME, 3);
    // Reported as not handled; the default handling of a button does nothing.
    return FALSE;
}
