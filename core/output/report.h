// The lines both front ends print, each written once: the dumps of requests
// and responses and of the vendor records, the connect, failure, status,
// status word and elapsed lines, the loop's stop and summary, a reader of
// the list, a card event, and the control code exchange with the reader's
// features and properties. A writer hands each finished entry to a sink: the
// window's log takes it as one entry, the command line prints it with its
// CR LF breaks as line ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include <winscard.h>

#include "core/clock/timing.h"
#include "core/output/dump.h"
#include "core/pcsc/card_watcher.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/features.h"
#include "core/transmit/follow_up.h"
#include "core/transmit/transmit.h"
#include "core/wire/wire_format.h"

// Where the lines go. `put` gets one finished entry (it may hold CR LF
// breaks) at a time, and `context` with it.
struct LineSink {
    void (*put)(void* context, const char* entry);
    void* context;
};

// A title entry, then the bytes as one entry in `form`.
void ReportDump(LineSink sink, const char* title, const BYTE* bytes, uint32_t count, DumpForm form);
// A title entry, then, for a whole record of `size` bytes only, its header
// line and its data in hex.
void ReportVendorRecord(LineSink sink, const char* title, const VendorIoRecord& record, int32_t size);

// "SCardTransmit: Input:" and the request.
void ReportTransmitInput(LineSink sink, const BYTE* request, uint32_t length, DumpForm form);
// "SCardTransmit: Output:" and the response when `status` is a success,
// else "SCardTransmit: Failure!".
void ReportTransmitOutput(LineSink sink, LONG status, const BYTE* response, uint32_t length, DumpForm form);
// "SCardControl: Input:" and the whole request record.
void ReportControlInput(LineSink sink, const VendorIoRecord& request);
// "SCardControl: Output:" and the reply record of `size` bytes when `status`
// is a success, else "SCardControl: Failure!".
void ReportControlOutput(LineSink sink, LONG status, const VendorIoRecord& reply, int32_t size);
// "SCardConnect: OK, protocol = 0x00000002." for `call`.
void ReportConnected(LineSink sink, const char* call, DWORD protocol);
// "SCardReconnect: Failure!" for `call`.
void ReportFailure(LineSink sink, const char* call);

// `label` and the status as Win Status's tooltip describes it:
// "Status: 0x8010000C SCARD_E_NO_SMARTCARD: No smart card inserted.".
void ReportStatus(LineSink sink, const char* label, LONG status);
// `label` and what the status word that ends the response means:
// "SW: 90 00: Normal processing".
void ReportResponseStatus(LineSink sink, const char* label, const BYTE* response, DWORD length);
// "Elapsed: 0.05 ms": the span as the Elapsed field shows it, per run of
// `runs`, without the field's leading blanks.
void ReportElapsed(LineSink sink, const Span& span, int64_t ticksPerMs, int32_t runs);
// "Loop stopped after 12 of 5000 runs." for a loop the user stopped;
// nothing for any other.
void ReportLoopStopped(LineSink sink, const LoopRecord& record);
// The loop's two summary lines, its counts and the distribution of its times.
void ReportLoopSummary(LineSink sink, const LoopSummary& summary);
// "Follow-up 1: GET RESPONSE after 61 10" before the exchange that the
// status word `sw` of the one before asked for (core/transmit/follow_up.h).
void ReportFollowUp(LineSink sink, int32_t index, FollowUpKind kind, uint16_t sw);
// "Follow-ups ended after 16: the card still asks for another." when a
// chain reached FOLLOW_UP_MAX.
void ReportFollowUpsCut(LineSink sink);

// The reader state bits that say something of the reader (all but CHANGED
// and IGNORE), by their SCARD_STATE_ names without the prefix.
constexpr int READER_STATE_NAME_MAX = 9;
// The names of the bits set in `state`, in the order of the bits; how many.
int ReaderStateNames(DWORD state, const char* (&names)[READER_STATE_NAME_MAX]);
// "0: Quarnel Sim Reader 00 00: PRESENT|INUSE, ATR 3B 8F ...": the index, the
// name, the state's names joined with '|' and the ATR when pcscd gave one.
void ReportReader(LineSink sink, int index, const SCARD_READERSTATE& reader);

// The kind of an event as the command line's JSON names it ("card_inserted")
// and as the lines show it ("Card inserted"); "" for a kind beyond the table.
const char* CardEventName(CardEventKind kind);
const char* CardEventText(CardEventKind kind);
// "12:00:01.250  Card inserted  Reader 00 00  3B 8F ...": `time`, the kind,
// " (missed)" for a change the watcher inferred, the reader, the status for
// a watch that failed, and the ATR when the event has one.
void ReportCardEvent(LineSink sink, const char* time, const CardEvent& event);

// "SCardControl: Code: 0x42000D48 SCARD_CTL_CODE(3400)".
void ReportControlCode(LineSink sink, DWORD code);
// One control exchange: its code; "SCardControl: Input:" and the request's
// bytes unless `request` is null (an empty dump for none); "SCardControl:
// Output:" and the reply's bytes when it succeeded, else "SCardControl:
// Failure!"; then its status and its time.
void ReportControlExchange(LineSink sink, DWORD code, const BYTE* request, uint32_t requestLength,
                           const ControlOutcome& outcome, const BYTE* reply, int64_t ticksPerMs);
// "FEATURE_CCID_ESC_COMMAND (0x13): 0x42330013 SCARD_CTL_CODE(0x330013)";
// "Feature 0x7F: ..." for a tag without a name.
void ReportFeature(LineSink sink, const FeatureEntry& entry);
// "wIdVendor (11): 0x1D50 (7504)", "sFirmwareID (8): "QSIM-1K 1.0.0"" (bytes
// outside printable ASCII as \xNN); "Property 64: 01 02" for a tag without
// a name.
void ReportProperty(LineSink sink, const PropertyEntry& entry);
// "The feature list stops at byte 12: cut short." for `what` ("feature
// list"); nothing for a whole list.
void ReportTlvStop(LineSink sink, const char* what, TlvStop stop, uint32_t offset);
// "CCID escape: 0x42330013 SCARD_CTL_CODE(0x330013)", or "CCID escape: not
// offered".
void ReportEscapeCode(LineSink sink, bool offered, DWORD code);
// The outcome of a reset on demand: "SCardReconnect: OK, protocol = ...",
// "ATR:" and the new ATR, and "ATR changed." when it differs from the one
// known before; "SCardReconnect: Failure!" for a reset that failed. The
// status and elapsed lines follow from the caller.
void ReportReset(LineSink sink, const ResetResult& result);
// "SCardBeginTransaction: OK." for a call that succeeded, else
// "SCardBeginTransaction: Failure!".
void ReportCallVerdict(LineSink sink, const char* call, LONG status);
