// The transmit loop over the `pcsc` call table.
#include "transmit/transmit.h"

#include "pcsc/pcsc_api.h"
#include "pcsc/wire_format.h"

LoopRecord loopRecord;

TransmitOutcome TransmitLoop(SCARDHANDLE card, DWORD protocol, const BYTE* request, DWORD requestLength, int32_t runs,
                             bool breakOnError, BYTE* response, DWORD responseSize, LoopProgress progress)
{
    const SCARD_IO_REQUEST* sendPci = SendPci(protocol);
    TransmitOutcome outcome {SCARD_S_SUCCESS, 0, {}, 0};
    outcome.span.start = QueryPerformanceCounter();
    for (int32_t run = 1; run <= runs; ++run) {
        DWORD length = responseSize;
        outcome.status = pcsc.Transmit(card, sendPci, request, requestLength, nullptr, response, &length);
        outcome.runsMade = run;
        outcome.responseLength = length;
        if (breakOnError && outcome.status != SCARD_S_SUCCESS)
            break;
        if (progress.show != nullptr) {
            int32_t percent = int32_t(int64_t(run) * 100 / runs);
            if (percent % 5 == 0)
                progress.show(progress.context, percent);
        }
    }
    outcome.span.end = QueryPerformanceCounter();
    return outcome;
}
