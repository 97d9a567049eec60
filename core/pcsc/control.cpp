// Control codes as typed and shown, and the timed SCardControl exchange.
#include "core/pcsc/control.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/pcsc/pcsc_api.h"

namespace {

constexpr char CTL_CODE_PREFIX[] = "SCARD_CTL_CODE(";
constexpr DWORD DECIMAL_FUNCTION_LIMIT = 0x10000;

const char* SkipBlanks(const char* text)
{
    while (isspace(static_cast<unsigned char>(*text)))
        ++text;
    return text;
}

int DigitValue(char c, int base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && isxdigit(static_cast<unsigned char>(c)))
        return tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    return -1;
}

// Decimal or 0x hex digits at *text; *text moves past them. The value
// stops growing beyond CONTROL_CODE_MAX (it is out of range either way).
bool ReadNumber(const char** text, uint64_t* value)
{
    const char* at = *text;
    int base = 10;
    if (at[0] == '0' && (at[1] == 'x' || at[1] == 'X')) {
        base = 16;
        at += 2;
    }
    const char* digits = at;
    uint64_t number = 0;
    for (int digit; (digit = DigitValue(*at, base)) >= 0; ++at)
        if (number <= CONTROL_CODE_MAX)
            number = number * uint64_t(base) + uint64_t(digit);
    if (at == digits)
        return false;
    *text = at;
    *value = number;
    return true;
}

}  // namespace

ControlCodeFailure ParseControlCode(const char* text, DWORD* code)
{
    const char* at = SkipBlanks(text);
    bool function = strncmp(at, CTL_CODE_PREFIX, sizeof CTL_CODE_PREFIX - 1) == 0;
    if (function)
        at = SkipBlanks(at + sizeof CTL_CODE_PREFIX - 1);
    uint64_t value;
    if (!ReadNumber(&at, &value))
        return CONTROL_CODE_NOT_A_CODE;
    if (function) {
        at = SkipBlanks(at);
        if (*at++ != ')')
            return CONTROL_CODE_NOT_A_CODE;
    }
    if (*SkipBlanks(at) != '\0')
        return CONTROL_CODE_NOT_A_CODE;
    if (function && value > CONTROL_FUNCTION_MAX)
        return CONTROL_FUNCTION_OUT_OF_RANGE;
    if (value > CONTROL_CODE_MAX)
        return CONTROL_CODE_OUT_OF_RANGE;
    *code = DWORD(function ? CONTROL_CODE_BASE + value : value);
    return CONTROL_CODE_OK;
}

const char* ControlCodeFailureText(ControlCodeFailure failure)
{
    switch (failure) {
    case CONTROL_CODE_OK:
        return "a control code";
    case CONTROL_CODE_NOT_A_CODE:
        return "not a control code (a number, decimal or 0x hex, or SCARD_CTL_CODE(n))";
    case CONTROL_CODE_OUT_OF_RANGE:
        return "a control code beyond 0xFFFFFFFF";
    case CONTROL_FUNCTION_OUT_OF_RANGE:
        return "SCARD_CTL_CODE(n) beyond 0xFFFFFFFF (n at most 3187671039)";
    }
    return "";
}

void FormatControlCode(char (&text)[CONTROL_CODE_TEXT_SIZE], DWORD code)
{
    uint32_t value = uint32_t(code);
    if (value < CONTROL_CODE_BASE) {
        snprintf(text, sizeof text, "0x%08X", unsigned(value));
        return;
    }
    uint32_t function = uint32_t(value - CONTROL_CODE_BASE);
    snprintf(text, sizeof text,
             function < DECIMAL_FUNCTION_LIMIT ? "0x%08X SCARD_CTL_CODE(%u)" : "0x%08X SCARD_CTL_CODE(0x%X)",
             unsigned(value), unsigned(function));
}

ControlOutcome SendControl(SCARDHANDLE card, DWORD code, const BYTE* request, DWORD length, BYTE* reply, DWORD capacity)
{
    ControlOutcome outcome {};
    DWORD returned = 0;
    outcome.status =
        TimedCall(&outcome.span, [&] { return pcsc.Control(card, code, request, length, reply, capacity, &returned); });
    // Only what the buffer holds is read, whatever count comes back.
    if (outcome.status == SCARD_S_SUCCESS)
        outcome.returned = returned < capacity ? returned : capacity;
    return outcome;
}
