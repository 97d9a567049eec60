// Control codes: a code as typed (a number, or pcsc-lite's SCARD_CTL_CODE(n)),
// its text, and one SCardControl exchange of any bytes, timed.
#pragma once

#include <cstddef>
#include <cstdint>

#include <reader.h>
#include <winscard.h>

#include "core/clock/timing.h"

// pcscd carries a control code in 32 bits, whatever the width of DWORD.
constexpr uint64_t CONTROL_CODE_MAX = UINT32_MAX;
// The code of SCARD_CTL_CODE(0): pcsc-lite adds the function number to it.
constexpr uint64_t CONTROL_CODE_BASE = SCARD_CTL_CODE(0);
// The largest n of SCARD_CTL_CODE(n) whose code fits.
constexpr uint64_t CONTROL_FUNCTION_MAX = CONTROL_CODE_MAX - CONTROL_CODE_BASE;

enum ControlCodeFailure {
    CONTROL_CODE_OK,
    CONTROL_CODE_NOT_A_CODE,        // neither a number nor SCARD_CTL_CODE(n)
    CONTROL_CODE_OUT_OF_RANGE,      // a number beyond 32 bits
    CONTROL_FUNCTION_OUT_OF_RANGE,  // SCARD_CTL_CODE(n) with a code beyond 32 bits
};

// A code as typed: decimal or 0x hex digits, or SCARD_CTL_CODE(n) with n
// decimal or 0x hex; blanks around the code and around n allowed. *code is
// set only for CONTROL_CODE_OK.
ControlCodeFailure ParseControlCode(const char* text, DWORD* code);
// Why a code was refused, for a message after the text typed.
const char* ControlCodeFailureText(ControlCodeFailure failure);

// Room for "0x42330012 SCARD_CTL_CODE(0x330012)".
constexpr size_t CONTROL_CODE_TEXT_SIZE = 40;
// The code in hex and, from the base on, as SCARD_CTL_CODE(n): n decimal
// below 0x10000 (as pcsc-lite names its codes, 3400), else hex.
void FormatControlCode(char (&text)[CONTROL_CODE_TEXT_SIZE], DWORD code);

// One SCardControl exchange: its status, the reply's length and its span.
struct ControlOutcome {
    LONG status;
    DWORD returned;  // 0 unless the exchange succeeded
    Span span;
};

// Sends `length` bytes (none allowed) to `code` with room for `capacity`
// reply bytes.
ControlOutcome SendControl(SCARDHANDLE card, DWORD code, const BYTE* request, DWORD length, BYTE* reply,
                           DWORD capacity);
