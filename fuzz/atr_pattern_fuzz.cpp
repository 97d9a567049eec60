// Fuzzes the known-ATR pattern matcher against glibc's POSIX extended regular
// expressions. The input is a pattern, a '\n', then a text. A pattern in the
// list's grammar must answer as the same pattern in capitals does as a whole
// regular expression over the text in capitals; any other pattern, and any
// text with a character no ATR holds, must match nothing. Each pattern is
// also tried on texts drawn from it, so that most tries land on a match or
// next to one, where a wrong set of characters or a lost state shows.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex.h>
#include <string>

#include "core/pcsc/atr.h"

namespace {

const char SYMBOLS[] = "0123456789ABCDEF ";
constexpr int DRAWS = 16;

std::string Capitals(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

// The grammar the matcher takes, written as a regular expression of its own.
bool InGrammar(const std::string& pattern)
{
    static regex_t grammar;
    static const bool compiled = regcomp(&grammar, "^(([0-9A-Fa-f .]|\\[\\^?([0-9A-Fa-f](-[0-9A-Fa-f])?|,)+\\])\\*?)+$",
                                         REG_EXTENDED | REG_NOSUB)
        == 0;
    if (!compiled)
        abort();
    return regexec(&grammar, pattern.c_str(), 0, nullptr, 0) == 0;
}

// Whether the matcher says the pattern matches the text, both passed as heap
// copies of exactly their size: a read past either shows under ASan.
bool MatcherSays(const std::string& pattern, const std::string& text)
{
    char* patternCopy = static_cast<char*>(malloc(pattern.size() + 1));
    char* textCopy = static_cast<char*>(malloc(text.size() + 1));
    memcpy(patternCopy, pattern.c_str(), pattern.size() + 1);
    memcpy(textCopy, text.c_str(), text.size() + 1);
    const bool matched = AtrPatternMatches(patternCopy, textCopy);
    free(patternCopy);
    free(textCopy);
    return matched;
}

// The characters each atom of a pattern in the grammar takes, and whether it repeats.
struct Atom {
    std::string takes;
    bool repeated;
};

bool Takes(const std::string& members, char symbol)
{
    const bool complement = members[0] == '^';
    bool in = false;
    for (size_t m = complement; m < members.size(); m++) {
        const bool range = m + 2 < members.size() && members[m + 1] == '-';
        const char low = Capitals(members.substr(m, 1))[0];
        const char high = Capitals(members.substr(range ? m + 2 : m, 1))[0];
        in = in || (members[m] != ',' && symbol != ' ' && symbol >= low && symbol <= high);
        m += range ? 2 : 0;
    }
    return in != complement;
}

std::string Draw(const Atom* atoms, size_t count, uint64_t* seed)
{
    auto choose = [seed](size_t among) {
        *seed ^= *seed << 13;
        *seed ^= *seed >> 7;
        *seed ^= *seed << 17;
        return size_t(*seed % among);
    };
    // Each atom once, a repeated one 0 to 2 times, as a character it takes
    // (in either case), one time in ten any character instead.
    std::string text;
    for (size_t a = 0; a < count; a++)
        for (size_t times = atoms[a].repeated ? choose(3) : 1; times > 0; times--) {
            const std::string& takes = atoms[a].takes;
            char c = takes.empty() || choose(10) == 0 ? SYMBOLS[choose(17)] : takes[choose(takes.size())];
            if (c >= 'A' && c <= 'F' && choose(2))
                c = char(c - 'A' + 'a');
            text += c;
        }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* begin = reinterpret_cast<const char*>(data);
    const char* split = static_cast<const char*>(memchr(begin, '\n', size));
    if (!split)
        return 0;
    // As C strings: up to the first '\0'.
    const std::string pattern(begin, strnlen(begin, size_t(split - begin)));
    const std::string text(split + 1, strnlen(split + 1, size_t(begin + size - split - 1)));
    const bool atrText = text.find_first_not_of("0123456789ABCDEFabcdef ") == std::string::npos;
    const bool matched = MatcherSays(pattern, text);
    const bool grammatical = InGrammar(pattern);
    if (matched && (!grammatical || !atrText))
        abort();
    if (!grammatical)
        return 0;
    // Every atom takes a character at least: a pattern this short is within
    // the bound; a longer one may be over it, and then matches nothing.
    if (pattern.size() > ATR_PATTERN_MAX_ATOMS)
        return 0;
    regex_t whole;
    const std::string expression = "^(" + Capitals(pattern) + ")$";
    if (regcomp(&whole, expression.c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
        if (matched)  // a range backwards: refused by both
            abort();
        return 0;
    }
    auto expected = [&whole](const std::string& against) {
        return regexec(&whole, Capitals(against).c_str(), 0, nullptr, 0) == 0;
    };
    if (atrText && matched != expected(text))
        abort();

    Atom atoms[ATR_PATTERN_MAX_ATOMS];
    size_t count = 0;
    for (size_t i = 0; i < pattern.size(); i++) {
        Atom& atom = atoms[count++];
        if (pattern[i] == '.')
            atom.takes = SYMBOLS;
        else if (pattern[i] == '[') {
            const size_t close = pattern.find(']', i);
            const std::string members = pattern.substr(i + 1, close - i - 1);
            atom.takes.clear();
            for (const char* s = SYMBOLS; *s; s++)
                if (Takes(members, *s))
                    atom.takes += *s;
            i = close;
        } else
            atom.takes = pattern.substr(i, 1);
        atom.repeated = i + 1 < pattern.size() && pattern[i + 1] == '*';
        i += atom.repeated;
    }
    uint64_t seed = 0x9E3779B97F4A7C15u;
    for (char c : text)
        seed = (seed ^ uint8_t(c)) * 0x100000001B3u;
    for (int draw = 0; draw < DRAWS; draw++) {
        const std::string drawn = Draw(atoms, count, &seed);
        if (MatcherSays(pattern, drawn) != expected(drawn))
            abort();
    }
    regfree(&whole);
    return 0;
}
