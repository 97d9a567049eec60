// The simulated card's answer to reset, defined once for the simulated reader
// and for the tests that expect it back.
#pragma once

#include <cstdint>

constexpr int ATR_SIZE = 20;
// A PC/SC storage-card ATR of a 1K card.
inline constexpr uint8_t STORAGE_ATR[ATR_SIZE] = {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
                                                  0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x6A};
// As the program writes an ATR: capitals, one blank between bytes.
inline constexpr char STORAGE_ATR_TEXT[] = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A";

// The ATR the card answers with every other power-up after a power-down when
// the reader is told `atr_after_cold_reset=1`: the last historical byte
// counts 1 and TCK follows. A warm reset keeps the ATR the card has.
inline constexpr uint8_t COLD_RESET_ATR[ATR_SIZE] = {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
                                                     0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x6B};
inline constexpr char COLD_RESET_ATR_TEXT[] = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 01 6B";
