// The comparison: both documents walked side by side, a path built as it
// goes, and the limits judged where the path says they are.
#include "core/output/compare.h"

#include <cstdio>
#include <cstring>

namespace {

// The keys that label the elements of an array, in the order they are tried.
const char* const LABEL_KEYS[] = {"name", "id", "protocol"};

struct Walk {
    CompareKind kind;
    const JsonDocument* a;
    const JsonDocument* b;
    double tolerance;
    CompareSink sink;
    CompareTotals* totals;
    char path[COMPARE_PATH_SIZE];
    size_t used;
    // The names on the way down, null for an array's element: what says
    // where a value stands (a suite's verdict, a timing figure).
    const char* keys[JSON_NESTING_MAX + 2];
    int32_t depth;
    const char* topType;  // the type of the top-level object walked
};

const JsonValue& At(const JsonDocument& document, int32_t value)
{
    return document.values[value];
}

const char* StringMember(const JsonDocument& document, int32_t object, const char* name)
{
    int32_t member = JsonMember(document, object, name);
    return member != JSON_NONE && At(document, member).type == JSON_STRING ? JsonText(document, member) : nullptr;
}

bool IsString(const JsonDocument& document, int32_t value, const char* text)
{
    return value != JSON_NONE && At(document, value).type == JSON_STRING
        && strcmp(JsonText(document, value), text) == 0;
}

// Appends to the path and returns the length to cut it back to; a path
// longer than the room is cut.
size_t Push(Walk* walk, const char* format, const char* text)
{
    size_t before = walk->used;
    if (walk->used < sizeof walk->path) {
        int written = snprintf(walk->path + walk->used, sizeof walk->path - walk->used, format, text);
        walk->used += written > 0 ? size_t(written) : 0;
        if (walk->used >= sizeof walk->path)
            walk->used = sizeof walk->path - 1;
    }
    return before;
}

void Pop(Walk* walk, size_t before)
{
    walk->used = before;
    walk->path[before] = '\0';
}

bool Number(const JsonDocument& document, int32_t value, double* number)
{
    if (value == JSON_NONE || At(document, value).type != JSON_NUMBER)
        return false;
    *number = At(document, value).number;
    return true;
}

// Whether the value at the walk's place crosses a limit.
bool Crosses(const Walk& walk, int32_t a, int32_t b)
{
    const char* const* keys = walk.keys;
    if (walk.kind == COMPARE_PASSPORT) {
        double before, after;
        return walk.depth == 3 && keys[0] != nullptr && strcmp(keys[0], "timing") == 0 && keys[1] != nullptr
            && strcmp(keys[1], "times_us") == 0 && Number(*walk.a, a, &before) && Number(*walk.b, b, &after)
            && before > 0 && (after - before) / before * 100 > walk.tolerance;
    }
    if (walk.topType == nullptr || strcmp(walk.topType, "suite") != 0)
        return false;
    if (walk.depth == 1 && keys[0] != nullptr && strcmp(keys[0], "verdict") == 0)
        return IsString(*walk.a, a, "pass") && !IsString(*walk.b, b, "pass");
    return walk.depth == 3 && keys[0] != nullptr && strcmp(keys[0], "limits") == 0 && keys[2] != nullptr
        && strcmp(keys[2], "verdict") == 0 && IsString(*walk.b, b, "fail");
}

void Put(Walk* walk, int32_t a, int32_t b, bool crossed)
{
    CompareDifference difference {walk->path, a, b, false, 0, crossed};
    double before, after;
    if (Number(*walk->a, a, &before) && Number(*walk->b, b, &after) && before != 0) {
        difference.change = true;
        difference.percent = (after - before) / before * 100;
    }
    ++walk->totals->differences;
    if (crossed)
        ++walk->totals->crossed;
    walk->sink.put(walk->sink.context, difference);
}

bool SameScalar(const JsonDocument& da, int32_t a, const JsonDocument& db, int32_t b)
{
    const JsonValue& va = At(da, a);
    const JsonValue& vb = At(db, b);
    if (va.type != vb.type)
        return false;
    if (va.type == JSON_NUMBER)
        return va.number == vb.number;
    if (va.type == JSON_STRING)
        return va.length == vb.length && memcmp(JsonText(da, a), JsonText(db, b), va.length) == 0;
    return true;
}

void CompareValues(Walk* walk, int32_t a, int32_t b);

// Walks one step down under `key` (null for an array's element), the path
// grown by `format` of `text`.
void Step(Walk* walk, const char* key, const char* format, const char* text, int32_t a, int32_t b)
{
    size_t before = Push(walk, format, text);
    walk->keys[walk->depth++] = key;
    CompareValues(walk, a, b);
    --walk->depth;
    Pop(walk, before);
}

// The member of `object` in `document` named as `name`, looked for first
// at `hint` (the same place in the other document's object).
int32_t FindMember(const JsonDocument& document, int32_t object, int32_t hint, const char* name)
{
    if (hint != JSON_NONE && strcmp(JsonMemberName(document, hint), name) == 0)
        return hint;
    return JsonMember(document, object, name);
}

void CompareObjects(Walk* walk, int32_t a, int32_t b)
{
    const JsonDocument& da = *walk->a;
    const JsonDocument& db = *walk->b;
    const char* dot = walk->used > 0 ? ".%s" : "%s";
    int32_t hint = At(db, b).first;
    for (int32_t member = At(da, a).first; member != JSON_NONE; member = At(da, member).next) {
        const char* name = JsonMemberName(da, member);
        int32_t other = FindMember(db, b, hint, name);
        Step(walk, name, dot, name, member, other);
        hint = other != JSON_NONE ? At(db, other).next : JSON_NONE;
    }
    hint = At(da, a).first;
    for (int32_t member = At(db, b).first; member != JSON_NONE; member = At(db, member).next) {
        const char* name = JsonMemberName(db, member);
        int32_t other = FindMember(da, a, hint, name);
        if (other == JSON_NONE)
            Step(walk, name, dot, name, JSON_NONE, member);
        hint = other != JSON_NONE ? At(da, other).next : JSON_NONE;
    }
}

// The key every element of `array` is labelled by, once each; null for none.
const char* LabelKey(const JsonDocument& document, int32_t array)
{
    if (At(document, array).first == JSON_NONE)
        return nullptr;
    for (const char* key : LABEL_KEYS) {
        bool unique = true;
        for (int32_t e = At(document, array).first; unique && e != JSON_NONE; e = At(document, e).next) {
            const char* label = StringMember(document, e, key);
            unique = label != nullptr;
            for (int32_t f = At(document, array).first; unique && f != e; f = At(document, f).next)
                unique = strcmp(StringMember(document, f, key), label) != 0;
        }
        if (unique)
            return key;
    }
    return nullptr;
}

int32_t FindLabelled(const JsonDocument& document, int32_t array, int32_t hint, const char* key, const char* label)
{
    if (hint != JSON_NONE && strcmp(StringMember(document, hint, key), label) == 0)
        return hint;
    for (int32_t e = At(document, array).first; e != JSON_NONE; e = At(document, e).next)
        if (strcmp(StringMember(document, e, key), label) == 0)
            return e;
    return JSON_NONE;
}

void CompareArrays(Walk* walk, int32_t a, int32_t b)
{
    const JsonDocument& da = *walk->a;
    const JsonDocument& db = *walk->b;
    const char* key = LabelKey(da, a);
    if (key != nullptr && LabelKey(db, b) == key) {
        int32_t hint = At(db, b).first;
        for (int32_t e = At(da, a).first; e != JSON_NONE; e = At(da, e).next) {
            const char* label = StringMember(da, e, key);
            int32_t other = FindLabelled(db, b, hint, key, label);
            Step(walk, nullptr, "[%s]", label, e, other);
            hint = other != JSON_NONE ? At(db, other).next : JSON_NONE;
        }
        hint = At(da, a).first;
        for (int32_t e = At(db, b).first; e != JSON_NONE; e = At(db, e).next) {
            const char* label = StringMember(db, e, key);
            int32_t other = FindLabelled(da, a, hint, key, label);
            if (other == JSON_NONE)
                Step(walk, nullptr, "[%s]", label, JSON_NONE, e);
            hint = other != JSON_NONE ? At(da, other).next : JSON_NONE;
        }
        return;
    }
    int32_t ea = At(da, a).first, eb = At(db, b).first;
    for (int32_t index = 0; ea != JSON_NONE || eb != JSON_NONE; ++index) {
        char number[16];
        snprintf(number, sizeof number, "%d", int(index));
        Step(walk, nullptr, "[%s]", number, ea, eb);
        ea = ea != JSON_NONE ? At(da, ea).next : JSON_NONE;
        eb = eb != JSON_NONE ? At(db, eb).next : JSON_NONE;
    }
}

void CompareValues(Walk* walk, int32_t a, int32_t b)
{
    if (a == JSON_NONE || b == JSON_NONE) {
        Put(walk, a, b, false);
        return;
    }
    JsonType ta = At(*walk->a, a).type, tb = At(*walk->b, b).type;
    if (ta == JSON_OBJECT && tb == JSON_OBJECT) {
        CompareObjects(walk, a, b);
        return;
    }
    if (ta == JSON_ARRAY && tb == JSON_ARRAY) {
        CompareArrays(walk, a, b);
        return;
    }
    bool crossed = Crosses(*walk, a, b);
    bool same = ta != JSON_OBJECT && ta != JSON_ARRAY && SameScalar(*walk->a, a, *walk->b, b);
    if (!same || crossed)
        Put(walk, a, b, crossed);
}

constexpr size_t TOP_LABEL_SIZE = 160;

// The labels of a document's top-level objects, in their order.
struct TopLabels {
    char text[COMPARE_TOP_MAX][TOP_LABEL_SIZE];
    int32_t values[COMPARE_TOP_MAX];
    size_t base[COMPARE_TOP_MAX];  // the length of each label before its "#N"
    int32_t count;
};

// "suite[fast]", "environment", "suite[fast]#2" for the second of that label.
void LabelTops(const JsonDocument& document, TopLabels* labels)
{
    labels->count = 0;
    for (int32_t e = document.first; e != JSON_NONE && labels->count < COMPARE_TOP_MAX; e = At(document, e).next) {
        char* label = labels->text[labels->count];
        const char* type = StringMember(document, e, "type");
        const char* id = StringMember(document, e, "id");
        // Cut to leave room for "#N", which keeps two labels cut alike apart.
        constexpr size_t BASE_SIZE = TOP_LABEL_SIZE - 16;
        if (id != nullptr)
            snprintf(label, BASE_SIZE, "%s[%s]", type, id);
        else
            snprintf(label, BASE_SIZE, "%s", type);
        size_t used = strlen(label);
        int occurrence = 1;
        for (int32_t i = 0; i < labels->count; ++i)
            occurrence += labels->base[i] == used && memcmp(labels->text[i], label, used) == 0;
        // A type or id may itself end in "#N": the number goes up until the
        // label is no other's, so that each object is found as itself.
        for (;; ++occurrence) {
            if (occurrence > 1)
                snprintf(label + used, TOP_LABEL_SIZE - used, "#%d", occurrence);
            bool taken = false;
            for (int32_t i = 0; i < labels->count && !taken; ++i)
                taken = strcmp(labels->text[i], label) == 0;
            if (!taken)
                break;
        }
        labels->base[labels->count] = used;
        labels->values[labels->count++] = e;
    }
}

int32_t FindTop(const TopLabels& labels, const char* label)
{
    for (int32_t i = 0; i < labels.count; ++i)
        if (strcmp(labels.text[i], label) == 0)
            return labels.values[i];
    return JSON_NONE;
}

void CompareTop(Walk* walk, const char* label, int32_t a, int32_t b)
{
    walk->topType = StringMember(a != JSON_NONE ? *walk->a : *walk->b, a != JSON_NONE ? a : b, "type");
    size_t before = Push(walk, "%s", label);
    if (b == JSON_NONE || a == JSON_NONE) {
        // A suite that passed in A and is gone from B did not pass in B.
        bool crossed = b == JSON_NONE && strcmp(walk->topType, "suite") == 0
            && IsString(*walk->a, JsonMember(*walk->a, a, "verdict"), "pass");
        Put(walk, a, b, crossed);
    } else {
        CompareValues(walk, a, b);
    }
    Pop(walk, before);
}

}  // namespace

