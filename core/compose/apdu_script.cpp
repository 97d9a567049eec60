// APDU scripts read whole and checked line by line.
#include "core/compose/apdu_script.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/compose/data_entry.h"
#include "core/files/input_file.h"

namespace {

constexpr size_t READ_CHUNK_SIZE = 4096;
constexpr char UTF8_BOM[] = "\xEF\xBB\xBF";
constexpr size_t UTF8_BOM_SIZE = sizeof UTF8_BOM - 1;
constexpr size_t QUOTE_SIZE = 4 * SCRIPT_QUOTE_MAX + 1;

// What the reading knows between lines.
struct ScriptReader {
    ApduScript* script;
    ScriptFailure* failure;
    // The step index of the innermost loop without its end yet, -1 for none.
    // Until its end is read, an open loop's `jump` holds the loop around it,
    // so the open loops need no room of their own however deep they go.
    int32_t innermostLoop;
    int depth;         // loops without their end yet
    bool afterApdu;    // an expect here checks the last step, an APDU without one
    bool continued;    // the last step's APDU goes on on the next line
    bool exit;         // an exit was read: nothing after it is
    bool lineFeedDue;  // a CR was read that ends the line if an LF follows
    int32_t line;      // the line being read, 1-based
    uint32_t length;   // its characters so far, in `text`
    char text[SCRIPT_LINE_MAX + 1];
    char chunk[READ_CHUNK_SIZE];  // the file's bytes as read, fed line by line
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

void Quote(const char* text, char (&quoted)[QUOTE_SIZE])
{
    QuoteInput(text, SCRIPT_QUOTE_MAX, quoted, sizeof quoted);
}

ScriptStep* AddStep(ScriptReader* reader, ScriptStepKind kind)
{
    ApduScript* script = reader->script;
    if (script->stepCount >= SCRIPT_STEPS_MAX) {
        Refuse(reader, reader->line, "more than %d commands", int(SCRIPT_STEPS_MAX));
        return nullptr;
    }
    ScriptStep* step = &script->steps[script->stepCount++];
    *step = ScriptStep {kind, reader->line, 0, 0, false, 0, 0, 0};
    reader->afterApdu = kind == STEP_APDU;
    return step;
}

// One line's bytes of an APDU: a whole APDU, the first line of a continued
// one (`continues`), or a line that goes on with the APDU before. Each line
// is read on its own into the script's bytes, so an APDU may be as long as
// the script's room for bytes.
bool AddApduLine(ScriptReader* reader, const char* text, bool continues)
{
    ApduScript* script = reader->script;
    char quoted[QUOTE_SIZE];
    uint32_t count = 0;
    // A backslash alone goes on with no bytes.
    HexFailure failure = *text == '\0'
        ? HEX_OK
        : ParseHexStrict(text, script->bytes + script->byteCount, SCRIPT_BYTES_MAX - script->byteCount, &count);
    if (failure == HEX_TOO_LONG)
        return Refuse(reader, reader->line, "more than %u bytes of APDUs", unsigned(SCRIPT_BYTES_MAX));
    if (failure == HEX_NOT_HEX && reader->continued) {
        Quote(text, quoted);
        return Refuse(reader, reader->line, "\"%s\": not a hex byte, in the APDU continued from line %d", quoted,
                      int(script->steps[script->stepCount - 1].line));
    }
    if (failure == HEX_NOT_HEX) {
        Quote(text, quoted);
        return Refuse(reader, reader->line,
                      "\"%s\": not an APDU, reset, loop N, end, expect SW, begin/end transaction or exit", quoted);
    }
    if (failure != HEX_OK) {
        Quote(text, quoted);
        return Refuse(reader, reader->line, "\"%s\": %s", quoted, HexFailureText(failure));
    }
    if (!reader->continued) {
        ScriptStep* step = AddStep(reader, STEP_APDU);
        if (step == nullptr)
            return false;
        step->offset = script->byteCount;
    }
    script->steps[script->stepCount - 1].length += count;
    script->byteCount += count;
    reader->continued = continues;
    return true;
}

bool AddLoop(ScriptReader* reader, const char* argument)
{
    char* end;
    errno = 0;
    long count = strtol(argument, &end, 10);
    if (end == argument || *end != '\0' || errno != 0 || count < 1 || count > SCRIPT_LOOP_COUNT_MAX)
        return Refuse(reader, reader->line, "loop takes a count from 1 to %d", int(SCRIPT_LOOP_COUNT_MAX));
    if (reader->depth >= SCRIPT_LOOP_DEPTH_MAX)
        return Refuse(reader, reader->line, "loops nest at most %d deep", SCRIPT_LOOP_DEPTH_MAX);
    ScriptStep* step = AddStep(reader, STEP_LOOP);
    if (step == nullptr)
        return false;
    step->count = int32_t(count);
    step->jump = reader->innermostLoop;
    reader->innermostLoop = reader->script->stepCount - 1;
    ++reader->depth;
    return true;
}

bool AddEnd(ScriptReader* reader)
{
    if (reader->innermostLoop < 0)
        return Refuse(reader, reader->line, "end without loop");
    ScriptStep* step = AddStep(reader, STEP_END);
    if (step == nullptr)
        return false;
    ScriptStep* loop = &reader->script->steps[reader->innermostLoop];
    step->jump = reader->innermostLoop;
    reader->innermostLoop = loop->jump;
    loop->jump = reader->script->stepCount - 1;
    --reader->depth;
    return true;
}

bool AddExpect(ScriptReader* reader, const char* argument)
{
    if (!reader->afterApdu)
        return Refuse(reader, reader->line, "expect must follow an APDU");
    uint8_t sw[2];
    uint32_t count;
    // Cards answer 6X XX or 9X XX; 00 00 would read as no check at all.
    if (ParseHexStrict(argument, sw, sizeof sw, &count) != HEX_OK || count != 2 || (sw[0] >> 4 != 6 && sw[0] >> 4 != 9))
        return Refuse(reader, reader->line, "expect takes a status word of two hex bytes, as 90 00");
    ScriptStep* step = &reader->script->steps[reader->script->stepCount - 1];
    step->expect = true;
    step->sw = uint16_t(sw[0] << 8 | sw[1]);
    reader->afterApdu = false;
    return true;
}

// "reset" alone is warm, as scriptor's.
bool AddReset(ScriptReader* reader, const char* argument)
{
    bool cold = strcasecmp(argument, "cold") == 0;
    if (*argument != '\0' && !cold && strcasecmp(argument, "warm") != 0)
        return Refuse(reader, reader->line, "reset takes warm, cold or nothing");
    return AddStep(reader, cold ? STEP_COLD_RESET : STEP_RESET) != nullptr;
}

// One command without comment or surrounding blanks.
bool ReadCommand(ScriptReader* reader, const char* text)
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
        reader->exit = true;
        return true;
    }
    if (strcasecmp(word, "reset") == 0)
        return AddReset(reader, argument);
    if (strcasecmp(word, "end") == 0 && bare)
        return AddEnd(reader);
    // The transaction words name their step whole; anything else is read as an APDU, and refused.
    bool transaction = strcasecmp(argument, "transaction") == 0;
    if (strcasecmp(word, "begin") == 0 && transaction)
        return AddStep(reader, STEP_BEGIN_TRANSACTION) != nullptr;
    if (strcasecmp(word, "end") == 0 && transaction)
        return AddStep(reader, STEP_END_TRANSACTION) != nullptr;
    if (strcasecmp(word, "loop") == 0)
        return AddLoop(reader, argument);
    if (strcasecmp(word, "expect") == 0)
        return AddExpect(reader, argument);
    return AddApduLine(reader, text, false);
}

