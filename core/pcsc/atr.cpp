// The ATR decoder and the known-ATR lookup. The lookup reads pcsc-tools'
// list where the system keeps it, whole, into its caller's record: the list
// is never part of this program.
#include "core/pcsc/atr.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Text written into a caller's buffer, cut where it ends.
struct Text {
    char* out;
    size_t cap;
    size_t used;
};

[[gnu::format(printf, 2, 3)]] void Put(Text* text, const char* format, ...)
{
    if (text->used + 1 >= text->cap)
        return;
    va_list args;
    va_start(args, format);
    const int written = vsnprintf(text->out + text->used, text->cap - text->used, format, args);
    va_end(args);
    if (written > 0)
        text->used = text->used + size_t(written) < text->cap ? text->used + size_t(written) : text->cap - 1;
}

// Starts a line: every line but the first follows a '\n'.
void NewLine(Text* text)
{
    if (text->used > 0)
        Put(text, "\n");
}

void PutHex(Text* text, const uint8_t* bytes, size_t count)
{
    if (text->used + 1 < text->cap)
        text->used += FormatHexBytes(text->out + text->used, text->cap - text->used, bytes, count);
}

// TA1: the clock rate conversion factor Fi with the highest clock it allows
// (in tenths of MHz), and the baud rate adjustment factor Di; 0 is reserved.
const unsigned FI[16] = {372, 372, 558, 744, 1116, 1488, 1860, 0, 0, 512, 768, 1024, 1536, 2048, 0, 0};
const unsigned F_MAX_TENTHS[16] = {40, 50, 60, 80, 120, 160, 200, 0, 0, 50, 75, 100, 150, 200, 0, 0};
const unsigned DI[16] = {0, 1, 2, 4, 8, 16, 32, 64, 12, 20, 0, 0, 0, 0, 0, 0};

struct Named {
    unsigned value;
    const char* name;
};

// The standard byte SS of a PC/SC contactless storage card's ATR.
const Named CONTACTLESS_STANDARDS[] = {
    {0x00, "no information given"},
    {0x01, "ISO 14443 A, part 1"},
    {0x02, "ISO 14443 A, part 2"},
    {0x03, "ISO 14443 A, part 3"},
    {0x05, "ISO 14443 B, part 1"},
    {0x06, "ISO 14443 B, part 2"},
    {0x07, "ISO 14443 B, part 3"},
    {0x09, "ISO 15693, part 1"},
    {0x0A, "ISO 15693, part 2"},
    {0x0B, "ISO 15693, part 3"},
    {0x0C, "ISO 15693, part 4"},
    {0x0D, "contact card (ISO 7816-10), I2C"},
    {0x0E, "contact card (ISO 7816-10), extended I2C"},
    {0x0F, "contact card (ISO 7816-10), 2WBP"},
    {0x10, "contact card (ISO 7816-10), 3WBP"},
    {0x11, "FeliCa"},
    {0x40, "low frequency contactless card"},
};

