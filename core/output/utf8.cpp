// The UTF-8 reading of a text line's bytes.
#include "core/output/utf8.h"

int Utf8SequenceLength(const unsigned char* c)
{
    // The second byte's range depends on the first; the bytes after it are
    // always 80 to BF.
    unsigned char low = 0x80, high = 0xBF;
    int length;
    if (c[0] < 0x80)
        return 1;
    if (c[0] >= 0xC2 && c[0] <= 0xDF)
        length = 2;
    else if (c[0] >= 0xE0 && c[0] <= 0xEF)
        length = 3;
    else if (c[0] >= 0xF0 && c[0] <= 0xF4)
        length = 4;
    else
        return 0;
    if (c[0] == 0xE0)
        low = 0xA0;  // shorter forms
    else if (c[0] == 0xED)
        high = 0x9F;  // surrogates
    else if (c[0] == 0xF0)
        low = 0x90;  // shorter forms
    else if (c[0] == 0xF4)
        high = 0x8F;  // beyond U+10FFFF
    if (c[1] < low || c[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (c[i] < 0x80 || c[i] > 0xBF)
            return 0;
    return length;
}
