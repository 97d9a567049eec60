// Scripts the simulated reader that scripts/with-sim-pcscd serves, from inside a test
// (scripts/sim moves its cards the same way from a shell).
//
// Each simulated reader reads its settings from $QTU_SIM_DIR/reader<N>.ctl, lines of
// key=value:
//   card=none|storage1k   whether the slot holds the 1K storage card
//   uid=04A1B2C3          its UID, 8 hex digits
//   fail_every=N          every Nth transmit fails (the client sees a non-zero status); 0 off
//   delay_us=N            every answer (transmit and control) is delayed by N microseconds
//   byte_delay_us=N       a transmit's answer is delayed by N microseconds more for each byte
//                         of the command and of the answer (0 to 1000): a link with a per-byte cost
//   fail_control=1        every vendor control request fails
//   refuse_atr=1          the reader refuses SCARD_ATTR_ATR_STRING (as vpcd does); the card's
//                         ATR still reaches pcscd at power-up, so SCardStatus gives it
//   refuse_attributes=1   the reader refuses every attribute a client reads; pcscd still
//                         answers SCARD_ATTR_DEVICE_FRIENDLY_NAME and _SYSTEM_NAME itself
//   feature_list=cut      the feature list stops two bytes into its last entry; bad_length gives that
//                         entry a length of 2; whole (the default) as CCID answers it
//   unplugged=1           every driver call answers IFD_NO_SUCH_DEVICE, as a reader pulled off
//                         its bus. pcscd 1.9.9 keeps listing the reader; at its next poll it
//                         marks it SCARD_STATE_UNAVAILABLE, and connect, transmit, attribute and
//                         control calls on it fail with SCARD_E_READER_UNAVAILABLE. Set back to
//                         0, the reader's card is seen as newly inserted at the next poll.
//   atr_after_cold_reset=1  every power-up of the unpowered card (a cold reset, a connect
//                         after an unpower) swaps its ATR between STORAGE_ATR and
//                         COLD_RESET_ATR (sim/card_atr.h); a warm reset keeps the ATR it has
//   tap_count=N           the driver taps the card itself, by its own clock: N times (0 to
//   tap_in_ms=A           10000) it comes in for A ms, then goes out for B ms (each 1 to
//   tap_out_ms=B          600000, default 1000). The taps start when the driver reads the
//                         keys (at its next call: pcscd polls about every 400 ms) and end out;
//                         a card that is in goes out first, for B ms. While they run, card=
//                         does not move the card; after them it stays out until the file is
//                         next read with the card in. pcscd sees only what is there when it
//                         polls: a tap that falls between two polls (A and B under about 0.4 s)
//                         is never reported, and a card seen in at two polls but of two taps
//                         is a new card, its removal reported first (taps much faster than the
//                         poll look like a card gone). Setting any of the three anew starts the
//                         taps again.
//   lose_card_at=N        the card vanishes during the Nth transmit after the key was set (1 to
//                         1000000; 0 off): that transmit fails with IFD_ICC_NOT_PRESENT, which
//                         pcscd answers SCARD_E_NO_SMARTCARD, and the slot stays empty until
//                         the file is next read with the card in (card=storage1k). It fires
//                         once; a new value arms it again.
// Keys missing from the file, or a missing file, take the reader's defaults: reader 0 holds
// a storage card with UID 04A1B2C3, reader 1 is empty (a card put in gets UID 04D5E6F7),
// readers 2 and on (--readers) hold one each, no faults. The driver looks at the file on
// every call, so a fault setting applies to the very next call. A card put in is a fresh
// card (factory memory and transport keys) with the UID set at that moment; a card that
// stays in keeps its memory from test to test.
//
// The harness also lets a test kill pcscd and start a new one (SimPcscd below); the new
// pcscd loads the readers anew, with fresh cards, and reads the control files as they are.
//
// pcscd itself notices a removal or an insertion only when it next polls the reader
// (about every 400 ms): SimWaitForCard waits for that, so that the statuses a test
// sees afterwards are pcscd's settled ones.
#pragma once

#include <winscard.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// The name of reader `reader` (0 to N-1 of scripts/with-sim-pcscd --readers N) as
// libpcsclite lists it, "" outside the harness or past its readers.
inline std::string SimReaderName(int reader)
{
    const char* name = getenv(("QTU_SIM_READER" + std::to_string(reader)).c_str());
    return name ? name : "";
}

inline std::string SimControlPath(int reader)
{
    const char* dir = getenv("QTU_SIM_DIR");
    return std::string(dir ? dir : ".") + "/reader" + std::to_string(reader) + ".ctl";
}

