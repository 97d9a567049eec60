// Fuzzes the reading of a known-ATR list: any text, looked up for a few
// ATRs, must give names that fit the buffer and end in '\0', and no names
// when nothing matched.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/pcsc/atr.h"

namespace {

const uint8_t SIM[] = {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
                       0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x6A};
const uint8_t VICC[] = {0x3B, 0x95, 0x13, 0x81, 0x01, 0x80, 0x73, 0xFF, 0x01, 0x00, 0x0B};
const uint8_t SHORT[] = {0x3B, 0x00};
const size_t CAPS[] = {1, 40, CARD_NAME_TEXT_SIZE};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The list straight from libFuzzer's buffer, which ends where the input
    // does; the names into one of exactly `cap` bytes.
    const char* list = reinterpret_cast<const char*>(data);
    const struct {
        const uint8_t* atr;
        size_t length;
    } atrs[] = {{SIM, sizeof SIM}, {VICC, sizeof VICC}, {SHORT, sizeof SHORT}};
    for (const auto& atr : atrs) {
        for (size_t cap : CAPS) {
            char* names = static_cast<char*>(malloc(cap));
            const int entries = FindAtrInList(list, size, atr.atr, atr.length, names, cap);
            if (entries < 0 || strnlen(names, cap) == cap || (entries == 0 && names[0] != '\0'))
                abort();
            free(names);
        }
    }
    return 0;
}
