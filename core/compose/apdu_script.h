// APDU scripts: a text file of commands for the card, read whole and checked
// before anything is sent, so a bad line never leaves a card half-scripted.
// compose/script_runner.h replays what this reads.
//
// One command a line, keywords in either case, blank lines skipped:
//   00 A4 04 00 07 A0 00 00 00 03 10 10   an APDU in hex, blanks between bytes optional;
//                                         a line ending in \ goes on on the next line
//                                         that is not blank or a comment
//   # ...                                 a comment, also after a command
//   reset                                 reconnect with a warm reset of the card
//   reset warm, reset cold                a warm reset, or power off and on again
//   begin transaction, end transaction    SCardBeginTransaction, SCardEndTransaction
//   loop N ... end                        the lines between, N times (nested up to 8 deep)
//   expect SW                             the APDU just before must end with SW ("90 00")
//   exit                                  ends the script here; the lines after it are not read
// Lines end in LF or CR LF; a UTF-8 byte order mark at the start is skipped.
// A file of scriptor's syntax (hex APDUs, reset, exit, # comments, continued
// lines) reads as scriptor reads it, except that scriptor also stops at a line
// that holds "exit" anywhere and resets at one that holds "reset" anywhere.
// `end` alone ends a loop; the transaction pair is not checked here: the
// reader's answer to an end without a begin is the tester's to see.
#pragma once

#include <cstdint>

enum ScriptStepKind : int32_t {
    STEP_APDU,
    STEP_RESET,
    STEP_LOOP,  // the steps up to its end run `count` times
    STEP_END,
    STEP_COLD_RESET,  // reconnect with the card powered off and on again
    STEP_BEGIN_TRANSACTION,
    STEP_END_TRANSACTION,
};

struct ScriptStep {
    ScriptStepKind kind;
    int32_t line;     // 1-based line of the file where the step starts
    uint32_t offset;  // APDU: its first byte in ApduScript::bytes
    uint32_t length;  // APDU: its byte count
    bool expect;      // APDU: an expect line follows it, with `sw`
    uint16_t sw;
    int32_t count;  // LOOP: 1 to SCRIPT_LOOP_COUNT_MAX
    int32_t jump;   // LOOP: the index of its end; END: the index of its loop
};

// What a script holds at most: commands (each APDU, reset, loop and end is
// one; expect and exit are none), the bytes of all its APDUs together, the
// characters of a line (its line end not counted), loops inside loops.
constexpr int32_t SCRIPT_STEPS_MAX = 4096;
constexpr uint32_t SCRIPT_BYTES_MAX = 65536;
constexpr uint32_t SCRIPT_LINE_MAX = 8192;
constexpr int SCRIPT_LOOP_DEPTH_MAX = 8;
constexpr int32_t SCRIPT_LOOP_COUNT_MAX = 1000000;
// A refused line is quoted up to this many characters, each byte outside
// printable ASCII as \xHH (four characters).
constexpr int SCRIPT_QUOTE_MAX = 60;
constexpr int SCRIPT_REASON_SIZE = 4 * SCRIPT_QUOTE_MAX + 80;

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
// the file cannot be read, is not a regular file (a FIFO, a device or a
// folder, refused without waiting on it), holds a NUL byte, or has a line
// that is not a command or breaks a limit above.
bool LoadApduScript(const char* path, ApduScript* script, ScriptFailure* failure);
// The same checks for the script read from `fd` up to its end (or its exit
// line), whatever kind of file it is: for standard input, which the user
// chose to give. The fd stays open.
bool ReadApduScript(int fd, ApduScript* script, ScriptFailure* failure);
