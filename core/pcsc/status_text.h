// PC/SC status codes as people read them: the constant's name from
// pcsclite.h and pcsc-lite's own text.
#pragma once

#include <cstddef>

#include <winscard.h>

// Room for the longest description DescribeStatus writes.
constexpr size_t STATUS_TEXT_SIZE = 128;

// The name of the constant pcsclite.h gives the low 32 bits of `status`
// ("SCARD_E_NO_SMARTCARD"), the first where two share the value; nullptr
// when none does.
const char* StatusName(LONG status);
// The second name of a value two constants share (SCARD_E_UNEXPECTED for
// 0x8010001F); nullptr for every other.
const char* StatusAlias(LONG status);

// pcsc-lite's text for `status` ("No smart card inserted."), copied into `out`
// of `cap` bytes, cut to fit.
void StatusText(LONG status, char* out, size_t cap);

// The form the window shows: "0x8010000C SCARD_E_NO_SMARTCARD: No smart card
// inserted.", without the name when none is known, cut to fit `cap` bytes.
void DescribeStatus(LONG status, char* out, size_t cap);
