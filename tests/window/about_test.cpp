// The About box: its version line (the command line as /proc/self/cmdline
// gives it, the name cut out of it, the file found for that name, the version
// note read back from real files: the built program and crafted ELF files),
// and the box as the program runs it.
#include <elf.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/version/version.h"
#include "window/about.h"
#include "window_fixture.h"

using namespace std::string_literals;

namespace {

std::string Words(std::initializer_list<uint32_t> words)
{
    return std::string(reinterpret_cast<const char*>(words.begin()), words.size() * 4);
}

std::string Note(const std::string& name, uint32_t type, const std::string& desc)
{
    std::string note = Words({uint32_t(name.size() + 1), uint32_t(desc.size()), type}) + name + '\0';
    note.resize((note.size() + 3) & ~size_t(3), '\0');
    note += desc;
    note.resize((note.size() + 3) & ~size_t(3), '\0');
    return note;
}

std::string VersionNote(uint32_t signature, uint32_t ms, uint32_t ls)
{
    return Note("Quarnel", VERSION_NOTE_TYPE, Words({signature, ms, ls}));
}

// A minimal ELF64 file: the header, `notes`, and the section table (a null
// entry and `noteSections` note sections, each of them all of `notes`).
std::string CraftElf(const std::string& notes, uint64_t noteSize, int noteSections = 1)
{
    Elf64_Ehdr header {};
    memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_EXEC;
    header.e_machine = EM_X86_64;
    header.e_version = EV_CURRENT;
    header.e_ehsize = sizeof header;
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = uint16_t(noteSections + 1);
    uint64_t tableOffset = (sizeof header + notes.size() + 7) & ~uint64_t(7);
    header.e_shoff = tableOffset;
    Elf64_Shdr section {};
    section.sh_type = SHT_NOTE;
    section.sh_offset = sizeof header;
    section.sh_size = noteSize;
    section.sh_addralign = 4;
    std::string file(reinterpret_cast<const char*>(&header), sizeof header);
    file += notes;
    file.resize(tableOffset + sizeof section, '\0');
    for (int i = 0; i < noteSections; ++i)
        file.append(reinterpret_cast<const char*>(&section), sizeof section);
    return file;
}

std::string CraftElf(const std::string& notes)
{
    return CraftElf(notes, notes.size());
}

std::string ReadWhole(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

const std::string programVersion = QTU_PROGRAM_VERSION;

// Every pread of the program code comes here (the window tests link with
// --wrap=pread), so a test can count what the version lookup reads. Past the
// budget reads fail: a lookup without limits then ends soon instead of
// walking a crafted file for minutes.
struct {
    size_t bytes;
    size_t budget;
} reads = {0, SIZE_MAX};

}  // namespace

extern "C" ssize_t __real_pread(int fd, void* buffer, size_t size, off_t offset);
extern "C" ssize_t __wrap_pread(int fd, void* buffer, size_t size, off_t offset)
{
    if (reads.bytes + size > reads.budget) {
        errno = EIO;
        return -1;
    }
    ssize_t got = __real_pread(fd, buffer, size, offset);
    if (got > 0)
        reads.bytes += size_t(got);
    return got;
}

namespace {

// Runs each test in a fresh folder of files, the current folder while it runs.
class VersionLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/qtu-about-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir = folder;
        ASSERT_NE(getcwd(oldCwd, sizeof oldCwd), nullptr);
        const char* path = getenv("PATH");
        oldPath = path ? path : "";
        ASSERT_EQ(chdir(folder), 0);

        std::string program = ReadWhole(QTU_PROGRAM_PATH);
        WriteFile("tester", program);
        WriteFile("truncated", program.substr(0, 200));
        WriteFile("plain", CraftElf(""));
        WriteFile("foreign", CraftElf(Note("GNU", NT_GNU_BUILD_ID, Words({1, 2, 3, 4, 5}))));
        WriteFile("max",
                  CraftElf(Note("GNU", NT_GNU_BUILD_ID, Words({1, 2}))
                           + VersionNote(VERSION_SIGNATURE, 0xFFFFFFFF, 0xFFFFFFFF)));
        WriteFile("badsig", CraftElf(VersionNote(0x12345678, 0x00010002, 0x00030004)));
        WriteFile("cutnote", CraftElf(VersionNote(VERSION_SIGNATURE, 0x00010002, 0x00030004), 24));
        WriteFile("hugenote", CraftElf(Words({0xFFFFFFFF, 0xFFFFFFF0, 1}) + std::string(20, 'Q')));
        std::string farTable = CraftElf(VersionNote(VERSION_SIGNATURE, 1, 1));
        reinterpret_cast<Elf64_Ehdr*>(farTable.data())->e_shoff = 0x7FFFFFFFFFFFFFF0;
        WriteFile("fartable", farTable);
        WriteFile("card.bin",
                  std::string("\x7f"
                              "ELF not really",
                              14));
        mkdir("folder", 0700);
        mkdir("bin", 0700);
        WriteFile("bin/onpath", CraftElf(VersionNote(VERSION_SIGNATURE, 0x00020003, 0x00040005)));
    }

