// The replay of an APDU script: loop counters and jumps.
#include "core/compose/script_runner.h"

ScriptRunEnd RunApduScript(const ApduScript& script, ScriptCalls calls)
{
    // Each loop under way: its step and the runs it has still to make.
    struct OpenLoop {
        int32_t step;
        int32_t remaining;
    } open[SCRIPT_LOOP_DEPTH_MAX];
    int depth = 0;
    if (script.stepCount < 0 || script.stepCount > SCRIPT_STEPS_MAX || script.byteCount > SCRIPT_BYTES_MAX)
        return SCRIPT_RUN_MALFORMED;
    for (int32_t i = 0; i < script.stepCount; ++i) {
        const ScriptStep& step = script.steps[i];
        switch (step.kind) {
        case STEP_APDU:
            if (step.offset > script.byteCount || step.length > script.byteCount - step.offset)
                return SCRIPT_RUN_MALFORMED;
            if (!calls.perform(calls.context, step, script.bytes + step.offset))
                return SCRIPT_RUN_STOPPED;
            break;
        case STEP_RESET:
        case STEP_COLD_RESET:
        case STEP_BEGIN_TRANSACTION:
        case STEP_END_TRANSACTION:
            if (!calls.perform(calls.context, step, nullptr))
                return SCRIPT_RUN_STOPPED;
            break;
        case STEP_LOOP:
            if (depth >= SCRIPT_LOOP_DEPTH_MAX || step.count < 1)
                return SCRIPT_RUN_MALFORMED;
            open[depth++] = OpenLoop {i, step.count};
            break;
        case STEP_END:
            if (depth == 0 || open[depth - 1].step != step.jump)
                return SCRIPT_RUN_MALFORMED;
            // Back to the step after the loop, or on past its end.
            if (--open[depth - 1].remaining > 0)
                i = step.jump;
            else
                --depth;
            break;
        }
    }
    return depth == 0 ? SCRIPT_RUN_DONE : SCRIPT_RUN_MALFORMED;
}
