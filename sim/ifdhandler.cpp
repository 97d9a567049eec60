// pcscd reader driver (IFD handler API v3) of the simulated contactless reader.
//
// pcscd loads it from reader.conf with a DEVICENAME like
//   sim:card=storage1k,uid=04A1B2C3,ctl=/path/reader0.ctl
// (or the path of a control file alone). Each reader keeps its slot (card model), its
// settings and the state of its control file; the control file is looked at on every
// call and re-read when it changed, so tests script card presence and faults while pcscd
// runs. Readers share nothing, so the driver says it is thread safe: pcscd then serialises
// the calls for each reader alone and lets different readers work at once, as with CCID
// (a driver that says it is not gets one lock for all its readers). No locking is needed
// here.
extern "C" {
#include <debuglog.h>
#include <ifdhandler.h>
#include <reader.h>
}

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "card_model.h"
#include "settings.h"

// pcscd exports log_msg to its drivers; a process that only dlopens the driver has none.
#pragma weak log_msg
#define LOG(priority, fmt, ...)                                                                                        \
    do {                                                                                                               \
        if (log_msg)                                                                                                   \
            log_msg(priority, "%s:%d:%s() " fmt, __FILE__, __LINE__, __func__ __VA_OPT__(, ) __VA_ARGS__);             \
    } while (0)

#define DRIVER_ENTRY extern "C" __attribute__((visibility("default")))