    void TearDown() override
    {
        reads.budget = SIZE_MAX;
        EXPECT_EQ(chdir(oldCwd), 0);
        setenv("PATH", oldPath.c_str(), 1);
        std::filesystem::remove_all(dir);
    }

    std::string Line(const char* commandLine)
    {
        char line[VERSION_LINE_SIZE];
        return BuildVersionLine(commandLine, line, sizeof line) ? line : "x x x";
    }

    std::string dir;
    char oldCwd[4096];
    std::string oldPath;
};

TEST_F(VersionLineTest, NameCutFromTheCommandLine)
{
    struct Case {
        const char* commandLine;
        std::string line;
    };
    const Case cases[] = {
        {"\"/opt/tools/tester\"", "tester - Version " + programVersion},
        {"tester -v", "tester - Version " + programVersion},
        {"tester\"x", "tester - Version " + programVersion},
        {"\"tester\"", "x x x"},
        {" tester", "x x x"},
        {"", "x x x"},
        // The last '/' counts, also one inside an argument.
        {"\"/opt/tools/tester\" /data/card.bin", "x x x"},
        {"\"/opt/tools/tester\" /data/max", "max - Version 65535.65535.65535.65535"},
        {"/usr/bin/max --flag", "max - Version 65535.65535.65535.65535"},
        {"max", "max - Version 65535.65535.65535.65535"},
        // A '/' in front is never taken for a separator: the name keeps it
        // and is used as the path it gives.
        {"/max", "x x x"},
        {"missing", "x x x"},
        {"folder", "x x x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Line(c.commandLine), c.line) << c.commandLine;
}

// However the file is made, the lookup reads at most VERSION_READ_LIMIT bytes
// of it: once a 4.2 MB file of 65534 note sections, each of 4096 empty notes,
// kept the About box busy for 40 s.
TEST_F(VersionLineTest, FilesWithoutAWholeRecordShowNothingAndAreReadWithinTheLimit)
{
    WriteFile("crowded", CraftElf(std::string(4096 * 12, '\0'), 4096 * 12, 65534));
    for (const char* name :
         {"plain", "foreign", "badsig", "cutnote", "hugenote", "fartable", "truncated", "card.bin", "crowded"}) {
        reads = {0, 1 << 20};
        EXPECT_EQ(Line(name), "x x x") << name;
        EXPECT_LE(reads.bytes, VERSION_READ_LIMIT) << name;
    }
    // The count sees the lookup's reads.
    reads.bytes = 0;
    EXPECT_EQ(Line("tester"), "tester - Version " + programVersion);
    EXPECT_GT(reads.bytes, 0u);
}

TEST_F(VersionLineTest, NameIsSearchedInTheCurrentFolderThenAlongPath)
{
    EXPECT_EQ(Line("onpath"), "x x x");
    setenv("PATH", ("/nonexistent::" + dir + "/bin").c_str(), 1);
    EXPECT_EQ(Line("onpath -x"), "onpath - Version 2.3.4.5");
    // The current folder comes first: a copy there without the record wins.
    WriteFile("onpath", "no record");
    EXPECT_EQ(Line("onpath"), "x x x");
}

TEST_F(VersionLineTest, LongNameIsCutToTheLine)
{
    std::string name(200, 'n');
    WriteFile(name, CraftElf(VersionNote(VERSION_SIGNATURE, 0x00010002, 0x00030004)));
    char line[VERSION_LINE_SIZE + 16];
    memset(line, 'Z', sizeof line);
    ASSERT_TRUE(BuildVersionLine(name.c_str(), line, VERSION_LINE_SIZE));
    EXPECT_EQ(std::string(line), name.substr(0, VERSION_LINE_SIZE - 1));
    EXPECT_EQ(std::string(line + VERSION_LINE_SIZE, 16), std::string(16, 'Z'));
}

TEST(VersionNoteTest, BuiltProgramCarriesTheProjectVersion)
{
    uint32_t ms = 0;
    uint32_t ls = 0;
    ASSERT_TRUE(ReadFileVersion(QTU_PROGRAM_PATH, &ms, &ls));
    char version[64];
    snprintf(version, sizeof version, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
    EXPECT_EQ(version, programVersion);
}

std::string Join(const std::string& arguments, int capacity = COMMAND_LINE_SIZE)
{
    FILE* in = fmemopen(const_cast<char*>(arguments.data()), arguments.size(), "rb");
    char line[COMMAND_LINE_SIZE + 16];
    memset(line, 'Z', sizeof line);
    JoinCommandLine(in, line, capacity);
    fclose(in);
    EXPECT_EQ(std::string(line + capacity, 16), std::string(16, 'Z'));
    return line;
}

TEST(CommandLineTest, ArgumentsJoinedWithBlanksAndQuotedWhenTheyHoldOne)
{
    EXPECT_EQ(Join("tester\0-v\0"s), "tester -v");
    EXPECT_EQ(Join("/opt/my tools/tester\0a b\0c\0"s), "\"/opt/my tools/tester\" \"a b\" c");
    EXPECT_EQ(Join("tester\0\0x\0"s), "tester  x");
    EXPECT_EQ(Join("tester\0\0"s), "tester ");
    EXPECT_EQ(Join("tester"s), "tester");
    EXPECT_EQ(Join(""s), "");
}

TEST(CommandLineTest, CutToTheBuffer)
{
    std::string longArgument(300, 'a');
    EXPECT_EQ(Join("t\0"s + longArgument + '\0'), "t " + longArgument.substr(0, COMMAND_LINE_SIZE - 3));
    // The quote is decided by a blank far behind the cut.
    std::string blankLate = std::string(COMMAND_LINE_SIZE + 50, 'b') + " end";
    EXPECT_EQ(Join("t\0"s + blankLate + '\0'), "t \"" + blankLate.substr(0, COMMAND_LINE_SIZE - 4));
    std::string exact(COMMAND_LINE_SIZE - 1, 'c');
    EXPECT_EQ(Join(exact + '\0' + "more"), exact);
}

class AboutBoxTest : public MainWindowTest {
protected:
    void TearDown() override
    {
        if (about)
            DestroyDialog(about);
        MainWindowTest::TearDown();
    }

    void Open() { about = CreateDialogParam(IDD_ABOUT, window, AboutDialogProc, 0); }
    QWidget* AboutBox() { return DialogWidget(about); }

    std::string AboutText(int id)
    {
        char text[VERSION_LINE_SIZE];
        return std::string(text, GetDlgItemText(about, id, text, sizeof text));
    }

    HWND about = nullptr;
};

TEST_F(AboutBoxTest, ShowsTitleIconAndVersionLine)
{
    Open();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(AboutBox()->windowTitle().toStdString(), "About . . .");
    EXPECT_EQ(AboutText(IDC_ABOUT_TITLE), "Quarnel Test Program");
    auto* icon = qobject_cast<QLabel*>(DialogItemWidget(about, IDC_ABOUT_ICON));
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
    // The test program carries no version record.
    EXPECT_EQ(AboutText(IDC_ABOUT_VERSION), "x x x");
}

TEST_F(AboutBoxTest, OkAndCloseEndItEscapeDoesNot)
{
    const std::function<void()> closers[] = {
        [&] { QTest::mouseClick(DialogItemWidget(about, IDC_ABOUT_OK), Qt::LeftButton); },
        [&] { EXPECT_EQ(SendDialogMessage(about, WM_CLOSE, 0, 0), TRUE); },
    };
    for (const auto& close : closers) {
        SCOPED_TRACE(&close - closers);
        Open();
        QTest::keyClick(AboutBox(), Qt::Key_Escape);
        EXPECT_EQ(SendDialogMessage(about, WM_COMMAND, IDCANCEL, 0), FALSE);
        EXPECT_EQ(SendDialogMessage(about, WM_COMMAND, IDC_ABOUT_TITLE, 0), FALSE);
        EXPECT_TRUE(AboutBox()->isVisible());
        close();
        EXPECT_FALSE(AboutBox()->isVisible());
        DestroyDialog(about);
        about = nullptr;
    }
}

// Clicks OK of the modal box once it runs, keeping its version line.
void CloseModalBoxWithOk(std::string* version)
{
    QTimer::singleShot(0, [version] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        *version = box->findChild<QLabel*>(QStringLiteral("IDC_ABOUT_VERSION"))->text().toStdString();
        QTest::mouseClick(box->findChild<QWidget*>(QStringLiteral("IDC_ABOUT_OK")), Qt::LeftButton);
    });
}

TEST_F(AboutBoxTest, RunsModallyFromTheSystemMenu)
{
    std::string version;
    CloseModalBoxWithOk(&version);
    EXPECT_EQ(DialogBoxParam(IDD_ABOUT, window, AboutDialogProc, 0), INT_PTR(MAKEWPARAM(IDC_ABOUT_OK, BN_CLICKED)));
    EXPECT_EQ(version, "x x x");

    version.clear();
    CloseModalBoxWithOk(&version);
    EXPECT_EQ(SendDialogMessage(window, WM_SYSCOMMAND, IDM_ABOUT, 0), FALSE);
    EXPECT_EQ(version, "x x x");
}

}  // namespace
