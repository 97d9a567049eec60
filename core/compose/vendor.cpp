// Vendor request cores: the command table, the request record, its
// destination and the SCardControl exchange.
#include "core/compose/vendor.h"

#include <cstring>

#include "core/pcsc/features.h"
#include "core/pcsc/pcsc_api.h"

namespace {

constexpr VendorCommand VENDOR_COMMANDS[] = {
    {VENDOR_LED_OFF, "Switch LED Off", 0, 0, 0},
    {VENDOR_LED_ON, "Switch LED On", 0, 0, 0},
    {VENDOR_FLASH_LED, "Flash LED", 3, 100, 0},
    {VENDOR_RF_RESET, "RF Reset", 200, 0, 0},
    {VENDOR_FIRMWARE_REVISION, "Get Firmware Revision", 0, 0, 255},
};

constexpr uint32_t VENDOR_LE_MAX = 255;

}  // namespace

const VendorCommand* FindVendorCommand(uint8_t code)
{
    for (const VendorCommand& command : VENDOR_COMMANDS)
        if (command.code == code)
            return &command;
    return nullptr;
}

bool ApplyVendorCommand(const VendorCommand& command, VendorIoRecord* request)
{
    request->cmd = command.code;
    if (command.pa)
        request->pa = command.pa;
    if (command.pb)
        request->pb = command.pb;
    if (command.le)
        request->le = command.le;
    return command.pa || command.pb || command.le;
}

uint8_t VendorLength(uint32_t count)
{
    return uint8_t(count < VENDOR_LE_MAX ? count : VENDOR_LE_MAX);
}

void FillVendorRequest(VendorIoRecord* request, uint32_t pa, uint32_t pb, uint32_t pc, uint8_t le, const uint8_t* data,
                       uint32_t dataLength)
{
    request->pa = pa;
    request->pb = pb;
    request->pc = pc;
    request->le = le;
    uint32_t room = VENDOR_DATA_SIZE - 1;
    memcpy(request->data, data, dataLength < room ? dataLength : room);
}

LONG ResolveVendorCode(SCARDHANDLE card, const VendorTarget& target, DWORD* code, bool* missing)
{
    *missing = false;
    if (target.destination == VENDOR_TO_FIXED_CODE) {
        *code = VENDOR_CONTROL_CODE;
        return SCARD_S_SUCCESS;
    }
    if (target.destination == VENDOR_TO_CODE) {
        *code = target.code;
        return SCARD_S_SUCCESS;
    }
    BYTE reply[FEATURE_REPLY_SIZE];
    FeatureList list;
    ControlOutcome outcome = SendControl(card, CM_IOCTL_GET_FEATURE_REQUEST, nullptr, 0, reply, sizeof reply);
    if (outcome.status != SCARD_S_SUCCESS)
        return outcome.status;
    DecodeFeatureList(reply, outcome.returned, &list);
    *missing = !FindFeature(list, FEATURE_CCID_ESC_COMMAND, code);
    return *missing ? SCARD_E_UNSUPPORTED_FEATURE : SCARD_S_SUCCESS;
}

LONG ExchangeVendorRecords(SCARDHANDLE card, DWORD code, const VendorIoRecord* request, VendorIoRecord* reply,
                           DWORD* bytesReturned)
{
    return pcsc.Control(card, code, request, VENDOR_RECORD_SIZE, reply, VENDOR_RECORD_SIZE, bytesReturned);
}
