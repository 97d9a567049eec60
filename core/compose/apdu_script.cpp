// APDU scripts read whole and checked line by line.
#include "core/compose/apdu_script.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "core/compose/data_entry.h"

namespace {

// What the reading knows between lines.
struct ScriptReader {
    ApduScript* script;
    ScriptFailure* failure;
    int32_t openLoops[SCRIPT_LOOP_DEPTH_MAX];  // step index of each loop without its end yet
    int depth;
    bool afterApdu;  // an expect here checks the last step, an APDU without one
    // An APDU whose line ended in a backslash, and where it started.
    char pending[SCRIPT_LINE_SIZE];
    size_t pendingLength;
    int32_t pendingLine;
};

[[gnu::format(printf, 3, 4)]] bool Refuse(ScriptReader* reader, int32_t line, const char* format, ...)
{
    reader->failure->line = line;
    va_list args;
    va_start(args, format);
    vsnprintf(reader->failure->reason, sizeof reader->failure->reason, format, args);
    va_end(args);
    return false;
}

ScriptStep* AddStep(ScriptReader* reader, ScriptStepKind kind, int32_t line)
{
    ApduScript* script = reader->script;
    if (script->stepCount == SCRIPT_STEPS_MAX) {
        Refuse(reader, line, "more than %d commands", SCRIPT_STEPS_MAX);
        return nullptr;
    }
    ScriptStep* step = &script->steps[script->stepCount++];
    *step = ScriptStep {kind, line, 0, 0, false, 0, 0, 0};
    reader->afterApdu = kind == STEP_APDU;
    return step;
}

bool AddApdu(ScriptReader* reader, const char* text, int32_t line)
{
    ApduScript* script = reader->script;
    uint32_t count;
    HexFailure failure =
        ParseHexStrict(text, script->bytes + script->byteCount, SCRIPT_BYTES_MAX - script->byteCount, &count);
    if (failure == HEX_NOT_HEX)
        return Refuse(reader, line, "\"%.60s\": not an APDU, reset, loop N, end, expect SW or exit", text);
    if (failure != HEX_OK)
        return Refuse(reader, line, "\"%.60s\": %s", text, HexFailureText(failure));
    ScriptStep* step = AddStep(reader, STEP_APDU, line);
    if (step == nullptr)
        return false;
    step->offset = script->byteCount;
    step->length = count;
    script->byteCount += count;
    return true;
}

bool AddLoop(ScriptReader* reader, const char* argument, int32_t line)
{
    char* end;
    errno = 0;
    long count = strtol(argument, &end, 10);
    if (end == argument || *end != '\0' || errno != 0 || count < 1 || count > SCRIPT_LOOP_COUNT_MAX)
        return Refuse(reader, line, "loop takes a count from 1 to %d", SCRIPT_LOOP_COUNT_MAX);
    if (reader->depth == SCRIPT_LOOP_DEPTH_MAX)
        return Refuse(reader, line, "loops nest at most %d deep", SCRIPT_LOOP_DEPTH_MAX);
    ScriptStep* step = AddStep(reader, STEP_LOOP, line);
    if (step == nullptr)
        return false;
    step->count = int32_t(count);
    reader->openLoops[reader->depth++] = reader->script->stepCount - 1;
    return true;
}

bool AddEnd(ScriptReader* reader, int32_t line)
{
    if (reader->depth == 0)
        return Refuse(reader, line, "end without loop");
    ScriptStep* step = AddStep(reader, STEP_END, line);
    if (step == nullptr)
        return false;
    step->jump = reader->openLoops[--reader->depth];
    return true;
}

bool AddExpect(ScriptReader* reader, const char* argument, int32_t line)
{
    if (!reader->afterApdu)
        return Refuse(reader, line, "expect must follow an APDU");
    uint8_t sw[2];
    uint32_t count;
    // Cards answer 6X XX or 9X XX; 00 00 would read as no check at all.
    if (ParseHexStrict(argument, sw, sizeof sw, &count) != HEX_OK || count != 2 || (sw[0] >> 4 != 6 && sw[0] >> 4 != 9))
        return Refuse(reader, line, "expect takes a status word of two hex bytes, as 90 00");
    ScriptStep* step = &reader->script->steps[reader->script->stepCount - 1];
    step->expect = true;
    step->sw = uint16_t(sw[0] << 8 | sw[1]);
    reader->afterApdu = false;
    return true;
}

// One command without comment or surrounding blanks; *exit is set by "exit".
bool ReadCommand(ScriptReader* reader, char* text, int32_t line, bool* exit)
{
    size_t wordLength = strcspn(text, " \t");
    const char* argument = text + wordLength + strspn(text + wordLength, " \t");
    char word[8] = "";
    if (wordLength < sizeof word) {
        memcpy(word, text, wordLength);
        word[wordLength] = '\0';
    }
    bool bare = *argument == '\0';
    if (strcasecmp(word, "exit") == 0 && bare) {
        *exit = true;
        return true;
    }
    if (strcasecmp(word, "reset") == 0 && bare)
        return AddStep(reader, STEP_RESET, line) != nullptr;
    if (strcasecmp(word, "end") == 0 && bare)
        return AddEnd(reader, line);
    if (strcasecmp(word, "loop") == 0)
        return AddLoop(reader, argument, line);
    if (strcasecmp(word, "expect") == 0)
        return AddExpect(reader, argument, line);
    return AddApdu(reader, text, line);
}

// Cuts the comment, the line end and the blanks around what is left.
char* TrimLine(char* text)
{
    text[strcspn(text, "#\r\n")] = '\0';
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        text[--length] = '\0';
    return text + strspn(text, " \t");
}

// Feeds one line: a continued APDU collects in `pending` until a line
// without the backslash completes it.
bool ReadLine(ScriptReader* reader, char* raw, int32_t line, bool* exit)
{
    char* text = TrimLine(raw);
    size_t length = strlen(text);
    bool continued = length > 0 && text[length - 1] == '\\';
    if (continued)
        text[--length] = '\0';
    if (reader->pendingLength == 0 && !continued) {
        return length == 0 || ReadCommand(reader, text, line, exit);
    }
    if (reader->pendingLength == 0)
        reader->pendingLine = line;
    if (reader->pendingLength + length + 2 > sizeof reader->pending)
        return Refuse(reader, reader->pendingLine, "an APDU longer than %d characters", SCRIPT_LINE_SIZE - 2);
    memcpy(reader->pending + reader->pendingLength, text, length);
    reader->pendingLength += length;
    reader->pending[reader->pendingLength++] = ' ';
    reader->pending[reader->pendingLength] = '\0';
    if (continued)
        return true;
    reader->pendingLength = 0;
    return ReadCommand(reader, TrimLine(reader->pending), reader->pendingLine, exit);
}

bool ReadScript(FILE* file, ScriptReader* reader)
{
    static char raw[SCRIPT_LINE_SIZE];
    bool exit = false;
    int32_t line = 0;
    while (!exit && fgets(raw, sizeof raw, file)) {
        ++line;
        if (strchr(raw, '\n') == nullptr && !feof(file))
            return Refuse(reader, line, "longer than %d characters", SCRIPT_LINE_SIZE - 2);
        if (!ReadLine(reader, raw, line, &exit))
            return false;
    }
    if (ferror(file))
        return Refuse(reader, 0, "%s", strerror(errno));
    if (reader->pendingLength > 0)
        return Refuse(reader, reader->pendingLine, "the APDU goes on past the end of the script");
    if (reader->depth > 0)
        return Refuse(reader, reader->script->steps[reader->openLoops[reader->depth - 1]].line, "loop without end");
    return true;
}

}  // namespace

bool LoadApduScript(const char* path, ApduScript* script, ScriptFailure* failure)
{
    static ScriptReader reader;
    reader = ScriptReader {};
    reader.script = script;
    reader.failure = failure;
    script->stepCount = 0;
    script->byteCount = 0;
    *failure = ScriptFailure {};
    FILE* file = fopen(path, "r");
    if (file == nullptr) {
        failure->line = 0;
        snprintf(failure->reason, sizeof failure->reason, "%s", strerror(errno));
        return false;
    }
    bool read = ReadScript(file, &reader);
    fclose(file);
    return read;
}
