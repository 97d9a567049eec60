// Fuzzes the JSON reader, and the comparison over what it reads: any bytes
// are read or refused within the text, every string read is UTF-8 without
// NUL and ends in the pool, and a document compared with itself differs
// only where its own limits fail.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/output/compare.h"
#include "core/output/json_reader.h"
#include "core/output/utf8.h"

namespace {

JsonDocument document;

void CountLine([[maybe_unused]] void* context, const CompareDifference& difference)
{
    if (!difference.crossed || strlen(difference.path) >= COMPARE_PATH_SIZE)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The text straight from libFuzzer's buffer, which ends where the input does.
    JsonFailure failure;
    if (!ReadJson(reinterpret_cast<const char*>(data), uint32_t(size), &document, &failure)) {
        if (failure.offset > size || failure.reason[0] == '\0' || failure.line < 1)
            abort();
        return 0;
    }
    if (document.poolUsed > size + 2 || (document.first == JSON_NONE) != (document.topCount == 0))
        abort();
    for (int32_t i = 0; i < document.valueCount; ++i) {
        const JsonValue& value = document.values[i];
        if (value.offset >= size)
            abort();
        for (int32_t text : {value.text, value.key}) {
            if (text == JSON_NONE)
                continue;
            const unsigned char* c = reinterpret_cast<const unsigned char*>(document.pool + text);
            size_t length = strlen(document.pool + text);
            if (uint32_t(text) + length >= document.poolUsed)
                abort();
            for (size_t at = 0; at < length;) {
                int count = Utf8SequenceLength(c + at);
                if (count == 0)
                    abort();
                at += size_t(count);
            }
        }
        if (value.type == JSON_STRING && strlen(JsonText(document, i)) != value.length)
            abort();
    }
    CompareKind kind;
    if (FindCompareKind(document, &kind, &failure)) {
        CompareTotals totals;
        CompareDocuments(kind, document, document, 10, CompareSink {CountLine, nullptr}, &totals);
        if (totals.differences != totals.crossed)
            abort();
    }
    return 0;
}
