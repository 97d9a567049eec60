// raw_transmit [--reader NAME] [--calls N] [--reps R]
// Times bare SCardTransmit calls of GetUID (00 CA 00 00 00) on a reader, connected the way
// the tester connects (exclusive, T=0 or T=1, RAW only for a card that speaks neither). The reader defaults to
// $QTU_SIM_READER0 (the simulated reader of scripts/with-sim-pcscd), else the first one listed. Prints one line per
// repetition, then key=value lines: raw_min_us, raw_median_us, raw_max_us (microseconds per call, over the
// repetitions).
#include "raw_transmit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* ProtocolName(DWORD protocol)
{
    return protocol == SCARD_PROTOCOL_T0 ? "T0" : protocol == SCARD_PROTOCOL_T1 ? "T1" : "RAW";
}

int Fail(const char* what, LONG status)
{
    fprintf(stderr, "raw_transmit: %s failed: 0x%08lX (%s)\n", what, static_cast<unsigned long>(status),
            pcsc_stringify_error(status));
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string reader = getenv("QTU_SIM_READER0") ? getenv("QTU_SIM_READER0") : "";
    int calls = 2000, reps = 7;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--reader"))
            reader = argv[i + 1];
        else if (!strcmp(argv[i], "--calls"))
            calls = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--reps"))
            reps = atoi(argv[i + 1]);
    }
    if (argc % 2 == 0 || calls < 1 || reps < 1 || reps > 256) {
        fprintf(stderr, "usage: %s [--reader NAME] [--calls N] [--reps 1..256]\n", argv[0]);
        return 2;
    }

    SCARDCONTEXT context = 0;
    LONG status = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
    if (status != SCARD_S_SUCCESS)
        return Fail("SCardEstablishContext", status);
    if (reader.empty()) {
        char names[4096];
        DWORD length = sizeof names;
        status = SCardListReaders(context, nullptr, names, &length);
        if (status != SCARD_S_SUCCESS)
            return Fail("SCardListReaders", status);
        reader = names;
    }
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    status = SCardConnect(context, reader.c_str(), SCARD_SHARE_EXCLUSIVE, OFFERED_PROTOCOLS, &card, &protocol);
    if (status == SCARD_E_PROTO_MISMATCH)
        status = SCardConnect(context, reader.c_str(), SCARD_SHARE_EXCLUSIVE, FALLBACK_PROTOCOL, &card, &protocol);
    if (status != SCARD_S_SUCCESS)
        return Fail("SCardConnect", status);

    double perCall[256];
    RawSpread spread {};
    if (!RawTransmitRuns(card, protocol, calls, reps, perCall, &spread)) {
        fprintf(stderr, "raw_transmit: a GetUID transmit failed\n");
        return 1;
    }
    printf("raw_transmit: reader \"%s\", protocol %s, %d repetitions of %d GetUID transmits\n", reader.c_str(),
           ProtocolName(protocol), reps, calls);
    for (int r = 0; r < reps; ++r)
        printf("repetition %d: %.2f us/call\n", r + 1, perCall[r]);
    printf("raw_min_us=%.2f\nraw_median_us=%.2f\nraw_max_us=%.2f\n", spread.minUs, spread.medianUs, spread.maxUs);
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    SCardReleaseContext(context);
    return 0;
}
