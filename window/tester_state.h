// The one record of all the tester's state (the window, the connection, the
// data, the last Transmit and its loop, the card page, the qualification
// run), its parts, and the
// small enumerations. There is exactly one TesterState, `tester`, zero at
// load; the entry and window set-up give it its defaults.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include <winscard.h>

#include "core/compose/storage.h"
#include "core/compose/vendor.h"
#include "core/output/dump.h"
#include "core/output/log.h"
#include "core/pcsc/atr.h"
#include "core/pcsc/card_watcher.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/status_text.h"
#include "core/pcsc/status_word.h"
#include "core/qualify/environment.h"
#include "core/qualify/plan.h"
#include "core/qualify/suites.h"
#include "core/transmit/transmit.h"
#include "core/wire/wire_format.h"
#include "ui/winsys.h"

constexpr int BUFFER_SIZE = 10000;
// Connect takes a reader name of at most 499 characters.
constexpr int SELECTED_READER_SIZE = 500;
constexpr int SETTINGS_DATA_SIZE = 1024;

// Source of the command data; 0 only in CommandSettings (nothing recorded).
enum EntryMode : int32_t {
    ENTRY_NONE = 0,
    ENTRY_STRING = 1,
    ENTRY_HEX = 2,
    ENTRY_FILE = 3,
};

// What Transmit sends.
enum CommandType : int32_t {
    COMMAND_DIRECT = 0,
    COMMAND_STORAGE = 1,
    COMMAND_VENDOR = 2,
};

// Saved form of one storage command, kept while another command is shown.
struct CommandSettings {
    BYTE data[SETTINGS_DATA_SIZE];  // string bytes, hex text as typed, or file bytes
    uint32_t dataLen;               // of data
    EntryMode entryMode;            // of data; ENTRY_NONE when none
    uint8_t p1;                     // the command's P1 field
    uint8_t p2;                     // its P2
    uint8_t p3;                     // its P3
    uint8_t length;                 // its Length field
};

// The controls a running loop or qualification makes inert
// (window/transmit_commands.cpp).
constexpr size_t LOOP_INERT_CONTROL_COUNT = 67;

// The last Transmit and the loop's worker (window/transmit_commands.cpp).
// While the worker runs it alone uses the card, sendBuffer, recvBuffer,
// `outcome` and `record`; the window's thread reads them again only once it
// has joined the worker.
struct LoopRun {
    std::thread worker;               // joinable from a loop's start until its end has been shown
    std::atomic<bool> stopRequested;  // Stop, Escape or closing: the loop ends after the run under way
    TransmitOutcome outcome;          // of the last Transmit: its span, runs made and last status
    LoopRecord record;                // the last Transmit's runs: the summary, the charts and the samples
    DumpForm dumpForm;                // how the response of the running loop is dumped
    char transmitCaption[32];         // Transmit's text before the loop made it "&Stop"
    bool inertWasEnabled[LOOP_INERT_CONTROL_COUNT];  // each inert control's state before the loop
};

// The insight panel's Card and Reader page (window/card_page.cpp).
struct CardPage {
    CardWatcher watcher;                                // runs while a context is held
    CardEvent keptEvents[CARD_EVENT_CAPACITY];          // the window thread's copy of the watcher's ring
    uint64_t lastListed;                                // the sequence number of the last event in the list
    char lastCallLine[STATUS_TEXT_SIZE + 16];           // "Last call: " and the last call's status
    char lastResponseLine[STATUS_WORD_TEXT_SIZE + 16];  // "Last response: " and its status word's meaning
    KnownAtrLists knownAtrs;                            // read again only when their files change
};

// The most points the Qualify page's chart shows of one suite.
constexpr int32_t QUALIFY_CHART_POINTS_MAX = SWEEP_EXCHANGES_MAX;
// The operator's prompts kept for the window's thread, and their length: a
// prompt waits for a hand, so more than a few never queue up.
constexpr int32_t QUALIFY_PROMPTS_KEPT = 8;
constexpr int QUALIFY_PROMPT_SIZE = 128;

