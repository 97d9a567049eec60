// The command line's stdout: the window's texts as lines, or JSON objects.
#include "cli/cli_output.h"

#include <cerrno>
#include <cstdio>

namespace {

// The errno of stdout's first failed write or flush; 0 while none failed.
int outputError;

JsonWriter standardJson {stdout, 0, {}};

void PutText([[maybe_unused]] void* context, const char* entry)
{
    PrintText(entry);
}

}  // namespace

bool FlushOutput()
{
    if (fflush(stdout) != 0 && outputError == 0)
        outputError = errno != 0 ? errno : EIO;
    // A write that failed before, inside a printf, leaves only the flag.
    if (ferror(stdout) && outputError == 0)
        outputError = EIO;
    return outputError == 0;
}

int OutputError()
{
    return outputError;
}

const LineSink standardOutput {PutText, nullptr};

void PrintText(const char* text)
{
    for (const char* c = text; *c != '\0'; ++c)
        if (*c != '\r')
            fputc(*c, stdout);
    fputc('\n', stdout);
}

void EndOutput()
{
    FlushOutput();
}

JsonWriter* StandardJson()
{
    return &standardJson;
}

void JsonBegin(const char* type)
{
    JsonWriterBegin(&standardJson, type);
}

void JsonEnd()
{
    JsonWriterEnd(&standardJson);
    FlushOutput();
}

void JsonOpen(const char* name, char bracket)
{
    JsonWriterOpen(&standardJson, name, bracket);
}

void JsonClose(char bracket)
{
    JsonWriterClose(&standardJson, bracket);
}

void JsonString(const char* name, const char* text)
{
    JsonWriterString(&standardJson, name, text);
}

void JsonNumber(const char* name, int64_t value)
{
    JsonWriterNumber(&standardJson, name, value);
}

void JsonDecimal(const char* name, double value)
{
    JsonWriterDecimal(&standardJson, name, value);
}

void JsonBool(const char* name, bool value)
{
    JsonWriterBool(&standardJson, name, value);
}

void JsonBytes(const char* name, const BYTE* bytes, uint32_t count)
{
    JsonWriterBytes(&standardJson, name, bytes, count);
}

void JsonStatus(LONG status)
{
    JsonWriterStatus(&standardJson, status);
}

void JsonStatusWord(const BYTE* response, DWORD length)
{
    JsonWriterStatusWord(&standardJson, response, length);
}

void JsonElapsed(const Span& span, int32_t runs)
{
    JsonWriterElapsed(&standardJson, span, runs);
}
