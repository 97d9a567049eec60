// The program's version record, an ELF note stamped into its file at build
// time, and the version line built from it: what About shows and what
// --version prints.
#pragma once

#include <cstdint>
#include <cstdio>

// The version record stamped into the program file at build time: an ELF
// note of this name and type whose description is the signature followed by
// the two halves of the file version (major.minor, then patch.build).
constexpr char VERSION_NOTE_NAME[8] = "Quarnel";
constexpr uint32_t VERSION_NOTE_TYPE = 1;
constexpr uint32_t VERSION_SIGNATURE = 0xFEEF04BD;

struct VersionNote {
    uint32_t nameSize;
    uint32_t descSize;
    uint32_t type;
    char name[8];
    uint32_t signature;
    uint32_t fileVersionMS;
    uint32_t fileVersionLS;
};
constexpr uint32_t VERSION_NOTE_DESC_SIZE = 12;
static_assert(sizeof(VersionNote) == 20 + VERSION_NOTE_DESC_SIZE, "the note is laid out without padding");

// The most the version lookup reads of a file, whatever the file holds: its
// ELF header (64 bytes), its first section headers (64 bytes each) and the
// first bytes of its first note sections.
constexpr int VERSION_SECTION_LIMIT = 128;
constexpr int VERSION_NOTE_SECTION_LIMIT = 16;
constexpr int VERSION_NOTE_BYTES_LIMIT = 1024;
constexpr size_t VERSION_READ_LIMIT =
    64 + VERSION_SECTION_LIMIT * 64 + VERSION_NOTE_SECTION_LIMIT * VERSION_NOTE_BYTES_LIMIT;

constexpr int COMMAND_LINE_SIZE = 260;
constexpr int VERSION_LINE_SIZE = 104;

// Joins the zero-separated arguments (as /proc/self/cmdline holds them) with
// blanks, an argument holding a blank in double quotes, into `line`; the
// text is cut to capacity - 1 characters and always terminated.
void JoinCommandLine(FILE* arguments, char* line, int capacity);
// The version line for a command line; false when there is none to show.
bool BuildVersionLine(const char* commandLine, char* line, int capacity);
// The file version of an ELF file holding the version note.
bool ReadFileVersion(const char* path, uint32_t* fileVersionMS, uint32_t* fileVersionLS);
// "a.b.c.d" from the record of the running program's own file (what
// --version prints); false when it holds none.
bool FormatProgramVersion(char* text, int capacity);
