// The storage-card APDU composer core.
#include "core/compose/storage.h"

#include <cstring>

#include "core/wire/wire_format.h"

namespace {

// What follows the header of a command's request.
enum Body {
    BODY_NONE,     // CLA INS P1 P2 Le
    BODY_LENGTH,   // CLA INS P1 P2 Lc and Lc bytes of data
    BODY_KEY,      // CLA INS P1 P2 key-type and the key number (one byte of data)
    BODY_GENERAL,  // CLA 86 00 00 05 01 P1 P2 key-type key-number
};

struct StorageApdu {
    uint8_t ins;
    Body body;
};

// By StorageCommand.
constexpr StorageApdu APDUS[STORAGE_COMMAND_COUNT] = {
    {INS_GET_UID, BODY_NONE},     {INS_LOAD_KEYS, BODY_LENGTH},     {INS_AUTHENTICATE, BODY_KEY},
    {INS_READ_BINARY, BODY_NONE}, {INS_UPDATE_BINARY, BODY_LENGTH},
};
constexpr StorageApdu GENERAL_AUTHENTICATE = {INS_GENERAL_AUTHENTICATE, BODY_GENERAL};

uint32_t RequestLength(Body body, const StorageFields& fields)
{
    switch (body) {
    case BODY_NONE:
        return APDU_HEADER_SIZE;
    case BODY_KEY:
        return APDU_HEADER_SIZE + 1;
    case BODY_GENERAL:
        return APDU_HEADER_SIZE + GENERAL_AUTHENTICATE_LENGTH;
    case BODY_LENGTH:
        break;
    }
    return APDU_HEADER_SIZE + fields.length;
}

}  // namespace

uint32_t BuildStorageApdu(StorageCommand command, const StorageDialect& dialect, const StorageFields& fields,
                          const uint8_t* data, uint32_t dataLength, uint8_t* dest, uint32_t capacity)
{
    bool general = command == STORAGE_AUTHENTICATE && dialect.authenticate == STORAGE_AUTH_GENERAL;
    const StorageApdu& apdu = general ? GENERAL_AUTHENTICATE : APDUS[command];
    uint32_t length = RequestLength(apdu.body, fields);
    if (length > capacity)
        return 0;

    dest[0] = dialect.cla;
    dest[1] = apdu.ins;
    if (general) {
        // The block and the key move into the data; the key number is the data's first byte.
        const uint8_t request[] = {
            0x00,      0x00,      GENERAL_AUTHENTICATE_LENGTH,          GENERAL_AUTHENTICATE_VERSION, fields.p1,
            fields.p2, fields.p3, dataLength > 0 ? data[0] : uint8_t(0)};
        static_assert(sizeof request == APDU_HEADER_SIZE + GENERAL_AUTHENTICATE_LENGTH - 2);
        memcpy(dest + 2, request, sizeof request);
        return length;
    }
    dest[2] = fields.p1;
    dest[3] = fields.p2;
    dest[4] = apdu.body == BODY_KEY ? fields.p3 : fields.length;
    uint32_t room = capacity - APDU_HEADER_SIZE;
    uint32_t copied = dataLength < room ? dataLength : room;
    if (copied > 0)
        memcpy(dest + APDU_HEADER_SIZE, data, copied);
    if (APDU_HEADER_SIZE + copied < length)
        memset(dest + APDU_HEADER_SIZE + copied, 0, length - APDU_HEADER_SIZE - copied);
    return length;
}
