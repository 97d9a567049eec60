#include "settings.h"

#include <cctype>
#include <cstring>

namespace {

constexpr int MAX_FAIL_EVERY = 1000000;
constexpr int MAX_DELAY_MICROS = 5000000;
constexpr int MAX_BYTE_DELAY_MICROS = 1000;
constexpr int MAX_TAP_COUNT = 10000;
constexpr int MAX_TAP_MS = 600000;
constexpr int MAX_LOSE_CARD_AT = 1000000;

int HexDigit(char c)
{
    const char* digits = "0123456789abcdef";
    const char* found = c != '\0' ? strchr(digits, tolower(static_cast<unsigned char>(c))) : nullptr;
    return found ? int(found - digits) : -1;
}

bool ParseUid(const char* value, int length, uint8_t* uid)
{
    if (length != 2 * UID_SIZE)
        return false;
    for (int i = 0; i < length; ++i)
        if (HexDigit(value[i]) < 0)
            return false;
    for (int i = 0; i < UID_SIZE; ++i)
        uid[i] = uint8_t(HexDigit(value[2 * i]) << 4 | HexDigit(value[2 * i + 1]));
    return true;
}

bool ParseNumber(const char* value, int length, int max, int* number)
{
    if (length == 0)
        return false;
    long n = 0;
    for (int i = 0; i < length; ++i) {
        if (value[i] < '0' || value[i] > '9')
            return false;
        n = n * 10 + (value[i] - '0');
        if (n > max)
            return false;
    }
    *number = int(n);
    return true;
}

bool Is(const char* text, int length, const char* word)
{
    return int(strlen(word)) == length && memcmp(text, word, length) == 0;
}

bool ApplyPair(const char* key, int keyLength, const char* value, int valueLength, SimSettings* settings)
{
    int number = 0;
    if (Is(key, keyLength, "card")) {
        if (!Is(value, valueLength, "none") && !Is(value, valueLength, "storage1k"))
            return false;
        settings->cardPresent = Is(value, valueLength, "storage1k");
        return true;
    }
    if (Is(key, keyLength, "uid"))
        return ParseUid(value, valueLength, settings->uid);
    if (Is(key, keyLength, "fail_every")) {
        if (!ParseNumber(value, valueLength, MAX_FAIL_EVERY, &number))
            return false;
        settings->failEvery = number;
        return true;
    }
    if (Is(key, keyLength, "byte_delay_us")) {
        if (!ParseNumber(value, valueLength, MAX_BYTE_DELAY_MICROS, &number))
            return false;
        settings->byteDelayMicros = number;
        return true;
    }
    if (Is(key, keyLength, "delay_us")) {
        if (!ParseNumber(value, valueLength, MAX_DELAY_MICROS, &number))
            return false;
        settings->delayMicros = number;
        return true;
    }
    struct Count {
        const char* key;
        int SimSettings::*field;
        int min, max;
    } counts[] = {{"tap_count", &SimSettings::tapCount, 0, MAX_TAP_COUNT},
                  {"tap_in_ms", &SimSettings::tapInMs, 1, MAX_TAP_MS},
                  {"tap_out_ms", &SimSettings::tapOutMs, 1, MAX_TAP_MS},
                  {"lose_card_at", &SimSettings::loseCardAt, 0, MAX_LOSE_CARD_AT}};
    for (const Count& c : counts)
        if (Is(key, keyLength, c.key)) {
            if (!ParseNumber(value, valueLength, c.max, &number) || number < c.min)
                return false;
            settings->*c.field = number;
            return true;
        }
    struct Switch {
        const char* key;
        bool SimSettings::*field;
    } switches[] = {{"fail_control", &SimSettings::failControl},
                    {"refuse_atr", &SimSettings::refuseAtr},
                    {"refuse_attributes", &SimSettings::refuseAttributes},
                    {"unplugged", &SimSettings::unplugged},
                    {"atr_after_cold_reset", &SimSettings::atrAfterColdReset}};
    for (const Switch& s : switches)
        if (Is(key, keyLength, s.key)) {
            if (!ParseNumber(value, valueLength, 1, &number))
                return false;
            settings->*s.field = number == 1;
            return true;
        }
    if (Is(key, keyLength, "feature_list")) {
        const struct {
            const char* word;
            FeatureListFault fault;
        } faults[] = {{"whole", FEATURES_WHOLE}, {"cut", FEATURES_CUT}, {"bad_length", FEATURES_BAD_LENGTH}};
        for (const auto& fault : faults)
            if (Is(value, valueLength, fault.word)) {
                settings->featureList = fault.fault;
                return true;
            }
        return false;
    }
    if (Is(key, keyLength, "ctl")) {
        if (valueLength == 0 || valueLength >= MAX_PATH_LENGTH)
            return false;
        memcpy(settings->controlPath, value, valueLength);
        settings->controlPath[valueLength] = 0;
        return true;
    }
    return false;
}

}  // namespace

SimSettings DefaultSettings()
{
    SimSettings settings {};
    settings.cardPresent = true;
    settings.tapInMs = 1000;
    settings.tapOutMs = 1000;
    const uint8_t uid[UID_SIZE] = {0x04, 0xA1, 0xB2, 0xC3};
    memcpy(settings.uid, uid, UID_SIZE);
    return settings;
}

bool ApplySettings(const char* text, SimSettings* settings)
{
    bool valid = true;
    while (*text) {
        const int pairLength = int(strcspn(text, ",\r\n"));
        const char* end = text + pairLength;
        const char* equals = static_cast<const char*>(memchr(text, '=', pairLength));
        if (pairLength > 0)
            valid = equals && ApplyPair(text, int(equals - text), equals + 1, int(end - equals - 1), settings) && valid;
        text = *end ? end + 1 : end;
    }
    return valid;
}
