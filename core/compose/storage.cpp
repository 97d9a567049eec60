// The storage-card APDU composer core.
#include "core/compose/storage.h"

#include <cstring>

#include "core/wire/wire_format.h"

namespace {

// What follows the header of a command's request.
enum Body {
    BODY_NONE,    // CLA INS P1 P2 Le
    BODY_LENGTH,  // CLA INS P1 P2 Lc and Lc bytes of data
    BODY_KEY,     // CLA INS P1 P2 key-type and the key number (one byte of data)
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

}  // namespace

uint32_t BuildStorageApdu(StorageCommand command, const StorageFields& fields, const uint8_t* data, uint32_t dataLength,
                          uint8_t* dest, uint32_t capacity)
{
    const StorageApdu& apdu = APDUS[command];
    uint32_t length = apdu.body == BODY_NONE ? APDU_HEADER_SIZE
        : apdu.body == BODY_KEY              ? APDU_HEADER_SIZE + 1
                                             : APDU_HEADER_SIZE + fields.length;
    if (length > capacity)
        return 0;

    dest[0] = STORAGE_CLA;
    dest[1] = apdu.ins;
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
