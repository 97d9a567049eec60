// Reads the version note out of an ELF file, bounded whatever the file
// holds, and builds the version line of a command line.
#include "core/version/version.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int PATH_SIZE = 4096;
static_assert(VERSION_READ_LIMIT
                  == sizeof(Elf64_Ehdr) + VERSION_SECTION_LIMIT * sizeof(Elf64_Shdr)
                      + VERSION_NOTE_SECTION_LIMIT * VERSION_NOTE_BYTES_LIMIT,
              "the limit counts every read of the lookup");

bool ReadAt(int fd, uint64_t offset, void* buffer, size_t size)
{
    if (offset > uint64_t(INT64_MAX) - size)
        return false;
    char* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t got = pread(fd, bytes, size, off_t(offset));
        if (got <= 0)
            return false;
        bytes += got;
        offset += uint64_t(got);
        size -= size_t(got);
    }
    return true;
}

uint64_t AlignNote(uint64_t size)
{
    return (size + 3) & ~uint64_t(3);
}

// Walks the notes of one note section, read whole into `notes`; each note
// takes at least its 12-byte header, so the walk ends within the buffer.
bool FindVersionNote(const char* notes, uint64_t size, uint32_t* fileVersionMS, uint32_t* fileVersionLS)
{
    uint64_t offset = 0;
    while (size - offset >= sizeof(Elf64_Nhdr)) {
        Elf64_Nhdr header;
        memcpy(&header, notes + offset, sizeof header);
        uint64_t next = offset + sizeof header + AlignNote(header.n_namesz) + AlignNote(header.n_descsz);
        if (next > size)
            return false;
        if (header.n_type == VERSION_NOTE_TYPE && header.n_namesz == sizeof VERSION_NOTE_NAME
            && header.n_descsz == VERSION_NOTE_DESC_SIZE) {
            VersionNote note;
            memcpy(&note, notes + offset, sizeof note);
            if (memcmp(note.name, VERSION_NOTE_NAME, sizeof note.name) == 0 && note.signature == VERSION_SIGNATURE) {
                *fileVersionMS = note.fileVersionMS;
                *fileVersionLS = note.fileVersionLS;
                return true;
            }
        }
        offset = next;
    }
    return false;
}

// Reads the ELF header, the first section headers in one read and the first
// note sections, each at most VERSION_NOTE_BYTES_LIMIT bytes: whatever file
// carries the program's name, About never reads more than VERSION_READ_LIMIT.
bool FindVersionRecord(int fd, uint32_t* fileVersionMS, uint32_t* fileVersionLS)
{
    Elf64_Ehdr header;
    if (!ReadAt(fd, 0, &header, sizeof header) || memcmp(header.e_ident, ELFMAG, SELFMAG) != 0
        || header.e_ident[EI_CLASS] != ELFCLASS64)
        return false;
    const unsigned char hostOrder = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
    if (header.e_ident[EI_DATA] != hostOrder || header.e_shentsize != sizeof(Elf64_Shdr))
        return false;
    Elf64_Shdr sections[VERSION_SECTION_LIMIT];
    int sectionCount = header.e_shnum < VERSION_SECTION_LIMIT ? header.e_shnum : VERSION_SECTION_LIMIT;
    if (!ReadAt(fd, header.e_shoff, sections, size_t(sectionCount) * sizeof sections[0]))
        return false;
    alignas(Elf64_Nhdr) char notes[VERSION_NOTE_BYTES_LIMIT];
    int noteSections = 0;
    for (int i = 0; i < sectionCount && noteSections < VERSION_NOTE_SECTION_LIMIT; ++i) {
        if (sections[i].sh_type != SHT_NOTE)
            continue;
        ++noteSections;
        uint64_t size = sections[i].sh_size < sizeof notes ? sections[i].sh_size : sizeof notes;
        if (ReadAt(fd, sections[i].sh_offset, notes, size)
            && FindVersionNote(notes, size, fileVersionMS, fileVersionLS))
            return true;
    }
    return false;
}

