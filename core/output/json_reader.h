// A reader of JSON text for files this program wrote and reads back (a
// passport, qualify's JSON lines), which may come from anywhere: strict
// JSON, one value or a sequence of values apart by blanks (JSON lines), into
// fixed pools of values and of text, nested at most JSON_NESTING_MAX deep;
// an object that names a member twice is refused, so that what a member
// reads as never depends on which copy is taken.
// Every read is bounds-checked; what is not JSON is refused with the byte
// and line where it goes wrong, never read past its end.
#pragma once

#include <cstddef>
#include <cstdint>

enum JsonType : int32_t {
    JSON_NULL,
    JSON_FALSE,
    JSON_TRUE,
    JSON_NUMBER,
    JSON_STRING,
    JSON_ARRAY,
    JSON_OBJECT,
};

// The deepest nesting of arrays and objects read (a passport takes 5).
constexpr int32_t JSON_NESTING_MAX = 32;
// The most values one text holds, and members one object or array holds
// (which bounds what a comparison of two documents looks through).
constexpr int32_t JSON_VALUES_MAX = 65536;
constexpr int32_t JSON_MEMBERS_MAX = 4096;
// The largest text read; its decoded strings and numbers always fit a text
// pool of this size and 2 bytes more (each ends in a NUL).
constexpr uint32_t JSON_TEXT_MAX = uint32_t(4) << 20;
// The longest number taken, in characters.
constexpr int32_t JSON_NUMBER_LENGTH_MAX = 64;

constexpr int32_t JSON_NONE = -1;

// One value. Strings and keys are decoded (escapes resolved) into the
// document's text pool, each ending in a NUL; a number keeps its text as
// written beside its value. A string holds no NUL: \u0000 is refused.
struct JsonValue {
    JsonType type;
    uint32_t offset;  // of its first byte in the text read
    int32_t line;     // 1-based
    int32_t key;      // a member of an object: its name in the pool; else JSON_NONE
    int32_t text;     // a string: its bytes in the pool; a number: as written; else JSON_NONE
    uint32_t length;  // of `text`
    double number;    // a number's value
    int32_t first;    // an array's or object's first member; JSON_NONE for none
    int32_t next;     // the next member of its array or object, or the next top-level value
    int32_t count;    // an array's or object's members
};

struct JsonDocument {
    JsonValue values[JSON_VALUES_MAX];
    int32_t valueCount;
    int32_t first;  // the first top-level value; JSON_NONE for an empty text
    int32_t topCount;
    char pool[JSON_TEXT_MAX + 2];
    uint32_t poolUsed;
};

// Where and why a text is not what the reader takes.
struct JsonFailure {
    uint32_t offset;  // the byte where it goes wrong (the length for a text cut short)
    int32_t line;     // 1-based
    char reason[128];
};

// Reads `length` bytes of `text` (NUL bytes are not JSON) into `document`:
// the values at the top level in their order. False, with `failure`, for
// any byte that is not JSON, a text cut short, a value nested deeper than
// JSON_NESTING_MAX, more values or members than the pools hold, a number
// beyond a double or longer than JSON_NUMBER_LENGTH_MAX, an escape that is
// none or a lone surrogate, and bytes that are not UTF-8. An empty text (or
// one of blanks) holds no value and is no failure.
bool ReadJson(const char* text, uint32_t length, JsonDocument* document, JsonFailure* failure);

// The member of object `object` named `name` (the first of that name);
// JSON_NONE for none, or when `object` is no object.
int32_t JsonMember(const JsonDocument& document, int32_t object, const char* name);
// The string `value` holds (a number: as written); null for another type.
const char* JsonText(const JsonDocument& document, int32_t value);
// The name of member `value`; null for a value that is no member.
const char* JsonMemberName(const JsonDocument& document, int32_t value);