namespace {

constexpr int MAX_READERS = 16;
constexpr int CONTROL_FILE_SIZE = 1024;

constexpr char VENDOR_NAME[] = "Quarnel";
constexpr char IFD_TYPE[] = "Simulated Contactless Reader";
constexpr uint32_t IFD_VERSION = 0x01000001;  // 1.0, build 1
constexpr uint32_t CHANNEL_USB = 0x0020;
constexpr uint32_t CLOCK_KHZ = 13560;  // the 13.56 MHz carrier
constexpr uint32_t DEFAULT_DATA_RATE = 106000;
constexpr uint32_t MAX_DATA_RATE = 848000;
constexpr uint8_t ICC_PRESENT = 2;
constexpr uint8_t ICC_TYPE_ISO7816_ASYNC = 1;

struct Reader {
    bool open;
    SimSettings configured;  // from DEVICENAME
    SimSettings current;     // the configured ones with the control file applied
    bool removalPending;     // a removal pcscd has not been told of yet
    bool controlSeen;
    ino_t controlInode;
    timespec controlTime;
    unsigned transmits;  // since fail_every was last set
    DWORD protocol;
    ReaderSlot slot;
    bool coldResetAtr;  // the card answers COLD_RESET_ATR, not STORAGE_ATR
    // The taps under way: the card's presence follows the clock from tapStartNs on (before
    // it, out), and no longer the card= key, until the last tap has gone out.
    bool tapping;
    int64_t tapStartNs;
    int64_t tapOfCard;       // the tap, counted from 0, that put the card in the slot
    unsigned loseTransmits;  // since lose_card_at was last set
    bool loseArmed;          // the card is still to vanish at transmit lose_card_at
};

Reader readers[MAX_READERS];

Reader* ReaderOf(DWORD lun)
{
    const DWORD index = lun >> 16;
    return index < MAX_READERS && readers[index].open ? &readers[index] : nullptr;
}

int IndexOf(const Reader* reader)
{
    return int(reader - readers);
}

int64_t NowNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Puts a fresh card in (with the UID set now) or takes the card out. A removal stays
// latched until pcscd polls, so that a card taken out and put back between two polls is
// still seen as a new card.
void SetCardPresent(Reader* reader, bool present, const uint8_t* uid)
{
    if (present && !reader->slot.cardPresent) {
        InsertCard(&reader->slot, uid);
        LOG(PCSC_LOG_INFO, "reader %d: card %02X%02X%02X%02X inserted", IndexOf(reader), uid[0], uid[1], uid[2],
            uid[3]);
    } else if (!present && reader->slot.cardPresent) {
        RemoveCard(&reader->slot);
        reader->removalPending = true;
        LOG(PCSC_LOG_INFO, "reader %d: card removed", IndexOf(reader));
    }
}

// Takes over new settings. A card goes in or out when its presence changes (unless taps
// move it); the UID applies to the next card put in. New tap keys start the taps now, a
// card that is in going out first for tap_out_ms.
void Apply(Reader* reader, const SimSettings& settings)
{
    const SimSettings& old = reader->current;
    if (settings.tapCount != old.tapCount || settings.tapInMs != old.tapInMs || settings.tapOutMs != old.tapOutMs) {
        reader->tapping = settings.tapCount > 0;
        reader->tapStartNs = NowNs() + (reader->slot.cardPresent ? int64_t(settings.tapOutMs) * 1000000 : 0);
        if (reader->tapping)
            LOG(PCSC_LOG_INFO, "reader %d: %d taps of %d ms in, %d ms out", IndexOf(reader), settings.tapCount,
                settings.tapInMs, settings.tapOutMs);
    }
    if (!reader->tapping)
        SetCardPresent(reader, settings.cardPresent, settings.uid);
    if (settings.loseCardAt != old.loseCardAt) {
        reader->loseTransmits = 0;
        reader->loseArmed = settings.loseCardAt > 0;
    }
    if (settings.cardPresent != reader->current.cardPresent || !settings.atrAfterColdReset)
        reader->coldResetAtr = false;
    if (reader->current.failEvery != settings.failEvery)
        reader->transmits = 0;
    reader->current = settings;
}

// Looks at the control file; re-reads it when it was replaced or changed, falls back to the
// configured settings when it disappears.
void ReadControlFile(Reader* reader)
{
    const char* path = reader->configured.controlPath;
    if (!path[0])
        return;
    struct stat info { };
    if (stat(path, &info) != 0) {
        if (reader->controlSeen)
            Apply(reader, reader->configured);
        reader->controlSeen = false;
        return;
    }
    if (reader->controlSeen && info.st_ino == reader->controlInode && info.st_mtim.tv_sec == reader->controlTime.tv_sec
        && info.st_mtim.tv_nsec == reader->controlTime.tv_nsec)
        return;
    char text[CONTROL_FILE_SIZE] = {};
    FILE* file = fopen(path, "r");
    if (!file)
        return;
    const size_t length = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[length] = 0;
    reader->controlSeen = true;
    reader->controlInode = info.st_ino;
    reader->controlTime = info.st_mtim;
    SimSettings settings = reader->configured;
    if (!ApplySettings(text, &settings))
        LOG(PCSC_LOG_ERROR, "reader %d: bad line in %s", IndexOf(reader), path);
    strcpy(settings.controlPath, path);
    Apply(reader, settings);
}

// Moves the card as the taps under way say it is now: in for the first tap_in_ms of each
// period, out for the rest, out after the last. A tap that falls wholly between two calls
// leaves no trace, as a card through the field between two of pcscd's polls; a card of
// another tap than the one in the slot went out and came back in between: a new card,
// its removal latched as any other.
void FollowTaps(Reader* reader)
{
    if (!reader->tapping)
        return;
    const SimSettings& taps = reader->current;
    const int64_t elapsed = NowNs() - reader->tapStartNs;
    const int64_t period = (int64_t(taps.tapInMs) + taps.tapOutMs) * 1000000;
    const int64_t tap = elapsed >= 0 ? elapsed / period : -1;
    bool in = false;
    if (tap >= 0 && tap < taps.tapCount)
        in = elapsed % period < int64_t(taps.tapInMs) * 1000000;
    else if (tap >= 0)
        reader->tapping = false;
    if (in && reader->slot.cardPresent && tap != reader->tapOfCard)
        SetCardPresent(reader, false, taps.uid);
    SetCardPresent(reader, in, taps.uid);
    if (in)
        reader->tapOfCard = tap;
}

// Every call on a reader starts here: the open reader of `lun`, with its control file
// taken over and its taps followed. Anything but IFD_SUCCESS is the call's answer: no
// such reader, or one that is to look unplugged.
RESPONSECODE Enter(DWORD lun, Reader** reader)
{
    *reader = ReaderOf(lun);
    if (!*reader)
        return IFD_COMMUNICATION_ERROR;
    ReadControlFile(*reader);
    FollowTaps(*reader);
    return (*reader)->current.unplugged ? IFD_NO_SUCH_DEVICE : IFD_SUCCESS;
}

void Delay(const Reader* reader)
{
    if (reader->current.delayMicros > 0)
        usleep(useconds_t(reader->current.delayMicros));
}

// The protocol pcscd negotiated; a powered card that pcscd speaks to without negotiating
// (a client that offers RAW gets RAW) is in RAW mode.
DWORD CurrentProtocol(const Reader* reader)
{
    if (!reader->slot.powered)
        return SCARD_PROTOCOL_UNDEFINED;
    return reader->protocol ? reader->protocol : SCARD_PROTOCOL_RAW;
}

RESPONSECODE PutBytes(const void* data, DWORD size, PDWORD length, PUCHAR value)
{
    if (*length < size)
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    memcpy(value, data, size);
    *length = size;
    return IFD_SUCCESS;
}

RESPONSECODE PutU32(uint32_t number, PDWORD length, PUCHAR value)
{
    const uint8_t bytes[4] = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16), uint8_t(number >> 24)};
    return PutBytes(bytes, sizeof bytes, length, value);
}

