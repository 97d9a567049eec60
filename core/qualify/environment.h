// The environment a qualification ran in, printed with every result: the
// tool, the PC/SC library and service, the reader and its driver, the host
// and the time. Each field is text, "unknown" when it could not be found.
#pragma once

#include <climits>
#include <cstddef>

#include <winscard.h>

constexpr int ENVIRONMENT_FIELD_SIZE = 256;
// The most `pcscd --version` may take before it is killed and taken as unknown.
constexpr int PCSCD_VERSION_TIMEOUT_MS = 2000;
constexpr char PCSCD_PATH[] = "/usr/sbin/pcscd";

struct QualifyEnvironment {
    char tool[ENVIRONMENT_FIELD_SIZE];              // the program's version record
    char pcscliteCompiled[ENVIRONMENT_FIELD_SIZE];  // PCSCLITE_VERSION_NUMBER of the headers built against
    char pcscliteLibrary[PATH_MAX];                 // the library file the process loaded, links resolved
    char pcscd[ENVIRONMENT_FIELD_SIZE];             // the first line of `pcscd --version`
    char reader[MAX_READERNAME];
    char ifdVendor[ENVIRONMENT_FIELD_SIZE];   // SCARD_ATTR_VENDOR_NAME
    char ifdType[ENVIRONMENT_FIELD_SIZE];     // SCARD_ATTR_VENDOR_IFD_TYPE
    char ifdVersion[ENVIRONMENT_FIELD_SIZE];  // SCARD_ATTR_VENDOR_IFD_VERSION, "0xMMmmBBBB (M.m.B)"
    char ifdSerial[ENVIRONMENT_FIELD_SIZE];   // SCARD_ATTR_VENDOR_IFD_SERIAL_NO
    // The driver pcscd serves the reader with, best effort: the LIBPATH of
    // the /etc/reader.conf.d entry whose FRIENDLYNAME starts the reader's
    // name, else the bundle of /usr/lib/pcsc/drivers whose Info.plist lists
    // a friendly name that starts it, with the bundle's version.
    char driver[PATH_MAX + ENVIRONMENT_FIELD_SIZE];
    char kernel[ENVIRONMENT_FIELD_SIZE];  // uname: sysname release version machine
    char host[ENVIRONMENT_FIELD_SIZE];
    char date[ENVIRONMENT_FIELD_SIZE];  // ISO 8601 UTC, to the second
};

// What the host gives, without a reader; every reader field "unknown".
void CollectHostEnvironment(QualifyEnvironment* environment);
// The reader's fields, from its name and a connection to it (`card` may be
// 0: the attributes are then unknown).
void CollectReaderEnvironment(SCARDHANDLE card, const char* reader, QualifyEnvironment* environment);

// The first line of `pcscd` run with --version, or "unknown" when it does
// not run, prints nothing or takes longer than `timeoutMs` (it is then
// killed): never waits longer.
void ReadServiceVersion(const char* pcscd, int timeoutMs, char* text, size_t size);
// The driver the lists name for `reader` (see `driver` above), searched in
// the folders given; "unknown" for none.
void FindReaderDriver(const char* reader, const char* confFolder, const char* bundleFolder, char* text, size_t size);