bool IsRegularFile(const char* path)
{
    struct stat status;
    return stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

// The file `name` in the running program's own folder.
bool InProgramFolder(const char* name, char* path)
{
    char program[PATH_SIZE];
    ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0)
        return false;
    program[length] = '\0';
    const char* slash = strrchr(program, '/');
    return slash && snprintf(path, PATH_SIZE, "%.*s/%s", int(slash - program), program, name) < PATH_SIZE
        && IsRegularFile(path);
}

// Finds the file of a program name: as given when it holds a '/', else in
// the running program's own folder (an installed copy started by its full
// path from elsewhere finds itself), then in the current folder and then
// along PATH.
bool LocateProgram(const char* name, char* path)
{
    snprintf(path, PATH_SIZE, "%s", name);
    if (strchr(name, '/'))
        return IsRegularFile(path);
    if (InProgramFolder(name, path))
        return true;
    snprintf(path, PATH_SIZE, "%s", name);
    if (IsRegularFile(path))
        return true;
    const char* folders = getenv("PATH");
    while (folders && *folders) {
        const char* end = strchrnul(folders, ':');
        int length = int(end - folders);
        if (length > 0 && snprintf(path, PATH_SIZE, "%.*s/%s", length, folders, name) < PATH_SIZE
            && IsRegularFile(path))
            return true;
        folders = *end ? end + 1 : end;
    }
    return false;
}

}  // namespace

void JoinCommandLine(FILE* arguments, char* line, int capacity)
{
    if (capacity <= 0)
        return;
    int used = 0;
    auto put = [&](char c) {
        if (used < capacity - 1)
            line[used++] = c;
    };
    bool first = true;
    while (used < capacity - 1) {
        // Look through the argument once to learn whether it needs quotes.
        long start = ftell(arguments);
        bool blank = false;
        int length = 0;
        int c;
        while ((c = getc(arguments)) != EOF && c != '\0') {
            blank = blank || c == ' ';
            ++length;
        }
        if ((c == EOF && length == 0) || start < 0 || fseek(arguments, start, SEEK_SET) != 0)
            break;
        if (!first)
            put(' ');
        if (blank)
            put('"');
        while ((c = getc(arguments)) != EOF && c != '\0')
            put(char(c));
        if (blank)
            put('"');
        first = false;
        if (c == EOF)
            break;
    }
    line[used] = '\0';
}

bool ReadFileVersion(const char* path, uint32_t* fileVersionMS, uint32_t* fileVersionLS)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool found = FindVersionRecord(fd, fileVersionMS, fileVersionLS);
    close(fd);
    return found;
}

// Both halves of the file version as "a.b.c.d".
static void FormatFileVersion(char* text, int capacity, uint32_t fileVersionMS, uint32_t fileVersionLS)
{
    snprintf(text, size_t(capacity), "%u.%u.%u.%u", fileVersionMS >> 16, fileVersionMS & 0xFFFF, fileVersionLS >> 16,
             fileVersionLS & 0xFFFF);
}

bool FormatProgramVersion(char* text, int capacity)
{
    uint32_t fileVersionMS;
    uint32_t fileVersionLS;
    if (!ReadFileVersion("/proc/self/exe", &fileVersionMS, &fileVersionLS))
        return false;
    FormatFileVersion(text, capacity, fileVersionMS, fileVersionLS);
    return true;
}

bool BuildVersionLine(const char* commandLine, char* line, int capacity)
{
    // The last '/' counts, also one inside the arguments; the first
    // character is never taken for a separator.
    const char* name = commandLine;
    for (size_t i = strlen(commandLine); i-- > 1;) {
        if (commandLine[i] == '/') {
            name = commandLine + i + 1;
            break;
        }
    }
    char fileName[COMMAND_LINE_SIZE];
    snprintf(fileName, sizeof fileName, "%.*s", int(strcspn(name, " \"")), name);
    char path[PATH_SIZE];
    uint32_t fileVersionMS;
    uint32_t fileVersionLS;
    if (!fileName[0] || !LocateProgram(fileName, path) || !ReadFileVersion(path, &fileVersionMS, &fileVersionLS))
        return false;
    char version[VERSION_LINE_SIZE];
    FormatFileVersion(version, sizeof version, fileVersionMS, fileVersionLS);
    snprintf(line, size_t(capacity), "%s %s %s", fileName, "- Version", version);
    return true;
}
