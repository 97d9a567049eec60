// Vendor request cores: the command table, the request record and the
// SCardControl exchange.
#include "core/compose/vendor.h"

#include <cstring>

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

LONG ExchangeVendorRecords(SCARDHANDLE card, const VendorIoRecord* request, VendorIoRecord* reply, DWORD* bytesReturned)
{
    return pcsc.Control(card, VENDOR_CONTROL_CODE, request, VENDOR_RECORD_SIZE, reply, VENDOR_RECORD_SIZE,
                        bytesReturned);
}
