// The command line's commands, each over the arguments its parser found.
// They return the exit status; what goes wrong is said in one line on stderr.
// Names (of readers, of files) are bytes, used as given.
#pragma once

#include <atomic>
#include <cstdint>

#include <winscard.h>

#include "core/compose/vendor.h"
#include "core/pcsc/atr.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/features.h"
#include "core/transmit/transmit.h"

// Exit statuses.
constexpr int EXIT_AS_EXPECTED = 0;
constexpr int EXIT_FAILED = 1;  // a PC/SC call or an expected status word failed
constexpr int EXIT_USAGE = 2;   // bad arguments, an unknown reader, a bad script
// A send stopped by a signal: 128 and the signal's number (130 for SIGINT,
// 143 for SIGTERM), as a shell reports a process the signal ended.
constexpr int EXIT_SIGNAL_BASE = 128;

struct CliArguments {
    const char* command;  // the command's name, as JSON errors name it
    bool json;
    const char* reader;  // --reader: a name or an index; null for the first reader with a card
    // Every --reader given, in order (`reader` is the last): qualify runs on
    // each, "all" standing for every reader with a card.
    const char* const* readers;
    int readerCount;
    bool decode;   // --decode: each ATR decoded
    int32_t loop;  // --loop: runs, 0 without
    bool expect;   // --expect given, with `expectedSw`
    uint16_t expectedSw;
    // --class, --general, --get-response, --id (storage and attributes).
    BYTE storageClass;         // --class: STORAGE_CLA (the default) or STORAGE_CLA_PCSC
    bool generalAuthenticate;  // --general: Authenticate as GENERAL AUTHENTICATE
    bool getResponse;          // --get-response: 61 xx and 6C xx get their follow-ups
    const char* attributeIds;  // --id: the attributes, a comma list; null for the nineteen
    // --junit, --samples (qualify and send).
    const char* junit;    // --junit: the JUnit XML file; null without
    const char* samples;  // --samples: the CSV file of every exchange; null without
    // --code for `vendor`: where the record goes (the fixed code without it).
    VendorTarget vendorTarget;
    // --share, --protocol and --disposition: how a command connects and how it
    // ends its connection (zeroed: exclusive, any protocol, leave).
    ConnectOptions connect;
    bool shareGiven;        // --share named the share mode
    DWORD disposition;      // SCARD_LEAVE_CARD unless --disposition said otherwise
    bool dispositionGiven;  // a failed disconnect is then reported
    int32_t runs;           // --runs: the passport's baseline runs, 0 without
    const char* apdu;       // --apdu: the passport's baseline APDU as typed; null without
    const char* tolerance;  // --tolerance: compare's percentage as typed; null without
    int count;              // the positional arguments after the command's name, as given
    const char* const* positional;
};

// The most --reader options one command line takes.
constexpr int READER_OPTIONS_MAX = 32;

constexpr const char* PROGRAM_NAME = "quarnel-test-utility";

// "quarnel-test-utility: " and the message, on stderr; returns `exitStatus`.
[[gnu::format(printf, 2, 3)]] int Complain(int exitStatus, const char* format, ...);

int RunList(const CliArguments& args);
int RunAttributes(const CliArguments& args);
int RunSend(const CliArguments& args);
int RunScript(const CliArguments& args);
int RunVendor(const CliArguments& args);
int RunControl(const CliArguments& args);
int RunFeatures(const CliArguments& args);
int RunMonitor(const CliArguments& args);
int RunAtr(const CliArguments& args);
int RunStorage(const CliArguments& args);
int RunQualify(const CliArguments& args);

// For a command of its own file: the reader the arguments name (as every
// command finds it) in a context already established, into `reader`; the
// exit status, said on stderr when it is not EXIT_AS_EXPECTED.
int FindCommandReader(const CliArguments& args, SCARDCONTEXT context, char (&reader)[MAX_READERNAME]);
// The readers every --reader names ("all": each reader holding a card now),
// each once, in the order pcscd lists them, into names[0..*count) (room for
// PCSCLITE_MAX_READERS_CONTEXTS); the exit status, said on stderr when it is
// not EXIT_AS_EXPECTED (an unknown reader: EXIT_USAGE).
int FindCommandReaders(const CliArguments& args, SCARDCONTEXT context, char (*names)[MAX_READERNAME], int32_t* count);
// SIGINT and SIGTERM set the stop flag (`catching`) or end the program again;
// the flag, and the signal that set it (0 for none).
void CatchCommandStop(bool catching);
const std::atomic<bool>* CommandStopFlag();
int CommandStopSignal();
int RunResetCommand(const CliArguments& args);
int RunPassport(const CliArguments& args);
int RunCompare(const CliArguments& args);

// The fields the commands' JSON objects share, for the passport to hold the
// same: an ATR's "atr", "verdict", "lines" (the decoding, '\n' between
// lines, cut apart in place) and "cards" (`known` names, likewise); the
// feature list's fields from "code" to "ok" as `features` prints them; and
// the property list's, as `features` prints them (true when the list was
// read whole).
void JsonAtrFields(const BYTE* atr, DWORD length, AtrVerdict verdict, char* decoding, int known, char* names);
void JsonFeatureFields(const FeatureDiscovery& found);
bool JsonPropertyFields(const FeatureDiscovery& found);
// A loop's "times_us": min, median, p90, p99, max and mean.
void JsonLoopTimes(const LoopSummary& summary);