// Cuts the comment and the blanks around what is left.
char* TrimLine(char* text)
{
    text[strcspn(text, "#")] = '\0';
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        text[--length] = '\0';
    return text + strspn(text, " \t");
}

// The line in reader->text, whole. A blank or comment line is skipped also
// inside a continued APDU (as scriptor does), and inside one every line is
// hex: a keyword there is refused rather than run.
bool ReadLine(ScriptReader* reader)
{
    reader->text[reader->length] = '\0';
    char* text = TrimLine(reader->text);
    size_t length = strlen(text);
    if (length == 0)
        return true;
    bool continues = text[length - 1] == '\\';
    if (continues)
        text[length - 1] = '\0';
    if (continues || reader->continued)
        return AddApduLine(reader, text, continues);
    return ReadCommand(reader, text);
}

bool AddCharacter(ScriptReader* reader, char c)
{
    if (c == '\0')
        return Refuse(reader, reader->line, "NUL byte at column %u", unsigned(reader->length + 1));
    if (reader->length >= SCRIPT_LINE_MAX)
        return Refuse(reader, reader->line, "longer than %u characters", unsigned(SCRIPT_LINE_MAX));
    reader->text[reader->length++] = c;
    return true;
}

// The file's bytes, as they come: each line is read once its LF arrives. A
// CR before the LF is dropped; any other CR stays in the line, where it is no
// blank, so that a line is never cut short unseen.
bool FeedBytes(ScriptReader* reader, const char* bytes, size_t count)
{
    for (size_t i = 0; i < count && !reader->exit; ++i) {
        char c = bytes[i];
        if (reader->lineFeedDue && c != '\n' && !AddCharacter(reader, '\r'))
            return false;
        reader->lineFeedDue = c == '\r';
        if (c == '\r')
            continue;
        if (c != '\n') {
            if (!AddCharacter(reader, c))
                return false;
            continue;
        }
        if (!ReadLine(reader))
            return false;
        if (reader->line == INT32_MAX)
            return Refuse(reader, reader->line, "more than %d lines", int(INT32_MAX));
        ++reader->line;
        reader->length = 0;
    }
    return true;
}

