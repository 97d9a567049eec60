// The replay of an APDU script that compose/apdu_script.h has read: the loops
// are counted and their jumps taken here, and each APDU, reset and
// transaction step is handed, in the order the script gives, to the caller,
// who performs it. No output and no PC/SC here, so a test drives it with a
// callback of its own.
#pragma once

#include <cstdint>

#include "core/compose/apdu_script.h"

// Performs one step: an APDU (`apdu` points at its step.length bytes, and
// step.expect and step.sw say what its answer must end with), or a reset or
// a transaction's begin or end (`apdu` is null). Returns false to stop the replay there.
struct ScriptCalls {
    bool (*perform)(void* context, const ScriptStep& step, const uint8_t* apdu);
    void* context;
};

enum ScriptRunEnd : int32_t {
    SCRIPT_RUN_DONE,     // every step performed
    SCRIPT_RUN_STOPPED,  // the callback said stop
    // The script breaks a rule LoadApduScript keeps (an end that is not its
    // loop's, loops deeper than SCRIPT_LOOP_DEPTH_MAX, a loop count below 1,
    // bytes or steps outside the script); the steps before it were performed.
    SCRIPT_RUN_MALFORMED,
};

// Replays `script`, calling calls.perform for each step but loops and ends in turn.
ScriptRunEnd RunApduScript(const ApduScript& script, ScriptCalls calls);