// The Qualify page's run (window/qualify_page.cpp). While the worker runs it
// alone uses the card, `target`, `scratch`, `samples`, `environment` and the
// results not yet published; it publishes the environment, then each
// result with its samples, through the two flags below, and the window's
// thread reads only what they publish. Nothing else changes while it runs.
struct QualifyRun {
    std::thread worker;                 // joinable from Run until the run's end has been shown
    std::atomic<bool> stopRequested;    // Stop, Escape or closing: the suite under way ends after its exchange
    std::atomic<bool> environmentDone;  // `environment` is final
    std::atomic<int32_t> suitesDone;    // results[0 .. suitesDone) and their samples are final
    std::atomic<bool> ended;            // the worker has posted its end and touches nothing more
    bool environmentShown;              // in the log (the window's thread)
    int32_t suitesShown;                // in the table and the log (the window's thread)
    QualifyPlan plan;
    char planPath[PATH_MAX];
    char reader[MAX_READERNAME];
    QualifyTarget target;
    QualifyEnvironment environment;
    QualifyScratch scratch;
    QualifySamples samples;
    SuiteResult results[PLAN_SUITES_MAX];
    int32_t sampleEnd[PLAN_SUITES_MAX];  // suite i's samples end at this row, the previous suite's end start them
    // The operator's prompts of the tap and removal suites, from the worker
    // to the window's thread: the last QUALIFY_PROMPTS_KEPT, under the lock.
    std::mutex promptLock;
    char prompts[QUALIFY_PROMPTS_KEPT][QUALIFY_PROMPT_SIZE];
    int32_t promptsPosted;                           // under promptLock
    int32_t promptsShown;                            // the window's thread
    bool inertWasEnabled[LOOP_INERT_CONTROL_COUNT];  // each inert control's state before the run
    bool transmitWasEnabled;
    // The chart's points of the selected suite (the window's thread).
    double chartX[QUALIFY_CHART_POINTS_MAX];
    double chartY[QUALIFY_CHART_POINTS_MAX];
    int64_t chartNs[QUALIFY_CHART_POINTS_MAX];
};

struct TesterState {
    // The window; set once by window set-up.
    HWND mainWindow;   // the main dialog, whose controls every handler reaches
    HMENU vendorMenu;  // the Vendor button's popup menu

    // Reader connection; the Resource Manager buttons guard their life cycle.
    SCARDCONTEXT hContext;  // 0 when none is held
    SCARDHANDLE hCard;      // 0 when no card is connected
    DWORD activeProtocol;   // negotiated at Connect (or at the resume's reconnect)
    // How Connect and the resume's reconnect ask for the card, and how
    // Disconnect leaves it; set by window set-up (exclusive, any protocol,
    // unpower), changed only by the panel's connection controls.
    ConnectOptions connectOptions;
    DWORD disconnectDisposition;  // SCARD_LEAVE_CARD, _RESET_CARD, _UNPOWER_CARD or _EJECT_CARD

    // Timing.
    int64_t ticksPerMs;  // counter ticks per millisecond, set by the entry

    // The log pane's text: CR LF separated entries, restarted when full.
    char logText[LOG_TEXT_SIZE];

    // Data entry: the chosen source and what each source holds.
    EntryMode entryMode;           // the source Transmit sends from
    BYTE stringData[BUFFER_SIZE];  // the string field's bytes (Latin-1)
    uint32_t stringLen;            // of stringData
    BYTE hexData[BUFFER_SIZE];     // the hex field's parsed bytes
    uint32_t hexLen;               // of hexData
    BYTE fileData[BUFFER_SIZE];    // the loaded file's first bytes
    uint32_t fileLen;              // of fileData

    // Command composition.
    CommandType commandType;           // what Transmit sends
    StorageCommand storageCommand;     // the form shown while commandType is storage
    CommandSettings getUidSettings;    // each storage command's form while another is shown
    CommandSettings loadKeysSettings;  // LoadKeys's
    CommandSettings authSettings;      // Authenticate's
    CommandSettings readSettings;      // Read's
    CommandSettings updateSettings;    // Update's
    // The storage requests' class byte and Authenticate; zero (class 00, the
    // older AUTHENTICATE) until the panel sets them.
    StorageDialect storageDialect;

    // Transmission.
    BYTE sendBuffer[BUFFER_SIZE];  // the last request, built anew at each Transmit
    uint32_t sendLen;              // of sendBuffer
    BYTE recvBuffer[BUFFER_SIZE];  // the last response
    DWORD recvLen;                 // of recvBuffer
    bool loopEnabled;              // Execute Command in Loop
    int32_t loopCount;             // runs per Transmit with the loop on, 1 to 5000 when used
    bool breakOnError;             // a failed run ends the loop
    LoopRun loop;                  // the last Transmit, and its worker while a loop runs
    // A single Transmit answered 61 xx or 6C xx makes its follow-ups (GET
    // RESPONSE, the request again with Le xx), each logged as its own
    // exchange; a loop never does. Off until the panel sets it.
    bool getResponse;

    // Vendor I/O: the request the vendor fields and menu fill, and the reply.
    VendorIoRecord vendorIn;    // the request
    VendorIoRecord vendorOut;   // the reply
    DWORD vendorBytesReturned;  // of vendorOut, as SCardControl reported it
    VendorTarget vendorTarget;  // where the request goes: the fixed code unless the panel chose another

    CardPage cardPage;   // the insight panel's Card and Reader page
    QualifyRun qualify;  // the insight panel's Qualify page
};

extern TesterState tester;
