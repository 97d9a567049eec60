// PC/SC status codes by name and text.
#include "core/pcsc/status_text.h"

#include <cstdint>
#include <cstdio>

namespace {

struct NamedStatus {
    uint32_t code;
    const char* name;
    const char* alias;  // the second name of the value, nullptr for none
};

#define NAMED(code)                                                                                                    \
    {                                                                                                                  \
        uint32_t(code), #code, nullptr                                                                                 \
    }

// pcsclite.h gives 0x8010001F two names; pcsc-lite's text speaks of the first.
static_assert(SCARD_E_UNEXPECTED == SCARD_E_UNSUPPORTED_FEATURE);

const NamedStatus NAMED_STATUSES[] = {
    NAMED(SCARD_S_SUCCESS),
    NAMED(SCARD_F_INTERNAL_ERROR),
    NAMED(SCARD_E_CANCELLED),
    NAMED(SCARD_E_INVALID_HANDLE),
    NAMED(SCARD_E_INVALID_PARAMETER),
    NAMED(SCARD_E_INVALID_TARGET),
    NAMED(SCARD_E_NO_MEMORY),
    NAMED(SCARD_F_WAITED_TOO_LONG),
    NAMED(SCARD_E_INSUFFICIENT_BUFFER),
    NAMED(SCARD_E_UNKNOWN_READER),
    NAMED(SCARD_E_TIMEOUT),
    NAMED(SCARD_E_SHARING_VIOLATION),
    NAMED(SCARD_E_NO_SMARTCARD),
    NAMED(SCARD_E_UNKNOWN_CARD),
    NAMED(SCARD_E_CANT_DISPOSE),
    NAMED(SCARD_E_PROTO_MISMATCH),
    NAMED(SCARD_E_NOT_READY),
    NAMED(SCARD_E_INVALID_VALUE),
    NAMED(SCARD_E_SYSTEM_CANCELLED),
    NAMED(SCARD_F_COMM_ERROR),
    NAMED(SCARD_F_UNKNOWN_ERROR),
    NAMED(SCARD_E_INVALID_ATR),
    NAMED(SCARD_E_NOT_TRANSACTED),
    NAMED(SCARD_E_READER_UNAVAILABLE),
    NAMED(SCARD_P_SHUTDOWN),
    NAMED(SCARD_E_PCI_TOO_SMALL),
    NAMED(SCARD_E_READER_UNSUPPORTED),
    NAMED(SCARD_E_DUPLICATE_READER),
    NAMED(SCARD_E_CARD_UNSUPPORTED),
    NAMED(SCARD_E_NO_SERVICE),
    NAMED(SCARD_E_SERVICE_STOPPED),
    {uint32_t(SCARD_E_UNSUPPORTED_FEATURE), "SCARD_E_UNSUPPORTED_FEATURE", "SCARD_E_UNEXPECTED"},
    NAMED(SCARD_E_ICC_INSTALLATION),
    NAMED(SCARD_E_ICC_CREATEORDER),
    NAMED(SCARD_E_DIR_NOT_FOUND),
    NAMED(SCARD_E_FILE_NOT_FOUND),
    NAMED(SCARD_E_NO_DIR),
    NAMED(SCARD_E_NO_FILE),
    NAMED(SCARD_E_NO_ACCESS),
    NAMED(SCARD_E_WRITE_TOO_MANY),
    NAMED(SCARD_E_BAD_SEEK),
    NAMED(SCARD_E_INVALID_CHV),
    NAMED(SCARD_E_UNKNOWN_RES_MNG),
    NAMED(SCARD_E_NO_SUCH_CERTIFICATE),
    NAMED(SCARD_E_CERTIFICATE_UNAVAILABLE),
    NAMED(SCARD_E_NO_READERS_AVAILABLE),
    NAMED(SCARD_E_COMM_DATA_LOST),
    NAMED(SCARD_E_NO_KEY_CONTAINER),
    NAMED(SCARD_E_SERVER_TOO_BUSY),
    NAMED(SCARD_W_UNSUPPORTED_CARD),
    NAMED(SCARD_W_UNRESPONSIVE_CARD),
    NAMED(SCARD_W_UNPOWERED_CARD),
    NAMED(SCARD_W_RESET_CARD),
    NAMED(SCARD_W_REMOVED_CARD),
    NAMED(SCARD_W_SECURITY_VIOLATION),
    NAMED(SCARD_W_WRONG_CHV),
    NAMED(SCARD_W_CHV_BLOCKED),
    NAMED(SCARD_W_EOF),
    NAMED(SCARD_W_CANCELLED_BY_USER),
    NAMED(SCARD_W_CARD_NOT_AUTHENTICATED),
};

#undef NAMED

const NamedStatus* FindStatus(LONG status)
{
    for (const NamedStatus& named : NAMED_STATUSES)
        if (named.code == uint32_t(status))
            return &named;
    return nullptr;
}

}  // namespace

const char* StatusName(LONG status)
{
    const NamedStatus* named = FindStatus(status);
    return named != nullptr ? named->name : nullptr;
}

const char* StatusAlias(LONG status)
{
    const NamedStatus* named = FindStatus(status);
    return named != nullptr ? named->alias : nullptr;
}

void StatusText(LONG status, char* out, size_t cap)
{
    if (cap == 0)
        return;
    // The window shows the low 32 bits, so pcsc-lite is asked about those.
    // Its text lives in one buffer the next call overwrites: copied at once.
    snprintf(out, cap, "%s", pcsc_stringify_error(LONG(uint32_t(status))));
}

void DescribeStatus(LONG status, char* out, size_t cap)
{
    if (cap == 0)
        return;
    char text[STATUS_TEXT_SIZE];
    StatusText(status, text, sizeof text);
    // Both names where two share the value, as the window has always shown them.
    const char* name = StatusName(status);
    const char* alias = StatusAlias(status);
    snprintf(out, cap, "0x%08X%s%s%s%s: %s", unsigned(uint32_t(status)), name ? " " : "", name ? name : "",
             alias ? " or " : "", alias ? alias : "", text);
}
