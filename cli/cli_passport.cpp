// The passport command: gathers a reader's passport through the core and
// prints it as one JSON object on one line, whatever --json says, so that
// it can be filed, diffed and read back by `compare`.
#include <cstdio>
#include <cstring>

#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "core/compose/data_entry.h"
#include "core/pcsc/pcsc_api.h"
#include "core/qualify/passport.h"
#include "core/qualify/suites.h"

namespace {

void JsonCode(const char* name, DWORD code)
{
    char text[sizeof "0x00000000"];
    snprintf(text, sizeof text, "0x%08X", unsigned(code));
    JsonString(name, text);
}

void JsonEnvironmentFields(const QualifyEnvironment& environment)
{
    JsonOpen("environment", '{');
    JsonString("tool", environment.tool);
    JsonString("pcsclite_compiled", environment.pcscliteCompiled);
    JsonString("pcsclite_library", environment.pcscliteLibrary);
    JsonString("pcscd", environment.pcscd);
    JsonString("reader", environment.reader);
    JsonString("ifd_vendor", environment.ifdVendor);
    JsonString("ifd_type", environment.ifdType);
    JsonString("ifd_version", environment.ifdVersion);
    JsonString("ifd_serial", environment.ifdSerial);
    JsonString("driver", environment.driver);
    JsonString("kernel", environment.kernel);
    JsonString("host", environment.host);
    JsonString("date", environment.date);
    JsonClose('}');
}

void JsonAttributes(const Passport& passport)
{
    JsonOpen("attributes", '[');
    for (const PassportAttribute& attribute : passport.attributes) {
        if (attribute.name == nullptr)
            continue;
        bool read = attribute.status == SCARD_S_SUCCESS;
        JsonOpen(nullptr, '{');
        JsonString("name", attribute.name->name);
        JsonCode("id", attribute.name->id);
        JsonStatus(attribute.status);
        JsonBytes("bytes", read ? attribute.value : nullptr, attribute.length);
        JsonString("decoded", attribute.decodes ? attribute.decoded : nullptr);
        JsonClose('}');
    }
    JsonClose(']');
}

void JsonProtocols(const Passport& passport)
{
    JsonOpen("protocols", '[');
    for (const PassportProtocol& probe : passport.protocols) {
        JsonOpen(nullptr, '{');
        JsonString("protocol", ProtocolChoiceName(probe.offered));
        JsonString("share", ShareChoiceName(SHARE_SHARED));
        JsonStatus(probe.status);
        JsonString("active", ActiveProtocolName(probe.protocol));
        JsonBool("taken", probe.status == SCARD_S_SUCCESS);
        JsonClose('}');
    }
    JsonClose(']');
}

void JsonTiming(const Passport& passport, const BYTE* apdu, DWORD apduLength, int32_t runs)
{
    if (!passport.timed) {
        JsonString("timing", nullptr);
        return;
    }
    const LoopSummary& summary = passport.summary;
    JsonOpen("timing", '{');
    JsonBytes("apdu", apdu, apduLength);
    JsonNumber("runs", runs);
    JsonNumber("runs_made", passport.loop.runsMade);
    JsonNumber("failures", passport.failures);
    JsonStatus(passport.outcome.status);
    JsonStatusWord(passport.response, passport.outcome.status == SCARD_S_SUCCESS ? passport.outcome.responseLength : 0);
    JsonLoopTimes(summary);
    JsonString("caveat", QUALIFY_CAVEAT);
    JsonClose('}');
}

void JsonPassport(const char* reader, Passport* passport, const BYTE* apdu, DWORD apduLength, int32_t runs)
{
    JsonBegin("passport");
    JsonString("reader", reader);
    JsonEnvironmentFields(passport->environment);
    JsonBool("card", passport->card);
    JsonOpen("connection", '{');
    JsonString("share", ShareChoiceName(passport->options.share));
    JsonStatus(passport->status);
    JsonString("protocol", ActiveProtocolName(passport->protocol));
    JsonClose('}');
    if (passport->card) {
        JsonOpen("atr", '{');
        JsonAtrFields(passport->atr, passport->atrLength, passport->atrVerdict, passport->atrLines,
                      passport->cardNameCount, passport->cardNames);
        JsonClose('}');
    } else {
        JsonString("atr", nullptr);
    }
    JsonAttributes(*passport);
    if (passport->connected) {
        JsonOpen("features", '{');
        JsonFeatureFields(passport->features);
        JsonClose('}');
    } else {
        JsonString("features", nullptr);
    }
    if (passport->features.propertiesOffered) {
        JsonOpen("properties", '{');
        JsonPropertyFields(passport->features);
        JsonClose('}');
    } else {
        JsonString("properties", nullptr);
    }
    JsonProtocols(*passport);
    JsonTiming(*passport, apdu, apduLength, runs);
    JsonEnd();
}

}  // namespace

int RunPassport(const CliArguments& args)
{
    static BYTE apdu[PASSPORT_APDU_MAX];
    uint32_t apduLength = sizeof PASSPORT_APDU_DEFAULT;
    memcpy(apdu, PASSPORT_APDU_DEFAULT, sizeof PASSPORT_APDU_DEFAULT);
    if (args.apdu != nullptr) {
        HexFailure failure = ParseHexStrict(args.apdu, apdu, sizeof apdu, &apduLength);
        if (failure == HEX_OK && apduLength < 4)
            return Complain(EXIT_USAGE, "passport: --apdu takes at least 4 bytes (CLA INS P1 P2)");
        if (failure != HEX_OK)
            return Complain(EXIT_USAGE, "passport: --apdu: %s", HexFailureText(failure));
    }
    int32_t runs = args.runs > 0 ? args.runs : PASSPORT_RUNS_DEFAULT;
    SCARDCONTEXT context;
    LONG status = pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
    if (status != SCARD_S_SUCCESS)
        return Complain(EXIT_FAILED, "SCardEstablishContext: 0x%08X", unsigned(status));
    static char reader[MAX_READERNAME];
    int found = FindCommandReader(args, context, reader);
    if (found != EXIT_AS_EXPECTED) {
        pcsc.ReleaseContext(context);
        return found;
    }
    CatchCommandStop(true);
    static KnownAtrLists lists;
    static Passport passport;
    CollectPassport(PassportRequest {context, reader, apdu, apduLength, runs, CommandStopFlag(), &lists}, &passport);
    CatchCommandStop(false);
    pcsc.ReleaseContext(context);
    JsonPassport(reader, &passport, apdu, apduLength, runs);
    int signal = CommandStopSignal();
    if (signal != 0)
        return EXIT_SIGNAL_BASE + signal;
    if (!passport.connected)
        return Complain(EXIT_FAILED, "passport: SCardConnect: 0x%08X: only the host's part was read",
                        unsigned(passport.status));
    return OutputError() == 0 ? EXIT_AS_EXPECTED : EXIT_FAILED;
}