// The card name bytes NN NN of the same ATR.
const Named CONTACTLESS_CARD_NAMES[] = {
    {0x0000, "no name given"},
    {0x0001, "MIFARE Classic 1K"},
    {0x0002, "MIFARE Classic 4K"},
    {0x0003, "MIFARE Ultralight"},
    {0x0004, "SLE55R_XXXX"},
    {0x0006, "SR176"},
    {0x0007, "SRI X4K"},
    {0x0008, "AT88RF020"},
    {0x0009, "AT88SC0204CRF"},
    {0x000A, "AT88SC0808CRF"},
    {0x000B, "AT88SC1616CRF"},
    {0x000C, "AT88SC3216CRF"},
    {0x000D, "AT88SC6416CRF"},
    {0x000E, "SRF55V10P"},
    {0x000F, "SRF55V02P"},
    {0x0010, "SRF55V10S"},
    {0x0011, "SRF55V02S"},
    {0x0012, "TAG_IT"},
    {0x0013, "LRI512"},
    {0x0014, "ICODE SLI"},
    {0x0015, "TEMPSENS"},
    {0x0016, "I.CODE1"},
    {0x0017, "PicoPass 2K"},
    {0x0018, "PicoPass 2KS"},
    {0x0019, "PicoPass 16K"},
    {0x001A, "PicoPass 16KS"},
    {0x001B, "PicoPass 16K (8x2)"},
    {0x001C, "PicoPass 16KS (8x2)"},
    {0x001D, "PicoPass 32KS (16+16)"},
    {0x001E, "PicoPass 32KS (16+8x2)"},
    {0x001F, "PicoPass 32KS (8x2+16)"},
    {0x0020, "PicoPass 32KS (8x2+8x2)"},
    {0x0021, "LRI64"},
    {0x0022, "I.CODE UID"},
    {0x0023, "I.CODE EPC"},
    {0x0024, "LRI12"},
    {0x0025, "LRI128"},
    {0x0026, "MIFARE Mini"},
    {0x0027, "my-d move (SLE 66R01P)"},
    {0x0028, "my-d NFC (SLE 66RxxP)"},
    {0x0029, "my-d proximity 2 (SLE 66RxxS)"},
    {0x002A, "my-d proximity enhanced (SLE 55RxxE)"},
    {0x002B, "my-d light (SRF 55V01P)"},
    {0x002C, "PJM Stack Tag (SRF 66V10ST)"},
    {0x002D, "PJM Item Tag (SRF 66V10IT)"},
    {0x002E, "PJM Light (SRF 66V01ST)"},
    {0x002F, "Jewel Tag"},
    {0x0030, "Topaz NFC Tag"},
    {0x0031, "AT88SC0104CRF"},
    {0x0032, "AT88SC0404CRF"},
    {0x0033, "AT88RF01C"},
    {0x0034, "AT88RF04C"},
    {0x0035, "i-Code SL2"},
    {0x0036, "MIFARE Plus SL1 2K"},
    {0x0037, "MIFARE Plus SL1 4K"},
    {0x0038, "MIFARE Plus SL2 2K"},
    {0x0039, "MIFARE Plus SL2 4K"},
    {0x003A, "MIFARE Ultralight C"},
    {0x003B, "FeliCa"},
    {0x003C, "Melexis Sensor Tag (MLX90129)"},
    {0x003D, "MIFARE Ultralight EV1"},
};

template<size_t N> const char* NameOf(const Named (&table)[N], unsigned value)
{
    for (const Named& named : table)
        if (named.value == value)
            return named.name;
    return "not known";
}

// Historical bytes of a PC/SC contactless storage card: a compact-TLV
// application identifier of PC/SC's RID, then SS, NN NN and four zero bytes.
const uint8_t CONTACTLESS_PREFIX[] = {0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06};
constexpr size_t CONTACTLESS_HISTORICAL_SIZE = 15;

void PutFiDi(Text* text, uint8_t value)
{
    const unsigned fi = FI[value >> 4], di = DI[value & 0x0F];
    if (fi)
        Put(text, "Fi = %u", fi);
    else
        Put(text, "Fi reserved");
    if (di)
        Put(text, ", Di = %u", di);
    else
        Put(text, ", Di reserved");
    const unsigned fMax = F_MAX_TENTHS[value >> 4];
    if (fMax % 10)
        Put(text, ", up to %u.%u MHz", fMax / 10, fMax % 10);
    else if (fMax)
        Put(text, ", up to %u MHz", fMax / 10);
}

