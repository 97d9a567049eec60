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

// The most atoms a pattern may hold (a 33-byte ATR written with a bracket
// expression for every digit needs 98).
constexpr size_t ATR_PATTERN_MAX_ATOMS = 255;

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
// of the list file at `path` whose pattern matches the ATR, into `out` of
// `cap` bytes; the number of entries that matched. A missing or unreadable
// file matches nothing.
int FindAtrInList(const char* path, const uint8_t* atr, size_t length, char* out, size_t cap);

// The card's names as pcsc_scan finds them: from the user's
// ~/.cache/smartcard_list.txt when it names the card, else from pcsc-tools'
// /usr/share/pcsc/smartcard_list.txt. 0 when neither does.
int IdentifyCard(const uint8_t* atr, size_t length, char* out, size_t cap);
