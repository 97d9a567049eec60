// What the two status bytes that end a card's response mean (ISO 7816-4),
// with the readings contactless readers give them for storage cards.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for the longest description either function writes.
constexpr size_t STATUS_WORD_TEXT_SIZE = 160;

// What the status word means, without the word: "File or application not
// found; storage card: addressed block or byte does not exist" (what the
// command line's JSON holds), cut to fit `cap` bytes.
void StatusWordMeaning(uint8_t sw1, uint8_t sw2, char* out, size_t cap);

// The word and its meaning: "6A 82: File or application not found; storage card: addressed block or
// byte does not exist", cut to fit `cap` bytes.
void DescribeStatusWord(uint8_t sw1, uint8_t sw2, char* out, size_t cap);

// The same for the last two bytes of a response of `length` bytes; a response
// too short to hold a status word says so.
void DescribeResponseStatus(const uint8_t* response, size_t length, char* out, size_t cap);