// Fills `chunk` up to its size or the end of the file; false, with errno,
// when a read fails.
bool ReadChunk(int fd, char (&chunk)[READ_CHUNK_SIZE], size_t* count)
{
    *count = 0;
    while (*count < sizeof chunk) {
        ssize_t got = read(fd, chunk + *count, sizeof chunk - *count);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        *count += size_t(got);
    }
    return true;
}

bool ReadScript(int fd, ScriptReader* reader)
{
    char(&chunk)[READ_CHUNK_SIZE] = reader->chunk;
    for (bool first = true; !reader->exit; first = false) {
        size_t count;
        if (!ReadChunk(fd, chunk, &count))
            return Refuse(reader, 0, "%s", strerror(errno));
        if (count == 0)
            break;
        size_t skip =
            first && count >= UTF8_BOM_SIZE && memcmp(chunk, UTF8_BOM, UTF8_BOM_SIZE) == 0 ? UTF8_BOM_SIZE : 0;
        if (!FeedBytes(reader, chunk + skip, count - skip))
            return false;
    }
    // The last line may end without an LF.
    if (!reader->exit && reader->length > 0 && !ReadLine(reader))
        return false;
    if (reader->exit)
        return true;
    ApduScript* script = reader->script;
    if (reader->continued)
        return Refuse(reader, script->steps[script->stepCount - 1].line, "the APDU goes on past the end of the script");
    if (reader->innermostLoop >= 0)
        return Refuse(reader, script->steps[reader->innermostLoop].line, "loop without end");
    return true;
}

// A reader at the start of an empty script.
void StartScript(ScriptReader* reader, ApduScript* script, ScriptFailure* failure)
{
    *reader = ScriptReader {};
    reader->script = script;
    reader->failure = failure;
    reader->innermostLoop = -1;
    reader->line = 1;
    script->stepCount = 0;
    script->byteCount = 0;
    *failure = ScriptFailure {};
}

}  // namespace

bool LoadApduScript(const char* path, ApduScript* script, ScriptFailure* failure)
{
    // One load's own; on the stack, so loads never share it.
    ScriptReader reader;
    StartScript(&reader, script, failure);
    char reason[INPUT_REASON_SIZE];
    int fd = OpenRegularFile(path, reason);
    if (fd < 0)
        return Refuse(&reader, 0, "%s", reason);
    bool read = ReadScript(fd, &reader);
    close(fd);
    return read;
}

bool ReadApduScript(int fd, ApduScript* script, ScriptFailure* failure)
{
    ScriptReader reader;
    StartScript(&reader, script, failure);
    return ReadScript(fd, &reader);
}
