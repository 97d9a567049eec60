// The follow-ups of ISO 7816-4's 61 xx and 6C xx answers.
#include "core/transmit/follow_up.h"

#include <cstring>

#include "core/wire/wire_format.h"

namespace {

constexpr BYTE SW1_BYTES_AVAILABLE = 0x61;
constexpr BYTE SW1_WRONG_LE = 0x6C;

// Where the Le of a short request is, or would go: requestLength for a
// request without one; -1 when the request's form cannot be told.
int64_t LePosition(const BYTE* request, DWORD length)
{
    if (length == APDU_HEADER_SIZE - 1)
        return length;  // CLA INS P1 P2
    if (length == APDU_HEADER_SIZE)
        return length - 1;  // CLA INS P1 P2 Le
    if (length < APDU_HEADER_SIZE || request[4] == 0)
        return -1;  // cut, or extended lengths
    DWORD lc = request[4];
    if (length == APDU_HEADER_SIZE + lc)
        return length;  // data, no Le
    if (length == APDU_HEADER_SIZE + lc + 1)
        return length - 1;  // data and Le
    return -1;
}

}  // namespace

FollowUpKind NextFollowUp(const BYTE* request, DWORD requestLength, const BYTE* response, DWORD responseLength,
                          BYTE* next, DWORD nextCapacity, DWORD* nextLength)
{
    *nextLength = 0;
    if (responseLength < 2 || requestLength < 1)
        return FOLLOW_UP_NONE;
    BYTE sw1 = response[responseLength - 2], sw2 = response[responseLength - 1];
    if (sw1 == SW1_BYTES_AVAILABLE) {
        if (nextCapacity < APDU_HEADER_SIZE)
            return FOLLOW_UP_NONE;
        const BYTE getResponse[APDU_HEADER_SIZE] = {request[0], INS_GET_RESPONSE, 0x00, 0x00, sw2};
        memcpy(next, getResponse, sizeof getResponse);
        *nextLength = APDU_HEADER_SIZE;
        return FOLLOW_UP_GET_RESPONSE;
    }
    if (sw1 != SW1_WRONG_LE)
        return FOLLOW_UP_NONE;
    int64_t le = LePosition(request, requestLength);
    if (le < 0 || uint64_t(le) + 1 > nextCapacity)
        return FOLLOW_UP_NONE;
    memcpy(next, request, size_t(le));
    next[le] = sw2;
    *nextLength = DWORD(le + 1);
    return FOLLOW_UP_LE_CORRECTION;
}

const char* FollowUpText(FollowUpKind kind)
{
    return kind == FOLLOW_UP_GET_RESPONSE ? "GET RESPONSE" : kind == FOLLOW_UP_LE_CORRECTION ? "Le correction" : "";
}

const char* FollowUpName(FollowUpKind kind)
{
    return kind == FOLLOW_UP_GET_RESPONSE ? "get_response" : kind == FOLLOW_UP_LE_CORRECTION ? "le_correction" : "";
}
