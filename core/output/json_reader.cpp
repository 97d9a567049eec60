// The JSON reader: recursive descent, bounded by JSON_NESTING_MAX, over a
// text that need not end in a NUL; every byte looked at is checked against
// the text's length first.
#include "core/output/json_reader.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/files/input_file.h"
#include "core/output/utf8.h"

namespace {

struct Reader {
    const char* text;
    uint32_t length;
    uint32_t at;
    int32_t line;
    JsonDocument* document;
    JsonFailure* failure;
};

[[gnu::format(printf, 3, 4)]] bool Refuse(Reader* reader, uint32_t offset, const char* format, ...)
{
    reader->failure->offset = offset;
    reader->failure->line = reader->line;
    va_list args;
    va_start(args, format);
    vsnprintf(reader->failure->reason, sizeof reader->failure->reason, format, args);
    va_end(args);
    return false;
}

bool AtEnd(const Reader& reader)
{
    return reader.at >= reader.length;
}

unsigned char Peek(const Reader& reader)
{
    return static_cast<unsigned char>(reader.text[reader.at]);
}

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

// Skips blanks; true when there were any.
bool SkipBlanks(Reader* reader)
{
    uint32_t start = reader->at;
    while (!AtEnd(*reader)) {
        unsigned char c = Peek(*reader);
        if (c == '\n')
            ++reader->line;
        else if (c != ' ' && c != '\t' && c != '\r')
            break;
        ++reader->at;
    }
    return reader->at != start;
}

// "unexpected 'x'", or the byte in hex when it is no printable character.
bool RefuseByte(Reader* reader, const char* what)
{
    if (AtEnd(*reader))
        return Refuse(reader, reader->at, "the text ends before %s", what);
    unsigned char c = Peek(*reader);
    if (c > 0x20 && c < 0x7F)
        return Refuse(reader, reader->at, "'%c' where %s belongs", c, what);
    return Refuse(reader, reader->at, "byte 0x%02X where %s belongs", c, what);
}

int32_t NewValue(Reader* reader, JsonType type, uint32_t offset, int32_t key)
{
    JsonDocument* document = reader->document;
    if (document->valueCount == JSON_VALUES_MAX) {
        Refuse(reader, offset, "more than %d values", int(JSON_VALUES_MAX));
        return JSON_NONE;
    }
    int32_t index = document->valueCount++;
    document->values[index] = JsonValue {type, offset, reader->line, key, JSON_NONE, 0, 0, JSON_NONE, JSON_NONE, 0};
    return index;
}

bool Put(Reader* reader, const void* bytes, uint32_t count)
{
    JsonDocument* document = reader->document;
    // The pool holds every string of the largest text; this never fails for one.
    if (document->poolUsed + count + 1 > sizeof document->pool)
        return Refuse(reader, reader->at, "more text than the reader holds");
    memcpy(document->pool + document->poolUsed, bytes, count);
    document->poolUsed += count;
    return true;
}

bool EndText(Reader* reader)
{
    return Put(reader, "", 1);
}

// Four hex digits after "\u" at `at`.
bool ReadHex4(Reader* reader, uint32_t at, uint32_t* code)
{
    if (at + 4 > reader->length)
        return Refuse(reader, reader->length, "the text ends inside a \\u escape");
    *code = 0;
    for (uint32_t i = at; i < at + 4; ++i) {
        unsigned char c = static_cast<unsigned char>(reader->text[i]);
        int digit = IsDigit(c) ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
        if (digit < 0)
            return Refuse(reader, at - 2, "a \\u escape takes four hex digits");
        *code = *code << 4 | uint32_t(digit);
    }
    return true;
}

// The escape at reader->at ('\\'), decoded into the pool.
bool ReadEscape(Reader* reader)
{
    uint32_t start = reader->at;
    if (start + 1 >= reader->length)
        return Refuse(reader, reader->length, "the text ends inside an escape");
    char c = reader->text[start + 1];
    const char* from = "\"\\/bfnrt";
    const char* to = "\"\\/\b\f\n\r\t";
    const char* found = c != '\0' ? strchr(from, c) : nullptr;
    if (found != nullptr) {
        reader->at += 2;
        return Put(reader, to + (found - from), 1);
    }
    if (c != 'u')
        return Refuse(reader, start, "\\%c is no escape", c > 0x20 && c < 0x7F ? c : '?');
    uint32_t code;
    if (!ReadHex4(reader, start + 2, &code))
        return false;
    reader->at = start + 6;
    if (code >= 0xDC00 && code <= 0xDFFF)
        return Refuse(reader, start, "a lone surrogate \\u%04X", unsigned(code));
    if (code >= 0xD800 && code <= 0xDBFF) {
        uint32_t low = 0;
        bool paired =
            reader->at + 1 < reader->length && reader->text[reader->at] == '\\' && reader->text[reader->at + 1] == 'u';
        if (paired && !ReadHex4(reader, reader->at + 2, &low))
            return false;
        if (!paired || low < 0xDC00 || low > 0xDFFF)
            return Refuse(reader, start, "a lone surrogate \\u%04X", unsigned(code));
        reader->at += 6;
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    if (code == 0)
        return Refuse(reader, start, "\\u0000 in a string");
    unsigned char bytes[4];
    uint32_t count;
    if (code < 0x80) {
        bytes[0] = uint8_t(code);
        count = 1;
    } else if (code < 0x800) {
        bytes[0] = uint8_t(0xC0 | code >> 6);
        bytes[1] = uint8_t(0x80 | (code & 0x3F));
        count = 2;
    } else if (code < 0x10000) {
        bytes[0] = uint8_t(0xE0 | code >> 12);
        bytes[1] = uint8_t(0x80 | (code >> 6 & 0x3F));
        bytes[2] = uint8_t(0x80 | (code & 0x3F));
        count = 3;
    } else {
        bytes[0] = uint8_t(0xF0 | code >> 18);
        bytes[1] = uint8_t(0x80 | (code >> 12 & 0x3F));
        bytes[2] = uint8_t(0x80 | (code >> 6 & 0x3F));
        bytes[3] = uint8_t(0x80 | (code & 0x3F));
        count = 4;
    }
    return Put(reader, bytes, count);
}

// The string at reader->at ('"') into the pool; *text its start there.
bool ReadString(Reader* reader, int32_t* text, uint32_t* length)
{
    uint32_t start = reader->at++;
    *text = int32_t(reader->document->poolUsed);
    for (;;) {
        if (AtEnd(*reader))
            return Refuse(reader, reader->length, "the text ends inside the string at byte %u", unsigned(start));
        unsigned char c = Peek(*reader);
        if (c == '"') {
            ++reader->at;
            break;
        }
        if (c == '\\') {
            if (!ReadEscape(reader))
                return false;
            continue;
        }
        if (c < 0x20)
            return Refuse(reader, reader->at, "control character 0x%02X in a string", c);
        // The one UTF-8 rule of the program, over a copy that ends in NULs.
        unsigned char sequence[5] = {};
        uint32_t left = reader->length - reader->at;
        memcpy(sequence, reader->text + reader->at, left < 4 ? left : 4);
        int count = Utf8SequenceLength(sequence);
        if (count == 0)
            return Refuse(reader, reader->at, "byte 0x%02X is not UTF-8", c);
        if (!Put(reader, sequence, uint32_t(count)))
            return false;
        reader->at += uint32_t(count);
    }
    *length = reader->document->poolUsed - uint32_t(*text);
    return EndText(reader);
}

bool ReadDigits(Reader* reader)
{
    if (AtEnd(*reader) || !IsDigit(Peek(*reader)))
        return RefuseByte(reader, "a digit");
    while (!AtEnd(*reader) && IsDigit(Peek(*reader)))
        ++reader->at;
    return true;
}

bool ReadNumber(Reader* reader, JsonValue* value)
{
    uint32_t start = reader->at;
    if (Peek(*reader) == '-')
        ++reader->at;
    if (!AtEnd(*reader) && Peek(*reader) == '0')
        ++reader->at;
    else if (!ReadDigits(reader))
        return false;
    if (!AtEnd(*reader) && Peek(*reader) == '.') {
        ++reader->at;
        if (!ReadDigits(reader))
            return false;
    }
    if (!AtEnd(*reader) && (Peek(*reader) | 0x20) == 'e') {
        ++reader->at;
        if (!AtEnd(*reader) && (Peek(*reader) == '+' || Peek(*reader) == '-'))
            ++reader->at;
        if (!ReadDigits(reader))
            return false;
    }
    uint32_t length = reader->at - start;
    if (length > uint32_t(JSON_NUMBER_LENGTH_MAX))
        return Refuse(reader, start, "a number longer than %d characters", int(JSON_NUMBER_LENGTH_MAX));
    char copy[JSON_NUMBER_LENGTH_MAX + 1];
    memcpy(copy, reader->text + start, length);
    copy[length] = '\0';
    // The program never sets a locale: strtod reads a decimal point.
    value->number = strtod(copy, nullptr);
    if (!std::isfinite(value->number))
        return Refuse(reader, start, "the number %s is beyond a double", copy);
    value->text = int32_t(reader->document->poolUsed);
    value->length = length;
    return Put(reader, copy, length) && EndText(reader);
}

bool ReadLiteral(Reader* reader, const char* word)
{
    size_t length = strlen(word);
    if (reader->length - reader->at < length || memcmp(reader->text + reader->at, word, length) != 0)
        return RefuseByte(reader, "a value");
    reader->at += uint32_t(length);
    return true;
}

int32_t ReadValue(Reader* reader, int32_t depth, int32_t key);

// The members of the array or object `index` opens, up to its bracket.
// The most of a name given twice that the refusal quotes.
constexpr size_t DUPLICATE_QUOTE_MAX = 40;

bool ReadMembers(Reader* reader, int32_t index, int32_t depth)
{
    JsonDocument* document = reader->document;
    bool object = document->values[index].type == JSON_OBJECT;
    char close = object ? '}' : ']';
    ++reader->at;
    SkipBlanks(reader);
    if (!AtEnd(*reader) && Peek(*reader) == close) {
        ++reader->at;
        return true;
    }
    int32_t last = JSON_NONE;
    for (;;) {
        if (document->values[index].count == JSON_MEMBERS_MAX)
            return Refuse(reader, reader->at, "more than %d members in one %s", int(JSON_MEMBERS_MAX),
                          object ? "object" : "array");
        int32_t key = JSON_NONE;
        if (object) {
            if (AtEnd(*reader) || Peek(*reader) != '"')
                return RefuseByte(reader, "a member's name");
            uint32_t keyAt = reader->at, keyLength;
            if (!ReadString(reader, &key, &keyLength))
                return false;
            // A name given twice makes the object two things at once: what
            // a member is read as would depend on which copy a reader takes.
            for (int32_t m = document->values[index].first; m != JSON_NONE; m = document->values[m].next)
                if (strcmp(document->pool + document->values[m].key, document->pool + key) == 0) {
                    char quoted[4 * DUPLICATE_QUOTE_MAX + 1];
                    return Refuse(reader, keyAt, "the member \"%s\" twice in one object",
                                  QuoteInput(document->pool + key, DUPLICATE_QUOTE_MAX, quoted, sizeof quoted));
                }
            SkipBlanks(reader);
            if (AtEnd(*reader) || Peek(*reader) != ':')
                return RefuseByte(reader, "':'");
            ++reader->at;
            SkipBlanks(reader);
        }
        int32_t member = ReadValue(reader, depth + 1, key);
        if (member == JSON_NONE)
            return false;
        if (last == JSON_NONE)
            document->values[index].first = member;
        else
            document->values[last].next = member;
        last = member;
        ++document->values[index].count;
        SkipBlanks(reader);
        if (!AtEnd(*reader) && Peek(*reader) == close) {
            ++reader->at;
            return true;
        }
        if (AtEnd(*reader) || Peek(*reader) != ',')
            return RefuseByte(reader, object ? "',' or '}'" : "',' or ']'");
        ++reader->at;
        SkipBlanks(reader);
    }
}

// The value at reader->at (no blanks before it); its index, JSON_NONE when
// it is refused.
int32_t ReadValue(Reader* reader, int32_t depth, int32_t key)
{
    if (AtEnd(*reader)) {
        RefuseByte(reader, "a value");
        return JSON_NONE;
    }
    unsigned char c = Peek(*reader);
    JsonType type = c == '{' ? JSON_OBJECT
        : c == '['           ? JSON_ARRAY
        : c == '"'           ? JSON_STRING
        : c == 't'           ? JSON_TRUE
        : c == 'f'           ? JSON_FALSE
        : c == 'n'           ? JSON_NULL
                             : JSON_NUMBER;
    if (type == JSON_NUMBER && c != '-' && !IsDigit(c)) {
        RefuseByte(reader, "a value");
        return JSON_NONE;
    }
    if ((type == JSON_OBJECT || type == JSON_ARRAY) && depth == JSON_NESTING_MAX) {
        Refuse(reader, reader->at, "nested deeper than %d", int(JSON_NESTING_MAX));
        return JSON_NONE;
    }
    int32_t index = NewValue(reader, type, reader->at, key);
    if (index == JSON_NONE)
        return JSON_NONE;
    JsonValue* value = &reader->document->values[index];
    bool read;
    switch (type) {
    case JSON_OBJECT:
    case JSON_ARRAY:
        read = ReadMembers(reader, index, depth);
        break;
    case JSON_STRING:
        read = ReadString(reader, &value->text, &value->length);
        break;
    case JSON_NUMBER:
        read = ReadNumber(reader, value);
        break;
    default:
        read = ReadLiteral(reader, type == JSON_TRUE ? "true" : type == JSON_FALSE ? "false" : "null");
        break;
    }
    return read ? index : JSON_NONE;
}

}  // namespace

bool ReadJson(const char* text, uint32_t length, JsonDocument* document, JsonFailure* failure)
{
    document->valueCount = 0;
    document->first = JSON_NONE;
    document->topCount = 0;
    document->poolUsed = 0;
    *failure = JsonFailure {};
    Reader reader {text, length, 0, 1, document, failure};
    if (length > JSON_TEXT_MAX)
        return Refuse(&reader, 0, "larger than %u bytes", unsigned(JSON_TEXT_MAX));
    int32_t last = JSON_NONE;
    for (;;) {
        bool apart = SkipBlanks(&reader);
        if (AtEnd(reader))
            return true;
        // "01" or "{}{}" is not two values.
        if (last != JSON_NONE && !apart)
            return RefuseByte(&reader, "a blank or line end");
        int32_t value = ReadValue(&reader, 0, JSON_NONE);
        if (value == JSON_NONE)
            return false;
        if (last == JSON_NONE)
            document->first = value;
        else
            document->values[last].next = value;
        last = value;
        ++document->topCount;
    }
}

int32_t JsonMember(const JsonDocument& document, int32_t object, const char* name)
{
    if (object < 0 || object >= document.valueCount || document.values[object].type != JSON_OBJECT)
        return JSON_NONE;
    for (int32_t member = document.values[object].first; member != JSON_NONE; member = document.values[member].next)
        if (strcmp(document.pool + document.values[member].key, name) == 0)
            return member;
    return JSON_NONE;
}

const char* JsonText(const JsonDocument& document, int32_t value)
{
    if (value < 0 || value >= document.valueCount || document.values[value].text == JSON_NONE)
        return nullptr;
    return document.pool + document.values[value].text;
}

const char* JsonMemberName(const JsonDocument& document, int32_t value)
{
    if (value < 0 || value >= document.valueCount || document.values[value].key == JSON_NONE)
        return nullptr;
    return document.pool + document.values[value].key;
}
