// CSV of the loop's samples, written whole or not at all.
#include "core/output/samples_csv.h"

#include <cinttypes>
#include <cstdio>

#include "core/output/save_file.h"

namespace {

struct Samples {
    const int64_t* ns;
    const LONG* status;
    const uint16_t* sw;
    int32_t runs;
};

bool WriteRows(FILE* file, const void* content)
{
    const Samples& samples = *static_cast<const Samples*>(content);
    if (fputs("run,ns,pcsc,sw\n", file) == EOF)
        return false;
    for (int32_t run = 0; run < samples.runs; ++run) {
        char word[8] = "";
        if (samples.sw[run] != 0)
            snprintf(word, sizeof word, "%02X %02X", samples.sw[run] >> 8, samples.sw[run] & 0xFF);
        if (fprintf(file, "%d,%" PRId64 ",0x%08X,%s\n", run + 1, samples.ns[run],
                    unsigned(uint32_t(samples.status[run])), word)
            < 0)
            return false;
    }
    return true;
}

}  // namespace

int WriteSamplesCsv(const char* path, const int64_t* ns, const LONG* status, const uint16_t* sw, int32_t runs)
{
    Samples samples {ns, status, sw, runs};
    return SaveFileWhole(path, WriteRows, &samples);
}
