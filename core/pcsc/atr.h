// The answer to reset as a tester reads it: split into its ISO 7816-3 parts
// with their meaning, and the card named from pcsc-tools' list of known ATRs.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for the longest decoding DescribeAtr writes (a 33-byte ATR) and for
// the card names of a few matching list entries.
constexpr size_t ATR_TEXT_SIZE = 2048;
constexpr size_t CARD_NAME_TEXT_SIZE = 2048;

// What is wrong with an ATR: a cut one is ATR_TRUNCATED whatever else is
// wrong, otherwise the first fault found. The decoding names every one.
enum AtrVerdict {
    ATR_WELL_FORMED,
    ATR_BAD_TS,       // the first byte is neither 3B nor 3F
    ATR_TRUNCATED,    // it stops before a byte its own bytes announce
    ATR_WRONG_TCK,    // the check byte does not match
    ATR_EXTRA_BYTES,  // bytes follow the end its own bytes announce
};

// Bytes in capitals with one blank between ("3B 8F 80"), as the known-ATR
// list, the decoding and every ATR the front ends show write them, into `out`
// of `cap` bytes, cut to fit; returns the length written.
size_t FormatHexBytes(char* out, size_t cap, const uint8_t* bytes, size_t count);

// Decodes `length` bytes of an ATR into lines ('\n' between them) in `out` of
// `cap` bytes, cut to fit: TS, T0, the interface bytes of each level with
// their meaning, the protocols offered, the historical bytes (for a PC/SC
// contactless storage card its standard and card name), and TCK. A bad or
// truncated ATR is decoded up to the fault and says where it stops.
AtrVerdict DescribeAtr(const uint8_t* atr, size_t length, char* out, size_t cap);

// The longest ATR looked up (a well-formed one holds at most 33 bytes); a
// longer one matches nothing, rather than by the part of it that fits.
constexpr size_t ATR_LOOKUP_MAX = 64;
// The most atoms a pattern may hold (a 33-byte ATR written with a bracket
// expression for every digit needs 98).
constexpr size_t ATR_PATTERN_MAX_ATOMS = 255;
// The largest list file read: pcsc-tools' own list is about 0.5 MB.
constexpr size_t ATR_LIST_MAX_SIZE = size_t(4) << 20;
constexpr size_t ATR_LIST_PATH_SIZE = 512;

// Whether `atrText` ("3B 8F 80 ...": hex digits and blanks) matches a pattern
// of pcsc-tools' list, whole, regardless of case. A pattern is a sequence of
// atoms, each a hex digit, a blank, `.` (either of those) or a bracket
// expression of hex digits, ranges such as `1-3` and commas (`^` first for
// the complement), and each may be followed by `*` (repeated none or more
// times). A pattern with anything else in it, with more than
// ATR_PATTERN_MAX_ATOMS atoms or with none matches nothing, and no atom
// matches a character of `atrText` other than a hex digit or a blank. The
// time is linear in both lengths: the pattern runs as a set of states over
// the text, without backtracking.
bool AtrPatternMatches(const char* pattern, const char* atrText);

// The description lines (without their tab, '\n' between them) of every entry
// of a list's text, `size` bytes, whose pattern matches the ATR, into `out` of
// `cap` bytes, cut to fit; the number of entries that matched. A line that
// starts with a tab describes the pattern line above it; '#' starts a comment.
int FindAtrInList(const char* list, size_t size, const uint8_t* atr, size_t length, char* out, size_t cap);

enum AtrListRead {
    ATR_LIST_NOT_READ,     // nothing read yet (a zeroed record)
    ATR_LIST_READ,         // the whole file is in `text`
    ATR_LIST_MISSING,      // nothing at the path, or no path
    ATR_LIST_NOT_REGULAR,  // a directory, pipe, device or socket: never read
    ATR_LIST_TOO_LARGE,    // more than ATR_LIST_MAX_SIZE bytes
    ATR_LIST_UNREADABLE,   // open or read failed
};

// What tells one version of a file from another.
struct FileStamp {
    uint64_t device;
    uint64_t inode;
    int64_t bytes;
    int64_t modifiedNs;
    int64_t changedNs;
};

// A list file as last read. Anything but a regular file is refused before it
// is opened (a pipe would wait for a writer) and again after; the file is
// opened without waiting and read whole, or not at all.
struct AtrListFile {
    AtrListRead read;
    char path[ATR_LIST_PATH_SIZE];     // where it was read from
    FileStamp stamp;                   // of the file read; zero when there was none
    size_t size;                       // of `text`, 0 unless read
    char text[ATR_LIST_MAX_SIZE + 1];  // '\0' after the last byte
};

// Reads the list file at `path` into `file`; the verdict, also in file->read.
AtrListRead ReadAtrList(const char* path, AtrListFile* file);

// pcsc_scan's two lists as last read, and the last card named from them: a
// lookup reads a list again only when its file changed, and names the same
// card again without a scan while neither did. Zeroed before first use.
struct KnownAtrLists {
    AtrListFile user;    // ~/.cache/smartcard_list.txt
    AtrListFile system;  // /usr/share/pcsc/smartcard_list.txt
    bool remembered;     // the fields below hold the last lookup
    uint8_t atr[ATR_LOOKUP_MAX];
    size_t atrLength;
    int entries;
    char names[CARD_NAME_TEXT_SIZE];
};

// The card's names as pcsc_scan finds them, cut to fit `out` of `cap` bytes
// (at most CARD_NAME_TEXT_SIZE - 1 characters): from the user's
// ~/.cache/smartcard_list.txt when it names the card, else from pcsc-tools'
// /usr/share/pcsc/smartcard_list.txt. 0 when neither does.
int IdentifyCard(KnownAtrLists* lists, const uint8_t* atr, size_t length, char* out, size_t cap);