// The meaning of interface byte TA, TB or TC (`letter`) of `level`, where
// `protocol` is the one TD(level - 1) names.
void PutInterfaceByte(Text* text, char letter, int level, int protocol, uint8_t value)
{
    NewLine(text);
    Put(text, "T%c%d = %02X: ", letter, level, value);
    if (level == 1 && letter == 'A')
        PutFiDi(text, value);
    else if (level <= 2 && letter == 'B')
        Put(text, "%s (deprecated byte)", value ? "programming voltage" : "no programming voltage");
    else if (level == 1 && letter == 'C')
        Put(text, value == 0xFF ? "least guard time of the protocol" : "extra guard time %u etu", value);
    else if (level == 2 && letter == 'A')
        Put(text, "specific mode T=%u, %s, %s", value & 0x0F, value & 0x80 ? "not changeable" : "changeable",
            value & 0x10 ? "implicit Fi/Di" : "Fi/Di from TA1");
    else if (level == 2 && letter == 'C' && protocol == 0)
        Put(text, "waiting time integer WI = %u", value);
    else if (level >= 3 && protocol == 1 && letter == 'A')
        Put(text, "IFSC %u bytes", value);
    else if (level >= 3 && protocol == 1 && letter == 'B')
        Put(text, "BWI = %u, CWI = %u", value >> 4, value & 0x0F);
    else if (level >= 3 && protocol == 1 && letter == 'C')
        Put(text, "error detection by %s", value & 0x01 ? "CRC" : "LRC");
    else if (level >= 3 && protocol == 15 && letter == 'A') {
        static const char* const clockStop[4] = {"no clock stop", "clock stop in state L", "clock stop in state H",
                                                 "clock stop in either state"};
        Put(text, "%s, class%s%s%s", clockStop[value >> 6], value & 0x01 ? " A (5 V)" : "",
            value & 0x02 ? " B (3 V)" : "", value & 0x04 ? " C (1.8 V)" : "");
    } else
        Put(text, "for T=%d", protocol);
}

void PutHistoricalBytes(Text* text, const uint8_t* bytes, size_t count, size_t announced)
{
    NewLine(text);
    Put(text, "Historical bytes (%zu): ", announced);
    PutHex(text, bytes, count);
    if (count == 0)
        return;
    bool printable = true;
    for (size_t i = 0; i < count; i++)
        printable = printable && isprint(bytes[i]);
    if (printable)
        Put(text, " \"%.*s\"", int(count), reinterpret_cast<const char*>(bytes));
    const uint8_t category = bytes[0];
    NewLine(text);
    if (category == 0x00)
        Put(text, "Category 00: status in the last three bytes");
    else if (category == 0x10)
        Put(text, "Category 10: DIR data reference");
    else if (category == 0x80)
        Put(text, "Category 80: compact-TLV data objects");
    else if (category > 0x80 && category <= 0x8F)
        Put(text, "Category %02X: reserved", category);
    else
        Put(text, "Category %02X: proprietary", category);
    if (count == CONTACTLESS_HISTORICAL_SIZE && memcmp(bytes, CONTACTLESS_PREFIX, sizeof CONTACTLESS_PREFIX) == 0) {
        const uint8_t standard = bytes[8];
        const unsigned name = unsigned(bytes[9]) << 8 | bytes[10];
        NewLine(text);
        Put(text, "PC/SC contactless card: standard %02X (%s), card name %02X %02X (%s)", standard,
            NameOf(CONTACTLESS_STANDARDS, standard), bytes[9], bytes[10], NameOf(CONTACTLESS_CARD_NAMES, name));
    }
}

// Y of T0 or a TD: which interface bytes of `level` follow.
void PutFollowing(Text* text, unsigned present, int level)
{
    Put(text, "Y%d = %X (", level, present);
    if (present == 0)
        Put(text, "none");
    for (int i = 0; i < 4; i++)
        if (present & (1u << i))
            Put(text, "%sT%c%d", present & ((1u << i) - 1) ? " " : "", "ABCD"[i], level);
    Put(text, ")");
}

AtrVerdict Truncated(Text* text, size_t length, const char* missing)
{
    NewLine(text);
    Put(text, "The ATR stops after %zu byte%s, before %s", length, length == 1 ? "" : "s", missing);
    return ATR_TRUNCATED;
}

}  // namespace

