// How the program reads the bytes of a text line: UTF-8 where they are valid
// UTF-8, and every other byte (a characters dump of a card's answer, a
// reader's name in another encoding) as its Latin-1 character. The JSON
// output, the window's log panes and Save Log all read a line this way.
#pragma once

// The length of the UTF-8 sequence `c` starts with: 1 to 4 for a sequence
// of the shortest form, a code point no higher than U+10FFFF and no
// surrogate; 0 for a byte that starts none. A NUL byte ends any sequence.
int Utf8SequenceLength(const unsigned char* c);
