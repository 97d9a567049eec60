// Vendor request cores: the vendor commands by code, the request record,
// where the record goes (the fixed code, the reader's CCID escape code or a
// code given) and the one SCardControl exchange of the 276-byte records.
#pragma once

#include <cstdint>

#include <winscard.h>

#include "core/wire/wire_format.h"

// A vendor command: its name and the parameters it fills in; 0 leaves a
// parameter as the request has it.
struct VendorCommand {
    VendorCommandCode code;
    const char* name;
    uint32_t pa;
    uint32_t pb;
    uint8_t le;
};

// The command of `code`, nullptr for a code the reader does not know.
const VendorCommand* FindVendorCommand(uint8_t code);

// Sets the command code and the parameters the command fills in; true when
// one of pa, pb or le was filled in (the fields showing them are stale).
bool ApplyVendorCommand(const VendorCommand& command, VendorIoRecord* request);

// The Le of a request that is to carry `count` data bytes: at most 255.
uint8_t VendorLength(uint32_t count);

// Completes the request with the parameters and the first bytes of `data`;
// the last data byte is never filled and keeps what the request has.
void FillVendorRequest(VendorIoRecord* request, uint32_t pa, uint32_t pb, uint32_t pc, uint8_t le, const uint8_t* data,
                       uint32_t dataLength);

// Where the record goes. Zero is the fixed code, VENDOR_CONTROL_CODE.
enum VendorDestination : int32_t {
    VENDOR_TO_FIXED_CODE = 0,
    VENDOR_TO_ESCAPE = 1,  // the code the reader's feature list gives FEATURE_CCID_ESC_COMMAND
    VENDOR_TO_CODE = 2,    // the code given with it
};

struct VendorTarget {
    VendorDestination destination;
    DWORD code;  // for VENDOR_TO_CODE
};

// The code the record goes to. For the escape the reader is asked for its
// features first: the status of that request, or SCARD_E_UNSUPPORTED_FEATURE
// with *missing set when the list it gave has no FEATURE_CCID_ESC_COMMAND.
LONG ResolveVendorCode(SCARDHANDLE card, const VendorTarget& target, DWORD* code, bool* missing);

// The one SCardControl exchange of a request and its reply record at `code`.
LONG ExchangeVendorRecords(SCARDHANDLE card, DWORD code, const VendorIoRecord* request, VendorIoRecord* reply,
                           DWORD* bytesReturned);