AtrVerdict DescribeAtr(const uint8_t* atr, size_t length, char* out, size_t cap)
{
    Text text {out, cap, 0};
    if (cap > 0)
        out[0] = '\0';
    if (length == 0)
        return Truncated(&text, 0, "TS");
    AtrVerdict verdict = ATR_WELL_FORMED;
    if (atr[0] == 0x3B || atr[0] == 0x3F)
        Put(&text, "TS = %02X: %s convention", atr[0], atr[0] == 0x3B ? "direct" : "inverse");
    else {
        Put(&text, "TS = %02X: not an initial character (3B or 3F)", atr[0]);
        verdict = ATR_BAD_TS;
    }
    if (length < 2)
        return Truncated(&text, length, "T0");

    const size_t historical = atr[1] & 0x0F;
    unsigned present = atr[1] >> 4;  // which of TA, TB, TC, TD follow
    NewLine(&text);
    Put(&text, "T0 = %02X: ", atr[1]);
    PutFollowing(&text, present, 1);
    Put(&text, ", K = %zu historical byte%s", historical, historical == 1 ? "" : "s");

    size_t at = 2;
    int level = 1;
    int protocol = -1;       // the protocol the last TD named
    unsigned offered = 0;    // a bit per protocol the TD bytes name
    bool checkByte = false;  // a TCK follows: some protocol other than T=0 is named
    for (;;) {
        for (int i = 0; i < 3; i++) {
            if (!(present & (1u << i)))
                continue;
            char name[16];
            snprintf(name, sizeof name, "T%c%d", "ABC"[i], level);
            if (at >= length)
                return Truncated(&text, length, name);
            PutInterfaceByte(&text, "ABC"[i], level, protocol, atr[at++]);
        }
        if (!(present & 0x8))
            break;
        char name[16];
        snprintf(name, sizeof name, "TD%d", level);
        if (at >= length)
            return Truncated(&text, length, name);
        const uint8_t td = atr[at++];
        protocol = td & 0x0F;
        present = td >> 4;
        offered |= 1u << protocol;
        checkByte = checkByte || protocol != 0;
        NewLine(&text);
        Put(&text, "TD%d = %02X: %s T=%d, ", level, td, protocol == 15 ? "global bytes" : "protocol", protocol);
        level++;
        PutFollowing(&text, present, level);
    }

    NewLine(&text);
    if (offered & ~(1u << 15)) {
        Put(&text, "Protocols offered:");
        for (int t = 0; t < 15; t++)
            if (offered & (1u << t))
                Put(&text, " T=%d", t);
    } else
        Put(&text, "Protocols offered: T=0 (no protocol named)");

    const size_t available = length - at < historical ? length - at : historical;
    PutHistoricalBytes(&text, atr + at, available, historical);
    if (available < historical) {
        char missing[32];
        snprintf(missing, sizeof missing, "historical byte %zu", available + 1);
        return Truncated(&text, length, missing);
    }
    at += historical;

    NewLine(&text);
    if (!checkByte)
        Put(&text, "TCK: none, as only T=0 is offered");
    else if (at >= length)
        return Truncated(&text, length, "TCK");
    else {
        uint8_t sum = 0;
        for (size_t i = 1; i <= at; i++)
            sum ^= atr[i];
        if (sum == 0)
            Put(&text, "TCK = %02X: right", atr[at]);
        else {
            Put(&text, "TCK = %02X: wrong, %02X expected", atr[at], uint8_t(atr[at] ^ sum));
            if (verdict == ATR_WELL_FORMED)
                verdict = ATR_WRONG_TCK;
        }
        at++;
    }
    if (at < length) {
        NewLine(&text);
        Put(&text, "Bytes after the end of the ATR: ");
        PutHex(&text, atr + at, length - at);
        if (verdict == ATR_WELL_FORMED)
            verdict = ATR_EXTRA_BYTES;
    }
    return verdict;
}