RESPONSECODE PutByte(uint8_t byte, PDWORD length, PUCHAR value)
{
    return PutBytes(&byte, 1, length, value);
}

// The ATR of the card as it is powered now.
const uint8_t* CurrentAtr(const Reader* reader)
{
    return reader->coldResetAtr ? COLD_RESET_ATR : STORAGE_ATR;
}

// Powers the card up: a power-up of an unpowered card is cold, a reset of a
// powered one warm. With atr_after_cold_reset a cold one swaps the ATR; a warm
// one keeps it, as a card keeps its answer to a warm reset.
bool PowerUpWithAtr(Reader* reader, DWORD action)
{
    const bool cold = action == IFD_POWER_UP || !reader->slot.powered;
    if (!PowerUpCard(&reader->slot))
        return false;
    if (cold && reader->current.atrAfterColdReset) {
        reader->coldResetAtr = !reader->coldResetAtr;
        LOG(PCSC_LOG_INFO, "reader %d: cold power-up, ATR %s", IndexOf(reader),
            reader->coldResetAtr ? COLD_RESET_ATR_TEXT : STORAGE_ATR_TEXT);
    }
    return true;
}

RESPONSECODE OpenReader(DWORD lun, const SimSettings& settings)
{
    const DWORD index = lun >> 16;
    if (index >= MAX_READERS)
        return IFD_COMMUNICATION_ERROR;
    Reader* reader = &readers[index];
    *reader = Reader {};
    reader->open = true;
    reader->configured = settings;
    reader->slot.authSector = -1;
    Apply(reader, settings);
    ReadControlFile(reader);
    LOG(PCSC_LOG_INFO, "reader %d opened, control file \"%s\"", int(index), settings.controlPath);
    return IFD_SUCCESS;
}

}  // namespace

// DEVICENAME is "sim:" and settings, or the path of a control file. pcscd keeps the quotes
// of a quoted DEVICENAME, and only a quoted one may hold commas.
DRIVER_ENTRY RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName)
{
    char name[MAX_PATH_LENGTH + 32] = {};
    size_t length = strlen(DeviceName);
    const bool quoted = length >= 2 && DeviceName[0] == '"' && DeviceName[length - 1] == '"';
    if (quoted)
        length -= 2;
    if (length < sizeof name)
        memcpy(name, DeviceName + (quoted ? 1 : 0), length);
    const bool simForm = strncmp(name, "sim:", 4) == 0;
    SimSettings settings = DefaultSettings();
    const bool valid = length < sizeof name
        && (simForm ? ApplySettings(name + 4, &settings) : length > 0 && length < sizeof settings.controlPath);
    if (!valid) {
        LOG(PCSC_LOG_ERROR, "bad DEVICENAME %s", DeviceName);
        return IFD_COMMUNICATION_ERROR;
    }
    if (!simForm)
        strcpy(settings.controlPath, name);
    return OpenReader(Lun, settings);
}

