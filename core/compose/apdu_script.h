// APDU scripts: a text file of commands for the card, read whole and checked
// before anything is sent, so a bad line never leaves a card half-scripted.
//
// One command a line, keywords in either case, blank lines skipped:
//   00 A4 04 00 07 A0 00 00 00 03 10 10   an APDU in hex, blanks between bytes optional;
//                                         a line ending in \ goes on on the next line
//   # ...                                 a comment, also after a command
//   reset                                 reconnect with a reset of the card
//   loop N ... end                        the lines between, N times (nested up to 8 deep)
//   expect SW                             the APDU just before must end with SW ("90 00")
//   exit                                  ends the script here
// A plain scriptor file (hex APDUs, reset, # comments, exit) reads the same.
#pragma once

#include <cstdint>

enum ScriptStepKind : int32_t {
    STEP_APDU,
    STEP_RESET,
    STEP_LOOP,  // the steps up to its end run `count` times
    STEP_END,   // `jump` is the index of its loop
};

struct ScriptStep {
    ScriptStepKind kind;
    int32_t line;     // 1-based line of the file where the step starts
    uint32_t offset;  // APDU: its first byte in ApduScript::bytes
    uint32_t length;  // APDU: its byte count
    bool expect;      // APDU: an expect line follows it, with `sw`
    uint16_t sw;
    int32_t count;
    int32_t jump;
};

constexpr int SCRIPT_STEPS_MAX = 4096;
constexpr uint32_t SCRIPT_BYTES_MAX = 65536;
// The longest line, and the longest APDU once its continued lines are joined.
constexpr int SCRIPT_LINE_SIZE = 8192;
constexpr int SCRIPT_LOOP_DEPTH_MAX = 8;
constexpr int32_t SCRIPT_LOOP_COUNT_MAX = 1000000;
constexpr int SCRIPT_REASON_SIZE = 160;

struct ApduScript {
    ScriptStep steps[SCRIPT_STEPS_MAX];
    int32_t stepCount;
    uint8_t bytes[SCRIPT_BYTES_MAX];
    uint32_t byteCount;
};

// Why a script was refused: the line (0 when the file could not be read at
// all) and what is wrong with it.
struct ScriptFailure {
    int32_t line;
    char reason[SCRIPT_REASON_SIZE];
};

// Reads the script at `path` into `script`; false with `failure` filled when
// the file cannot be read or a line is not a command.
bool LoadApduScript(const char* path, ApduScript* script, ScriptFailure* failure);