namespace {

// The characters an ATR's text is made of: the sixteen hex digits, then the
// blank. A pattern atom is the set of them it accepts, one bit each.
constexpr int SYMBOLS = 17;
constexpr int BLANK = 16;
constexpr uint32_t ANY = (1u << SYMBOLS) - 1;

// The symbol of a character of either case, or -1 for one outside the set.
int Symbol(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c == ' ' ? BLANK : -1;
}

// The digits of a bracket range from `low` to `high` (symbols), inclusive.
uint32_t DigitRange(int low, int high)
{
    return ((1u << (high + 1)) - 1) & ~((1u << low) - 1);
}

// A bracket expression from `p` (just past its '['), up to `end`: its set of
// symbols and the character after its ']'; nullptr for anything but hex
// digits, ranges and commas, or when it never closes.
const char* ParseBracket(const char* p, const char* end, uint32_t* set)
{
    const bool complement = p < end && *p == '^';
    p += complement;
    *set = 0;
    bool members = false;
    while (p < end && *p != ']') {
        members = true;
        if (*p == ',') {  // a member no ATR text holds
            p++;
            continue;
        }
        const int low = Symbol(*p);
        if (low < 0 || low == BLANK)
            return nullptr;
        if (p + 2 < end && p[1] == '-') {
            const int high = Symbol(p[2]);
            if (high < low || high == BLANK)
                return nullptr;
            *set |= DigitRange(low, high);
            p += 3;
        } else {
            *set |= 1u << low;
            p++;
        }
    }
    if (p == end || !members)
        return nullptr;
    if (complement)
        *set = ~*set & ANY;
    return p + 1;
}

// The pattern as a set of states run over the text. State i means "atoms 0
// to i-1 matched the text read so far"; state `atoms` is the whole match.
// Each state is one bit, 64 to a word, so one character moves every state at
// once.
constexpr size_t STATE_WORDS = (ATR_PATTERN_MAX_ATOMS + 1 + 63) / 64;

struct Automaton {
    uint64_t accepts[SYMBOLS][STATE_WORDS];  // bit i: atom i accepts the symbol
    uint64_t repeats[STATE_WORDS];           // bit i: atom i carries a '*'
    size_t atoms;
    size_t words;  // the words that hold states 0 to `atoms`
};

// Brings word `word` into use, cleared: only the words a pattern needs are.
void UseWord(Automaton* automaton, size_t word)
{
    for (; automaton->words <= word; automaton->words++) {
        for (int s = 0; s < SYMBOLS; s++)
            automaton->accepts[s][automaton->words] = 0;
        automaton->repeats[automaton->words] = 0;
    }
}

// Builds the automaton of `size` bytes of pattern; false when the pattern is
// refused. Reads nothing past `pattern + size`.
bool Compile(const char* pattern, size_t size, Automaton* automaton)
{
    automaton->atoms = 0;
    automaton->words = 0;
    const char* end = pattern + size;
    for (const char* p = pattern; p < end;) {
        uint32_t set = 0;
        if (*p == '.') {
            set = ANY;
            p++;
        } else if (*p == '[') {
            p = ParseBracket(p + 1, end, &set);
            if (!p)
                return false;
        } else {
            const int symbol = Symbol(*p++);
            if (symbol < 0)
                return false;
            set = 1u << symbol;
        }
        const bool repeated = p < end && *p == '*';
        p += repeated;
        const size_t atom = automaton->atoms++;
        if (atom == ATR_PATTERN_MAX_ATOMS)
            return false;
        const uint64_t bit = uint64_t(1) << (atom % 64);
        UseWord(automaton, atom / 64);
        for (int s = 0; s < SYMBOLS; s++)
            if (set & (1u << s))
                automaton->accepts[s][atom / 64] |= bit;
        if (repeated)
            automaton->repeats[atom / 64] |= bit;
    }
    UseWord(automaton, automaton->atoms / 64);
    return automaton->atoms > 0;
}

// Adds to `states` every state reached through repeated atoms without
// reading: a state whose atom repeats also stands for the next one, along
// runs of repeated atoms. That is the carry of adding `repeats` and the
// states in them: a carry starts at such a state and runs while the atoms
// repeat.
void Close(const Automaton& automaton, uint64_t* states)
{
    uint64_t carry = 0;
    for (size_t w = 0; w < automaton.words; w++) {
        const uint64_t starts = states[w] & automaton.repeats[w];
        const uint64_t sum = automaton.repeats[w] + starts;
        uint64_t out = sum < starts;
        const uint64_t total = sum + carry;
        out |= total < sum;
        states[w] |= total ^ automaton.repeats[w] ^ starts;
        carry = out;
    }
}

bool Run(const Automaton& automaton, const char* text)
{
    uint64_t states[STATE_WORDS] = {1};
    Close(automaton, states);
    for (const char* c = text; *c; c++) {
        const int symbol = Symbol(*c);
        if (symbol < 0)
            return false;
        uint64_t moved = 0;  // the top bit of the word below, shifted in
        uint64_t alive = 0;
        for (size_t w = 0; w < automaton.words; w++) {
            const uint64_t taken = states[w] & automaton.accepts[symbol][w];
            const uint64_t stepped = taken & ~automaton.repeats[w];
            states[w] = (taken & automaton.repeats[w]) | stepped << 1 | moved;
            moved = stepped >> 63;
            alive |= states[w];
        }
        if (!alive)
            return false;
        Close(automaton, states);
    }
    return states[automaton.atoms / 64] >> (automaton.atoms % 64) & 1;
}

// Whether the plain start of a pattern (hex digits and blanks, none
// repeated) already differs from the text. Most patterns of a list differ
// from an ATR within their first few characters, and are told apart so
// without being compiled.
bool PlainStartDiffers(const char* pattern, size_t size, const char* text)
{
    for (size_t i = 0; i < size && Symbol(pattern[i]) >= 0; i++) {
        if (i + 1 < size && pattern[i + 1] == '*')
            return false;
        if (text[i] == '\0' || Symbol(text[i]) != Symbol(pattern[i]))
            return true;
    }
    return false;
}

bool PatternMatches(const char* pattern, size_t size, const char* atrText)
{
    Automaton automaton;
    return !PlainStartDiffers(pattern, size, atrText) && Compile(pattern, size, &automaton) && Run(automaton, atrText);
}

bool SameAtr(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength)
{
    if (aLength != bLength)
        return false;
    for (size_t i = 0; i < aLength; i++)
        if (a[i] != b[i])
            return false;
    return true;
}

FileStamp StampOf(const struct stat& info)
{
    return FileStamp {uint64_t(info.st_dev), uint64_t(info.st_ino), int64_t(info.st_size),
                      int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                      int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

bool SameStamp(const FileStamp& a, const FileStamp& b)
{
    return a.device == b.device && a.inode == b.inode && a.bytes == b.bytes && a.modifiedNs == b.modifiedNs
        && a.changedNs == b.changedNs;
}

AtrListRead Refused(AtrListFile* file, AtrListRead verdict)
{
    file->size = 0;
    file->text[0] = '\0';
    file->read = verdict;
    return verdict;
}

// The stamp a path has now; zero when nothing can be found there.
FileStamp StampAt(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 ? StampOf(info) : FileStamp {};
}

// Reads the list at `path` again unless it is the file read last time;
// whether it did.
bool Refresh(const char* path, AtrListFile* file)
{
    if (file->read != ATR_LIST_NOT_READ && strcmp(file->path, path) == 0 && SameStamp(StampAt(path), file->stamp))
        return false;
    ReadAtrList(path, file);
    return true;
}

}  // namespace

size_t FormatHexBytes(char* out, size_t cap, const uint8_t* bytes, size_t count)
{
    if (cap == 0)
        return 0;
    out[0] = '\0';
    size_t used = 0;
    for (size_t i = 0; i < count && used + 1 < cap; i++) {
        const int written = snprintf(out + used, cap - used, i ? " %02X" : "%02X", bytes[i]);
        used = used + size_t(written) < cap ? used + size_t(written) : cap - 1;
    }
    return used;
}

bool AtrPatternMatches(const char* pattern, const char* atrText)
{
    return PatternMatches(pattern, strlen(pattern), atrText);
}

int FindAtrInList(const char* list, size_t size, const uint8_t* atr, size_t length, char* out, size_t cap)
{
    Text names {out, cap, 0};
    if (cap > 0)
        out[0] = '\0';
    if (length > ATR_LOOKUP_MAX)
        return 0;
    // The list writes an ATR as its bytes in capitals with one space between.
    char atrText[3 * ATR_LOOKUP_MAX];
    FormatHexBytes(atrText, sizeof atrText, atr, length);
    int matched = 0;
    bool describing = false;  // the lines that follow describe a matching pattern
    const char* end = list + size;
    for (const char* line = list; line < end;) {
        const char* newline = static_cast<const char*>(memchr(line, '\n', size_t(end - line)));
        const char* stop = newline ? newline : end;
        const char* next = newline ? newline + 1 : end;
        while (stop > line && stop[-1] == '\r')
            stop--;
        const size_t chars = size_t(stop - line);
        if (chars > 0 && line[0] == '\t') {
            if (describing) {
                NewLine(&names);
                Put(&names, "%.*s", int(chars - 1), line + 1);
            }
        } else {
            describing = chars > 0 && line[0] != '#' && PatternMatches(line, chars, atrText);
            matched += describing;
        }
        line = next;
    }
    return matched;
}

AtrListRead ReadAtrList(const char* path, AtrListFile* file)
{
    if (snprintf(file->path, sizeof file->path, "%s", path) >= int(sizeof file->path))
        file->path[0] = '\0';  // never the same as a path that fits
    file->stamp = FileStamp {};
    struct stat info;
    if (stat(path, &info) != 0)
        return Refused(file, errno == ENOENT || errno == ENOTDIR ? ATR_LIST_MISSING : ATR_LIST_UNREADABLE);
    file->stamp = StampOf(info);
    if (!S_ISREG(info.st_mode))
        return Refused(file, ATR_LIST_NOT_REGULAR);
    if (uint64_t(info.st_size) > ATR_LIST_MAX_SIZE)
        return Refused(file, ATR_LIST_TOO_LARGE);
    // What is opened may no longer be what stat saw: it is checked again.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Refused(file, errno == ENOENT ? ATR_LIST_MISSING : ATR_LIST_UNREADABLE);
    AtrListRead verdict = ATR_LIST_READ;
    if (fstat(fd, &info) != 0)
        verdict = ATR_LIST_UNREADABLE;
    else if (!S_ISREG(info.st_mode))
        verdict = ATR_LIST_NOT_REGULAR;
    else if (uint64_t(info.st_size) > ATR_LIST_MAX_SIZE)
        verdict = ATR_LIST_TOO_LARGE;
    else
        file->stamp = StampOf(info);
    // Read until the end, one byte more than the bound telling a file that
    // grew past it since.
    size_t size = 0;
    while (verdict == ATR_LIST_READ) {
        char more;
        const bool full = size == ATR_LIST_MAX_SIZE;
        const ssize_t got = full ? read(fd, &more, 1) : read(fd, file->text + size, ATR_LIST_MAX_SIZE - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            verdict = ATR_LIST_UNREADABLE;
        else if (got > 0 && full)
            verdict = ATR_LIST_TOO_LARGE;
        else if (got == 0)
            break;
        else
            size += size_t(got);
    }
    close(fd);
    if (verdict != ATR_LIST_READ)
        return Refused(file, verdict);
    file->size = size;
    file->text[size] = '\0';
    file->read = ATR_LIST_READ;
    return ATR_LIST_READ;
}

int IdentifyCard(KnownAtrLists* lists, const uint8_t* atr, size_t length, char* out, size_t cap)
{
    if (cap > 0)
        out[0] = '\0';
    if (length > ATR_LOOKUP_MAX)
        return 0;
    const char* home = getenv("HOME");
    char user[ATR_LIST_PATH_SIZE] = "";  // no HOME: a path where nothing is
    if (home && snprintf(user, sizeof user, "%s/.cache/smartcard_list.txt", home) >= int(sizeof user))
        user[0] = '\0';
    bool changed = Refresh(user, &lists->user);
    changed = Refresh("/usr/share/pcsc/smartcard_list.txt", &lists->system) || changed;
    if (changed || !lists->remembered || !SameAtr(atr, length, lists->atr, lists->atrLength)) {
        lists->entries =
            FindAtrInList(lists->user.text, lists->user.size, atr, length, lists->names, sizeof lists->names);
        if (lists->entries == 0)
            lists->entries =
                FindAtrInList(lists->system.text, lists->system.size, atr, length, lists->names, sizeof lists->names);
        for (size_t i = 0; i < length; i++)
            lists->atr[i] = atr[i];
        lists->atrLength = length;
        lists->remembered = true;
    }
    if (cap > 0)
        snprintf(out, cap, "%s", lists->names);
    return lists->entries;
}
