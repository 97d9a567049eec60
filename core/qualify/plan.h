// Qualification plans: a text file of suites, each with its parameters and
// the limits its measurements must meet, read whole and checked before
// anything is sent.
//
// One statement a line, `#` starts a comment, blank lines skipped, lines end
// in LF or CR LF; keywords, suite kinds and parameter names are lower case:
//   suite stability apdu=HEX [runs=N] [expect=SW] [id=ID]
//       the APDU sent runs times (1..5000, default 1000), as `send --loop`
//   suite sweep lc|le [header=HEX] [from=N] [to=N] [step=N] [runs=N] [expect=SW] [extended=yes|no] [id=ID]
//       lc: the header (4 bytes, default 00D60000) with Lc and that many
//       data bytes (00 01 02 ...); le: the header (default 00B00000) with
//       Le. Lengths from..to (default 1..255) by step (default 1), runs
//       times each (1..100, default 10). With extended=yes every APDU takes
//       the extended form (00 and two length bytes) and lengths go up to
//       65535; without, to 255 at most.
//   suite power [cycles=N] [mode=cold|reconnect] [id=ID]
//       N power cycles (1..1000, default 10): cold, SCardReconnect with
//       SCARD_UNPOWER_CARD; reconnect, SCardDisconnect with
//       SCARD_UNPOWER_CARD and a new SCardConnect. The ATR is read after
//       each cycle.
//   suite tap [taps=N] [apdu=HEX] [expect=SW] [timeout_ms=T] [id=ID]
//       the operator taps the card N times (1..1000, default 5), each asked for
//       through the target's prompt ("Tap the card (2 of 5)."), after taking
//       off a card that is on the reader at the start. Per tap: the arrival as
//       SCardGetStatusChange reports it, SCardConnect, the APDU (default
//       00CA000000, which the sim and vicc both answer), the removal. Each
//       arrival and each removal is waited for T ms at most (100..3600000,
//       default 30000); past it the suite ends, inconclusive. It ends with
//       the card off the reader and no card connected.
//       missed_taps: the taps pcscd's event counter (the upper 16 bits of
//       dwEventState) shows that the suite never saw (a card that came and
//       went while it was connecting or exchanging: two changes counted
//       beyond those seen make one tap), plus, when a wait for an arrival ran
//       out, the taps still to come: a tap shorter than pcscd's poll (about
//       0.4 s) is never reported at all. Missed taps count towards N.
//       arrival_spread_ms: the longest minus the shortest interval between
//       two successive arrivals seen (3 taps at least): for taps at a steady
//       pace, how much pcscd's poll moves the arrivals.
//   suite removal [apdu=HEX] [runs=N] [expect=SW] [timeout_ms=T] [id=ID]
//       the APDU (default 00CA000000) sent up to N times (1..5000, default
//       1000) while the operator pulls the card (prompted); the loop ends at
//       the first exchange that fails, or after N runs or T ms (default
//       30000) without one: the card was not pulled, inconclusive. Then, once
//       pcscd reports the reader empty, the next call (the APDU on the same
//       handle) must answer SCARD_E_NO_SMARTCARD or SCARD_W_REMOVED_CARD, and
//       the card put back (prompted, within T ms) must connect and answer the
//       APDU. Either failing fails the suite whatever its limits; no card back
//       within T ms is inconclusive. It ends with the card back connected.
//   limit QUANTITY OP NUMBER
//       a limit on a quantity the suite above measures (verdict.h names
//       them); OP is <, <=, >, >= or =; NUMBER is decimal (1e3 allowed).
// expect=SW is two hex bytes (9000); without it any status word passes. An
// ID is 1 to 32 letters, digits, '.', '_' or '-', unique in the plan; the
// default is the kind and the suite's place ("sweep-2").
#pragma once

#include <cstdint>

#include "core/qualify/verdict.h"

