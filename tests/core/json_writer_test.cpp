// JSON strings: any bytes (a reader's name, a value a reader gave) make a
// valid JSON string, and valid UTF-8 passes as it is. The simulated readers
// give no such bytes, so the command line's own test cannot reach them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/output/json_writer.h"

namespace {

std::string Written(const char* text)
{
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    WriteJsonString(out, text);
    fclose(out);
    std::string written(buffer, size);
    free(buffer);
    return written;
}

TEST(JsonWriter, EscapesEveryByteThatIsNotUtf8AsItsLatin1Reading)
{
    const struct {
        const char* text;
        const char* json;
    } cases[] = {
        {"Quarnel Sim Reader 00 00", R"("Quarnel Sim Reader 00 00")"},
        {"a\"b\\c/", R"("a\"b\\c/")"},
        {"\x01\t\n\x1f\x7f", "\"\\u0001\\u0009\\u000A\\u001F\x7f\""},
        // Two-, three- and four-byte sequences, the highest code point included.
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x92\xb3 \xef\xbf\xbf \xf4\x8f\xbf\xbf",
         "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x92\xb3 \xef\xbf\xbf \xf4\x8f\xbf\xbf\""},
        {"caf\xe9", R"("caf\u00E9")"},
        {"\x80\xbf", R"("\u0080\u00BF")"},                        // continuations alone
        {"\xc0\x80 \xc1\xbf", R"("\u00C0\u0080 \u00C1\u00BF")"},  // longer forms than needed
        {"\xe0\x9f\xbf", R"("\u00E0\u009F\u00BF")"},
        {"\xf0\x8f\xbf\xbf", R"("\u00F0\u008F\u00BF\u00BF")"},
        {"\xed\xa0\x80", R"("\u00ED\u00A0\u0080")"},            // a surrogate
        {"\xf4\x90\x80\x80", R"("\u00F4\u0090\u0080\u0080")"},  // beyond U+10FFFF
        {"\xf5\x80\xfe\xff", R"("\u00F5\u0080\u00FE\u00FF")"},
        // A sequence cut short, by the end or by a byte that is not its own.
        {"\xe2\x82", R"("\u00E2\u0082")"},
        {"\xe2\x82x\xc3\"", R"("\u00E2\u0082x\u00C3\"")"},
        {"\xf0\x9f\x92\xc3\xa9", "\"\\u00F0\\u009F\\u0092\xc3\xa9\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Written(c.text), c.json) << c.text;
}

}  // namespace