// Sets one key of a reader's control file, keeping the others. The file is replaced
// atomically (temporary file + rename), and its modification time always moves forward,
// so the driver sees every change however quickly changes follow each other.
inline bool SimSetKey(int reader, const std::string& key, const std::string& value)
{
    const std::string path = SimControlPath(reader);
    std::string kept;
    if (FILE* in = fopen(path.c_str(), "r")) {
        char line[256];
        while (fgets(line, sizeof line, in))
            if (std::string(line).rfind(key + "=", 0) != 0)
                kept += line;
        fclose(in);
    }
    kept += key + "=" + value + "\n";

    struct stat old { };
    const bool hadOld = stat(path.c_str(), &old) == 0;
    const std::string tmp = path + ".tmp";
    FILE* out = fopen(tmp.c_str(), "w");
    if (!out)
        return false;
    const bool written = fputs(kept.c_str(), out) >= 0;
    fflush(out);
    struct stat now { };
    fstat(fileno(out), &now);
    if (hadOld
        && (now.st_mtim.tv_sec < old.st_mtim.tv_sec
            || (now.st_mtim.tv_sec == old.st_mtim.tv_sec && now.st_mtim.tv_nsec <= old.st_mtim.tv_nsec))) {
        timespec times[2] = {old.st_mtim, old.st_mtim};
        if (++times[1].tv_nsec == 1000000000)
            times[1] = {times[1].tv_sec + 1, 0};
        times[0] = times[1];
        futimens(fileno(out), times);
    }
    fclose(out);
    return written && rename(tmp.c_str(), path.c_str()) == 0;
}

// Puts the storage card into the reader (a fresh one) or takes it out.
inline bool SimSetCard(int reader, bool present)
{
    return SimSetKey(reader, "card", present ? "storage1k" : "none");
}

// The UID of the next card put in ("04A1B2C3"); a card already in keeps its UID.
inline bool SimSetUid(int reader, const std::string& uidHex)
{
    return SimSetKey(reader, "uid", uidHex);
}

// Every nth transmit fails with a communication error; 0 turns it off.
inline bool SimSetFailEvery(int reader, int n)
{
    return SimSetKey(reader, "fail_every", std::to_string(n));
}

// Every answer comes that many microseconds late; 0 turns it off.
inline bool SimSetDelayMicros(int reader, int us)
{
    return SimSetKey(reader, "delay_us", std::to_string(us));
}

// Each transmitted byte (command and answer) costs that many microseconds more; 0 turns it off.
inline bool SimSetByteDelayMicros(int reader, int us)
{
    return SimSetKey(reader, "byte_delay_us", std::to_string(us));
}

// While on, every vendor control request fails.
inline bool SimFailControl(int reader, bool fail)
{
    return SimSetKey(reader, "fail_control", fail ? "1" : "0");
}

// While on, the reader refuses the ATR attribute (refuse_atr) or every attribute.
inline bool SimSetRefuseAtr(int reader, bool refuse)
{
    return SimSetKey(reader, "refuse_atr", refuse ? "1" : "0");
}
inline bool SimSetRefuseAttributes(int reader, bool refuse)
{
    return SimSetKey(reader, "refuse_attributes", refuse ? "1" : "0");
}

// While on, pcscd finds the reader gone (see unplugged above).
inline bool SimSetUnplugged(int reader, bool unplugged)
{
    return SimSetKey(reader, "unplugged", unplugged ? "1" : "0");
}

// While on, each cold power-up swaps the card's ATR (see atr_after_cold_reset above).
inline bool SimSetAtrAfterColdReset(int reader, bool swap)
{
    return SimSetKey(reader, "atr_after_cold_reset", swap ? "1" : "0");
}

// The driver taps the card `count` times, `inMs` in and `outMs` out (see tap_count above).
inline bool SimTap(int reader, int count, int inMs, int outMs)
{
    return SimSetKey(reader, "tap_in_ms", std::to_string(inMs))
        && SimSetKey(reader, "tap_out_ms", std::to_string(outMs))
        && SimSetKey(reader, "tap_count", std::to_string(count));
}

// The card vanishes during the nth transmit from now (see lose_card_at above); 0 turns it off.
inline bool SimLoseCardAt(int reader, int n)
{
    return SimSetKey(reader, "lose_card_at", std::to_string(n));
}

// Back to the reader's defaults (its card, no faults). A card that stays in keeps its memory.
inline bool SimReset(int reader)
{
    const std::string path = SimControlPath(reader);
    return unlink(path.c_str()) == 0 || access(path.c_str(), F_OK) != 0;
}

// Kills the private pcscd as in a crash ("kill"), or starts a new one ("start"), through the
// harness's QTU_PCSCD_CONTROL; returns when that is done. false outside the harness.
inline bool SimPcscd(const char* verb)
{
    const char* control = getenv("QTU_PCSCD_CONTROL");
    return control && system((std::string(control) + " " + verb).c_str()) == 0;
}

// Stops vicc, as a card taken off vpcd's reader ("vicc-stop"), or starts it again and waits
// until its card is in ("vicc-start"), through the harness's QTU_PCSCD_CONTROL (--peer only).
inline bool SimVicc(bool running)
{
    return SimPcscd(running ? "vicc-start" : "vicc-stop");
}

// Waits until pcscd reports the reader's card as present or absent; false on timeout.
inline bool SimWaitForCard(int reader, bool present, int timeoutMs = 5000)
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return false;
    const std::string name = SimReaderName(reader);
    SCARD_READERSTATE state {};
    state.szReader = name.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    bool reached = false;
    for (int waited = 0; !reached && waited <= timeoutMs; waited += 100) {
        if (SCardGetStatusChange(context, 100, &state, 1) == SCARD_S_SUCCESS) {
            reached = (state.dwEventState & (present ? SCARD_STATE_PRESENT : SCARD_STATE_EMPTY)) != 0;
            state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
        }
    }
    SCardReleaseContext(context);
    return reached;
}
