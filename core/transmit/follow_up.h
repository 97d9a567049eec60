// GET RESPONSE and the Le correction: the follow-up a card's answer asks
// for (ISO 7816-4: 61 xx, bytes still available; 6C xx, Le should be xx),
// built from the request and the answer; and the bound on a chain of them.
#pragma once

#include <cstdint>

#include <winscard.h>

// The most follow-ups one request makes, so that a card answering 61 xx
// or 6C xx for ever cannot hold the tool.
constexpr int32_t FOLLOW_UP_MAX = 16;

enum FollowUpKind : int32_t {
    FOLLOW_UP_NONE = 0,
    FOLLOW_UP_GET_RESPONSE = 1,   // after 61 xx: CLA C0 00 00 xx, the request's class
    FOLLOW_UP_LE_CORRECTION = 2,  // after 6C xx: the request again with Le xx
};

// What the answer of `response` (responseLength bytes, its last two the
// status word) to `request` asks for; the follow-up goes into `next`
// (nextCapacity bytes), *nextLength its length. NONE for any other answer,
// and for a 6C xx to a request whose Le cannot be told (extended lengths,
// an Lc that does not match the length) or that does not fit in `next`.
FollowUpKind NextFollowUp(const BYTE* request, DWORD requestLength, const BYTE* response, DWORD responseLength,
                          BYTE* next, DWORD nextCapacity, DWORD* nextLength);

// "GET RESPONSE" or "Le correction"; "" for NONE.
const char* FollowUpText(FollowUpKind kind);
// "get_response" or "le_correction", as the command line's JSON names it; "" for NONE.
const char* FollowUpName(FollowUpKind kind);
