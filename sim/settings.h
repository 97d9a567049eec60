// What a simulated reader is told to do: which card it holds and which faults it injects.
// The same key=value language serves the reader's DEVICENAME in reader.conf
// ("sim:card=storage1k,uid=04A1B2C3,ctl=/path/reader0.ctl") and its control file (one
// pair per line), see tests/sim_control.h for the keys.
#pragma once

#include "card_model.h"

constexpr int MAX_PATH_LENGTH = 256;

struct SimSettings {
    bool cardPresent;
    uint8_t uid[UID_SIZE];
    int failEvery;          // every nth transmit fails; 0 never
    int delayMicros;        // added to every answer
    int byteDelayMicros;    // added to a transmit's answer for each byte sent and answered
    bool failControl;       // every vendor control request fails
    bool refuseAtr;         // SCARD_ATTR_ATR_STRING is refused
    bool refuseAttributes;  // every SCARD_ATTR_ attribute is refused
    bool unplugged;         // every call answers that the reader is gone
    char controlPath[MAX_PATH_LENGTH];
    // Faults of the PC/SC Part 10 feature requests.
    FeatureListFault featureList;  // feature_list=whole|cut|bad_length

    // Resets: the card's answer to a power-up after a power-down.
    bool atrAfterColdReset;  // every such power-up swaps STORAGE_ATR and COLD_RESET_ATR

    // Taps the driver makes by its own clock: tapCount times the card comes in for
    // tapInMs, then goes out for tapOutMs (tap_count, tap_in_ms, tap_out_ms).
    int tapCount;
    int tapInMs;
    int tapOutMs;
    int loseCardAt;  // the card vanishes during this transmit after the key was set; 0 never
};

// A storage card with UID 04A1B2C3, no faults, no taps (1000 ms in and out once asked for),
// no control file.
SimSettings DefaultSettings();

// Applies the pairs of text, separated by commas or line breaks, onto *settings. Every
// valid pair is applied; returns false when a pair has an unknown key or a bad value.
bool ApplySettings(const char* text, SimSettings* settings);