DRIVER_ENTRY RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel)
{
    LOG(PCSC_LOG_INFO, "channel %lu", Channel);
    return OpenReader(Lun, DefaultSettings());
}

DRIVER_ENTRY RESPONSECODE IFDHCloseChannel(DWORD Lun)
{
    Reader* reader = ReaderOf(Lun);
    if (!reader)
        return IFD_COMMUNICATION_ERROR;
    LOG(PCSC_LOG_INFO, "reader %d closed", IndexOf(reader));
    *reader = Reader {};
    return IFD_SUCCESS;
}

DRIVER_ENTRY RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value)
{
    Reader* reader = nullptr;
    if (const RESPONSECODE refused = Enter(Lun, &reader); refused != IFD_SUCCESS)
        return refused;
    // The attributes a client reads carry their class in the upper half; pcscd's own
    // TAG_IFD_ questions do not, and keep their answers.
    const bool clientAttribute = Tag >> 16 != 0;
    if (clientAttribute
        && (reader->current.refuseAttributes || (reader->current.refuseAtr && Tag == SCARD_ATTR_ATR_STRING))) {
        LOG(PCSC_LOG_INFO, "reader %d: attribute 0x%lX refused as asked", IndexOf(reader), Tag);
        return IFD_ERROR_TAG;
    }
    const ReaderSlot& slot = reader->slot;
    switch (Tag) {
    case TAG_IFD_ATR:
    case SCARD_ATTR_ATR_STRING:
        return PutBytes(CurrentAtr(reader), slot.powered ? ATR_SIZE : 0, Length, Value);
    case TAG_IFD_SLOTS_NUMBER:
        return PutByte(1, Length, Value);
    case TAG_IFD_SIMULTANEOUS_ACCESS:
        return PutByte(MAX_READERS, Length, Value);
    case TAG_IFD_THREAD_SAFE:
        return PutByte(1, Length, Value);
    case TAG_IFD_SLOT_THREAD_SAFE:  // one slot a reader
        return PutByte(0, Length, Value);
    case SCARD_ATTR_VENDOR_NAME:
        return PutBytes(VENDOR_NAME, sizeof VENDOR_NAME, Length, Value);
    case SCARD_ATTR_VENDOR_IFD_TYPE:
        return PutBytes(IFD_TYPE, sizeof IFD_TYPE, Length, Value);
    case SCARD_ATTR_VENDOR_IFD_VERSION:
        return PutU32(IFD_VERSION, Length, Value);
    case SCARD_ATTR_CHANNEL_ID:
        return PutU32(CHANNEL_USB << 16 | uint32_t(IndexOf(reader)), Length, Value);
    case SCARD_ATTR_CHARACTERISTICS:
        return PutU32(0, Length, Value);
    case SCARD_ATTR_DEFAULT_CLK:
    case SCARD_ATTR_MAX_CLK:
        return PutU32(CLOCK_KHZ, Length, Value);
    case SCARD_ATTR_CURRENT_CLK:
        return PutU32(slot.powered ? CLOCK_KHZ : 0, Length, Value);
    case SCARD_ATTR_DEFAULT_DATA_RATE:
        return PutU32(DEFAULT_DATA_RATE, Length, Value);
    case SCARD_ATTR_MAX_DATA_RATE:
        return PutU32(MAX_DATA_RATE, Length, Value);
    case SCARD_ATTR_POWER_MGMT_SUPPORT:
        return PutU32(1, Length, Value);
    case SCARD_ATTR_ICC_PRESENCE:
        return PutByte(slot.cardPresent ? ICC_PRESENT : 0, Length, Value);
    case SCARD_ATTR_ICC_INTERFACE_STATUS:
        return PutByte(slot.powered ? 1 : 0, Length, Value);
    case SCARD_ATTR_ICC_TYPE_PER_ATR:
        return PutByte(slot.powered ? ICC_TYPE_ISO7816_ASYNC : 0, Length, Value);
    case SCARD_ATTR_CURRENT_PROTOCOL_TYPE:
        return PutU32(uint32_t(CurrentProtocol(reader)), Length, Value);
    case SCARD_ATTR_DEVICE_UNIT:
        return PutU32(uint32_t(IndexOf(reader)), Length, Value);
    default:
        LOG(PCSC_LOG_DEBUG, "reader %d: tag 0x%lX not supported", IndexOf(reader), Tag);
        return IFD_ERROR_TAG;
    }
}