constexpr int32_t PLAN_SUITES_MAX = 64;
constexpr int32_t PLAN_LIMITS_MAX = 16;  // a suite's
constexpr uint32_t PLAN_APDU_MAX = 512;  // a stability suite's APDU
constexpr uint32_t PLAN_HEADER_SIZE = 4;
constexpr uint32_t PLAN_LINE_MAX = 4096;
constexpr uint32_t PLAN_FILE_MAX = 1 << 20;
constexpr int32_t PLAN_ID_MAX = 32;
constexpr int32_t STABILITY_RUNS_DEFAULT = 1000;
constexpr int32_t SWEEP_RUNS_MAX = 100;
constexpr int32_t SWEEP_SHORT_MAX = 255;
constexpr int32_t SWEEP_EXTENDED_MAX = 65535;
// The most lengths one sweep measures, and exchanges one sweep makes.
constexpr int32_t SWEEP_POINTS_MAX = 4096;
constexpr int32_t SWEEP_EXCHANGES_MAX = 65536;
constexpr int32_t POWER_CYCLES_MAX = 1000;
constexpr int32_t TAPS_MAX = 1000;
constexpr int32_t TAPS_DEFAULT = 5;
constexpr int32_t TIMEOUT_MS_MIN = 100;
constexpr int32_t TIMEOUT_MS_MAX = 3600000;
constexpr int32_t TIMEOUT_MS_DEFAULT = 30000;
// The most exchanges and cycles of a whole plan: what the samples file holds.
constexpr int32_t PLAN_SAMPLES_MAX = 1 << 18;
constexpr int PLAN_REASON_SIZE = 320;

enum SweepDirection : int32_t {
    SWEEP_LC,  // data sent
    SWEEP_LE,  // answer asked for
};

enum PowerMode : int32_t {
    POWER_COLD,       // SCardReconnect with SCARD_UNPOWER_CARD
    POWER_RECONNECT,  // SCardDisconnect with SCARD_UNPOWER_CARD, then SCardConnect
};

struct PlanSuite {
    SuiteKind kind;
    int32_t line;
    char id[PLAN_ID_MAX + 1];
    uint8_t apdu[PLAN_APDU_MAX];  // stability, tap, removal: the APDU; sweep: the header
    uint32_t apduLength;
    int32_t runs;         // stability, removal: runs; sweep: runs per length
    uint16_t expectedSw;  // NO_EXPECTED_SW (0) for no check
    SweepDirection direction;
    int32_t from, to, step;
    bool extended;
    int32_t cycles;
    PowerMode mode;
    int32_t taps;
    int32_t timeoutMs;  // tap, removal: the longest wait for the operator's hand
    PlanLimit limits[PLAN_LIMITS_MAX];
    int32_t limitCount;
};

struct QualifyPlan {
    PlanSuite suites[PLAN_SUITES_MAX];
    int32_t suiteCount;
};

// Why a plan was refused: the line (0 when the file could not be read at
// all) and what is wrong with it.
struct PlanFailure {
    int32_t line;
    char reason[PLAN_REASON_SIZE];
};

// The exchanges (cycles, for power; taps, for tap) the suite makes when it
// runs to its end: the samples it writes at most (removal: runs + 2, with
// the call after the removal and the APDU of the card put back).
int32_t SuiteExchanges(const PlanSuite& suite);
// The lengths a sweep measures.
int32_t SweepLengths(const PlanSuite& suite);

// Reads the plan held in `text` (`length` bytes, NUL bytes refused);
// false with `failure` filled for the first line that is not a statement,
// names what its suite does not take, or breaks a limit above, and for a
// plan without a suite.
bool ParsePlan(const char* text, uint32_t length, QualifyPlan* plan, PlanFailure* failure);
// Reads the plan at `path` (a regular file; a FIFO or device is refused
// without waiting on it), or with `fd` >= 0 from that descriptor to its end
// (standard input, the user's choice), then parses it.
bool LoadPlan(const char* path, int fd, QualifyPlan* plan, PlanFailure* failure);