const char* CompareKindName(CompareKind kind)
{
    return kind == COMPARE_PASSPORT ? "a passport" : "qualify output";
}

bool FindCompareKind(const JsonDocument& document, CompareKind* kind, JsonFailure* failure)
{
    *failure = JsonFailure {};
    auto refuse = [failure](int32_t line, const char* reason) {
        failure->line = line;
        snprintf(failure->reason, sizeof failure->reason, "%s", reason);
        return false;
    };
    if (document.first == JSON_NONE)
        return refuse(0, "holds no JSON value");
    if (document.topCount > COMPARE_TOP_MAX)
        return refuse(0, "holds more objects than a qualify output");
    int32_t passports = 0, runs = 0;
    for (int32_t e = document.first; e != JSON_NONE; e = At(document, e).next) {
        const char* type = At(document, e).type == JSON_OBJECT ? StringMember(document, e, "type") : nullptr;
        if (type == nullptr)
            return refuse(At(document, e).line, "a value that is no object with a \"type\"");
        bool passport = strcmp(type, "passport") == 0;
        passports += passport;
        runs += strcmp(type, "environment") == 0 || strcmp(type, "suite") == 0;
        if (passports > 0 && (runs > 0 || passports > 1 || !passport))
            return refuse(At(document, e).line, "a passport among other objects");
    }
    if (passports == 0 && runs == 0)
        return refuse(At(document, document.first).line, "neither a passport nor qualify --json output");
    *kind = passports > 0 ? COMPARE_PASSPORT : COMPARE_RUNS;
    return true;
}

void CompareDocuments(CompareKind kind, const JsonDocument& a, const JsonDocument& b, double tolerance,
                      CompareSink sink, CompareTotals* totals)
{
    *totals = CompareTotals {};
    static Walk walk;
    walk = Walk {};
    walk.kind = kind;
    walk.a = &a;
    walk.b = &b;
    walk.tolerance = tolerance;
    walk.sink = sink;
    walk.totals = totals;
    if (kind == COMPARE_PASSPORT) {
        walk.topType = "passport";
        CompareValues(&walk, a.first, b.first);
        return;
    }
    static TopLabels labelsA, labelsB;
    LabelTops(a, &labelsA);
    LabelTops(b, &labelsB);
    for (int32_t i = 0; i < labelsA.count; ++i)
        CompareTop(&walk, labelsA.text[i], labelsA.values[i], FindTop(labelsB, labelsA.text[i]));
    for (int32_t i = 0; i < labelsB.count; ++i)
        if (FindTop(labelsA, labelsB.text[i]) == JSON_NONE)
            CompareTop(&walk, labelsB.text[i], JSON_NONE, labelsB.values[i]);
}