DRIVER_ENTRY RESPONSECODE IFDHSetCapabilities(DWORD Lun, DWORD Tag, DWORD, PUCHAR)
{
    LOG(PCSC_LOG_DEBUG, "reader %lu: tag 0x%lX not settable", Lun >> 16, Tag);
    return IFD_ERROR_TAG;
}

DRIVER_ENTRY RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR, UCHAR, UCHAR, UCHAR)
{
    Reader* reader = nullptr;
    if (const RESPONSECODE refused = Enter(Lun, &reader); refused != IFD_SUCCESS)
        return refused;
    if (!reader->slot.cardPresent)
        return IFD_ICC_NOT_PRESENT;
    if (Protocol != SCARD_PROTOCOL_T0 && Protocol != SCARD_PROTOCOL_T1)
        return IFD_PROTOCOL_NOT_SUPPORTED;
    reader->protocol = Protocol;
    return IFD_SUCCESS;
}

DRIVER_ENTRY RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength)
{
    Reader* reader = nullptr;
    if (const RESPONSECODE refused = Enter(Lun, &reader); refused != IFD_SUCCESS)
        return refused;
    const DWORD capacity = *AtrLength;
    *AtrLength = 0;
    switch (Action) {
    case IFD_POWER_DOWN:
        PowerDownCard(&reader->slot);
        reader->protocol = 0;
        return IFD_SUCCESS;
    case IFD_POWER_UP:
    case IFD_RESET:
        if (capacity < ATR_SIZE || !PowerUpWithAtr(reader, Action)) {
            LOG(PCSC_LOG_ERROR, "reader %d: no card to power", IndexOf(reader));
            return IFD_ERROR_POWER_ACTION;
        }
        memcpy(Atr, CurrentAtr(reader), ATR_SIZE);
        *AtrLength = ATR_SIZE;
        return IFD_SUCCESS;
    default:
        return IFD_NOT_SUPPORTED;
    }
}

DRIVER_ENTRY RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER SendPci, PUCHAR TxBuffer, DWORD TxLength,
                                            PUCHAR RxBuffer, PDWORD RxLength, PSCARD_IO_HEADER RecvPci)
{
    const DWORD capacity = *RxLength;
    *RxLength = 0;
    Reader* reader = nullptr;
    if (const RESPONSECODE refused = Enter(Lun, &reader); refused != IFD_SUCCESS)
        return refused;
    if (!reader->slot.cardPresent)
        return IFD_ICC_NOT_PRESENT;
    if (!reader->slot.powered || TxLength > 0xFFFF)
        return IFD_COMMUNICATION_ERROR;
    // The card leaves the field in the middle of this exchange, as a card pulled away.
    if (reader->loseArmed && ++reader->loseTransmits == unsigned(reader->current.loseCardAt)) {
        reader->loseArmed = false;
        SetCardPresent(reader, false, reader->current.uid);
        LOG(PCSC_LOG_INFO, "reader %d: card lost during transmit %u as asked", IndexOf(reader), reader->loseTransmits);
        return IFD_ICC_NOT_PRESENT;
    }
    Delay(reader);
    const int failEvery = reader->current.failEvery;
    if (failEvery > 0 && ++reader->transmits % unsigned(failEvery) == 0) {
        LOG(PCSC_LOG_INFO, "reader %d: transmit %u fails as asked", IndexOf(reader), reader->transmits);
        return IFD_COMMUNICATION_ERROR;
    }
    uint8_t response[MAX_RESPONSE];
    const int length = AnswerApdu(&reader->slot, TxBuffer, int(TxLength), response);
    if (DWORD(length) > capacity)
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    // A link that costs time per byte, as a real reader's does.
    if (reader->current.byteDelayMicros > 0)
        usleep(useconds_t(reader->current.byteDelayMicros) * useconds_t(TxLength + DWORD(length)));
    memcpy(RxBuffer, response, length);
    *RxLength = length;
    if (RecvPci)
        RecvPci->Protocol = SendPci.Protocol;
    return IFD_SUCCESS;
}

namespace {

// The feature list or the properties, as the reader's settings cut them.
RESPONSECODE AnswerFeatures(const Reader* reader, DWORD code, PUCHAR RxBuffer, DWORD RxLength, LPDWORD pdwBytesReturned)
{
    uint8_t answer[FEATURE_ANSWER_SIZE];
    const int length = code == CM_IOCTL_GET_FEATURE_REQUEST ? AnswerFeatureRequest(reader->current.featureList, answer)
                                                            : AnswerTlvProperties(answer);
    if (!RxBuffer || RxLength < DWORD(length))
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    memcpy(RxBuffer, answer, length);
    *pdwBytesReturned = DWORD(length);
    return IFD_SUCCESS;
}

}  // namespace

DRIVER_ENTRY RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer, DWORD TxLength, PUCHAR RxBuffer,
                                      DWORD RxLength, LPDWORD pdwBytesReturned)
{
    *pdwBytesReturned = 0;
    Reader* reader = nullptr;
    if (const RESPONSECODE refused = Enter(Lun, &reader); refused != IFD_SUCCESS)
        return refused;
    Delay(reader);
    if (reader->current.failControl) {
        LOG(PCSC_LOG_INFO, "reader %d: control request fails as asked", IndexOf(reader));
        return IFD_COMMUNICATION_ERROR;
    }
    if (dwControlCode == CM_IOCTL_GET_FEATURE_REQUEST || dwControlCode == SIM_TLV_PROPERTIES_CODE)
        return AnswerFeatures(reader, dwControlCode, RxBuffer, RxLength, pdwBytesReturned);
    // The vendor record goes to the fixed code or to the CCID escape.
    if (dwControlCode != VENDOR_CONTROL_CODE && dwControlCode != SIM_ESCAPE_CODE) {
        LOG(PCSC_LOG_ERROR, "reader %d: unknown control code 0x%lX", IndexOf(reader), dwControlCode);
        return IFD_ERROR_NOT_SUPPORTED;
    }
    if (TxLength != VENDOR_RECORD_SIZE || !TxBuffer || !RxBuffer) {
        LOG(PCSC_LOG_ERROR, "reader %d: vendor record of %lu bytes", IndexOf(reader), TxLength);
        return IFD_COMMUNICATION_ERROR;
    }
    if (RxLength < VENDOR_RECORD_SIZE)
        return IFD_ERROR_INSUFFICIENT_BUFFER;
    // The buffers carry the record's bytes, not an aligned record.
    VendorIoRecord request;
    VendorIoRecord reply;
    memcpy(&request, TxBuffer, sizeof request);
    int busyMs = 0;
    if (!AnswerVendorRecord(&reader->slot, request, &reply, &busyMs)) {
        LOG(PCSC_LOG_ERROR, "reader %d: unknown vendor command %d", IndexOf(reader), request.cmd);
        return IFD_ERROR_NOT_SUPPORTED;
    }
    if (busyMs > 0)
        usleep(useconds_t(busyMs) * 1000);
    memcpy(RxBuffer, &reply, sizeof reply);
    *pdwBytesReturned = VENDOR_RECORD_SIZE;
    return IFD_SUCCESS;
}

DRIVER_ENTRY RESPONSECODE IFDHICCPresence(DWORD Lun)
{
    Reader* reader = nullptr;
    if (const RESPONSECODE refused = Enter(Lun, &reader); refused != IFD_SUCCESS)
        return refused;
    const bool removed = reader->removalPending;
    reader->removalPending = false;
    return reader->slot.cardPresent && !removed ? IFD_SUCCESS : IFD_ICC_NOT_PRESENT;
}
