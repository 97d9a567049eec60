// The file loader core on files, devices and pipes; then the three data
// sources through the real controls: the radio buttons, the string field,
// the copy of the current source, and the loader behind its picker (answered
// from a timer).
#include <algorithm>
#include <dirent.h>
#include <pty.h>
#include <sys/stat.h>

#include "compose_support.h"
#include "core/compose/data_entry.h"
#include "descriptors.h"
#include "window/compose_commands.h"

namespace {

class FileLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.Create()); }
    void TearDown() override { EXPECT_TRUE(folder.Remove()); }

    // Loads `path` into a destination of `capacity` bytes (and a canary
    // behind it); the file must be closed again whatever came of it.
    FileLoad Load(const std::string& path, uint32_t capacity, std::vector<BYTE>* loaded = nullptr)
    {
        std::vector<BYTE> dest(capacity + 1, 0x77);
        int before = OpenDescriptors();
        FileLoad result;
        bool ok = ReadDataFile(path.c_str(), dest.data(), capacity, &result);
        EXPECT_EQ(OpenDescriptors(), before) << "the file stays open";
        EXPECT_EQ(ok, result.failure[0] == '\0');
        EXPECT_EQ(dest[capacity], 0x77) << "wrote past the destination";
        if (loaded != nullptr)
            loaded->assign(dest.begin(), dest.begin() + result.count);
        return result;
    }

    ScratchFolder folder;
};

struct LoadCase {
    std::string path;
    uint32_t count;
    bool larger;
    std::string failure;  // empty: loaded
};

TEST_F(FileLoaderTest, ReadsAtMostTheDestinationAndNeverWaits)
{
    const uint32_t CAPACITY = 100;
    std::string lonely = folder.path + "/lonely";
    std::string held = folder.path + "/held";
    ASSERT_EQ(mkfifo(lonely.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(held.c_str(), 0600), 0);
    // A writer that keeps the pipe open: what it wrote is not all there is.
    int writer = open(held.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "12345", 5), 5);
    int master = -1;
    int terminal = -1;
    char terminalName[256];
    ASSERT_EQ(openpty(&master, &terminal, terminalName, nullptr, nullptr), 0);

    const LoadCase cases[] = {
        {folder.WriteFile("empty", {}), 0, false, ""},
        {folder.WriteFile("one", Pattern(1)), 1, false, ""},
        {folder.WriteFile("full", Pattern(CAPACITY)), CAPACITY, false, ""},
        {folder.WriteFile("over", Pattern(CAPACITY + 1)), CAPACITY, true, ""},
        {"/dev/zero", CAPACITY, true, ""},
        {folder.path + "/missing", 0, false, "No such file or directory"},
        {"/proc/self/mem", 0, false, "Input/output error"},  // opens, then fails to read
        {lonely, 0, false, "the pipe has no writer"},
        {held, 0, false, "no data without waiting"},
        {terminalName, 0, false, "no data without waiting"},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<BYTE> loaded;
        FileLoad result = Load(c.path, CAPACITY, &loaded);
        EXPECT_EQ(result.failure, c.failure);
        if (c.failure.empty()) {
            EXPECT_EQ(result.count, c.count);
            EXPECT_EQ(result.larger, c.larger);
            EXPECT_EQ(loaded, c.path == "/dev/zero" ? std::vector<BYTE>(CAPACITY, 0) : Pattern(c.count));
        }
    }
    close(writer);
    close(terminal);
    close(master);
}

TEST_F(FileLoaderTest, FileWithoutReadPermissionSaysSo)
{
    std::string locked = folder.WriteFile("locked", Pattern(5));
    chmod(locked.c_str(), 0);
    chmod(folder.path.c_str(), 0755);
    // Root reads any file: load as nobody. The root of a user namespace cannot
    // become nobody, but cannot read the real root's files either.
    auto readable = [](const std::string& path) { return faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0; };
    bool asNobody = readable(locked) && seteuid(65534) == 0;
    if (readable(locked))
        locked = "/etc/shadow";
    bool unreadable = !readable(locked);
    FileLoad result {};
    if (unreadable)
        result = Load(locked, 16);
    if (asNobody) {
        EXPECT_EQ(seteuid(0), 0);
    }
    if (!unreadable)
        GTEST_SKIP() << "no file this process cannot read";
    EXPECT_STREQ(result.failure, "Permission denied");
}

using DataEntryTest = ComposeTest;

struct ModeCase {
    int radio;
    int32_t mode;
    int countField;
    const char* count;
    int input;
    int others[2];
};

TEST_F(DataEntryTest, RadioButtonsSwitchSourceWithoutTouchingData)
{
    const ModeCase cases[] = {
        {IDC_MODE_HEX, ENTRY_HEX, IDC_HEX_LEN, "21", IDC_HEX_DATA, {IDC_STRING_DATA, IDC_LOAD_FILE}},
        {IDC_MODE_FILE, ENTRY_FILE, IDC_FILE_LEN, "0", IDC_LOAD_FILE, {IDC_STRING_DATA, IDC_HEX_DATA}},
        {IDC_MODE_STRING, ENTRY_STRING, IDC_STRING_LEN, "16", IDC_STRING_DATA, {IDC_HEX_DATA, IDC_LOAD_FILE}},
        {IDC_MODE_HEX, ENTRY_HEX, IDC_HEX_LEN, "21", IDC_HEX_DATA, {IDC_STRING_DATA, IDC_LOAD_FILE}},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.radio);
        SetText(c.countField, "stale");
        Click(c.radio);
        EXPECT_EQ(tester.entryMode, c.mode);
        for (int radio : {IDC_MODE_STRING, IDC_MODE_HEX, IDC_MODE_FILE})
            EXPECT_EQ(Checked(radio), radio == c.radio) << radio;
        EXPECT_EQ(Text(c.countField), c.count);
        EXPECT_TRUE(Enabled(c.input));
        EXPECT_FALSE(Enabled(c.others[0]));
        EXPECT_FALSE(Enabled(c.others[1]));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(tester.stringData), tester.stringLen), "*** TESTDATA ***");
        EXPECT_EQ(tester.hexLen, 21u);
        EXPECT_EQ(tester.hexData[4], 0x10);
    }
}

TEST_F(DataEntryTest, StringFieldCountsAndSetsTheVendorLength)
{
    tester.vendorIn.pa = 3;
    tester.vendorIn.pb = 100;
    tester.vendorIn.pc = 7;
    for (size_t length : {size_t(0), size_t(1), size_t(255), size_t(256), size_t(300), size_t(1024)}) {
        SCOPED_TRACE(length);
        SetText(IDC_VENDOR_P1, "5");
        SetText(IDC_STRING_DATA, std::string(length, 'q'));
        EXPECT_EQ(tester.stringLen, length);
        EXPECT_EQ(Text(IDC_STRING_LEN), std::to_string(length));
        EXPECT_EQ(tester.vendorIn.le, std::min<size_t>(length, 255));
        EXPECT_EQ(Text(IDC_VENDOR_LE), std::to_string(std::min<size_t>(length, 255)));
        // The other vendor fields are rewritten from the request, dropping edits.
        EXPECT_EQ(Text(IDC_VENDOR_P1), "3");
        EXPECT_EQ(Text(IDC_VENDOR_P2), "100");
        EXPECT_EQ(Text(IDC_VENDOR_LC), "7");
    }

    // Typed: a character with no Latin-1 form is refused, as it could not be sent.
    SetText(IDC_STRING_DATA, "");
    Widget(IDC_STRING_DATA)->setFocus();
    for (QChar c : QStringLiteral(u"a\u20ACb\u00E9"))
        QTest::sendKeyEvent(QTest::Click, Widget(IDC_STRING_DATA), Qt::Key_unknown, QString(c), Qt::NoModifier);
    EXPECT_EQ(tester.stringLen, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(tester.stringData), tester.stringLen), "ab\xE9");
}

struct CopyCase {
    int radio;
    bool hexAsText;
    uint32_t capacity;
    std::string copied;
    uint32_t length;
};

TEST_F(DataEntryTest, CopyEntryDataCopiesTheCurrentSourceWithinTheDestination)
{
    const std::string hexText = "00 02 00 00 10 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10";
    LoadFile(WriteFile("bytes", Pattern(20)));
    const std::vector<BYTE> pattern = Pattern(20);
    const std::string file(pattern.begin(), pattern.end());
    const std::string parsed(reinterpret_cast<char*>(tester.hexData), 21);
    const CopyCase cases[] = {
        {IDC_MODE_STRING, false, BUFFER_SIZE, "*** TESTDATA ***", 16},
        {IDC_MODE_STRING, true, 1024, "*** TESTDATA ***", 16},
        {IDC_MODE_HEX, false, BUFFER_SIZE, parsed, 21},
        {IDC_MODE_HEX, true, 1024, hexText + '\0', 21},  // the text as typed, the parsed count
        {IDC_MODE_FILE, false, BUFFER_SIZE, file, 20},
        {IDC_MODE_FILE, true, 8, file.substr(0, 8), 8},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.radio) + " as text " + std::to_string(c.hexAsText));
        Click(c.radio);
        std::vector<BYTE> dest(c.capacity + 16, 0xEE);
        uint32_t length = c.capacity;
        EXPECT_EQ(CopyEntryData(dest.data(), &length, c.hexAsText), c.length);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(std::string(dest.begin(), dest.begin() + c.copied.size()), c.copied);
        EXPECT_EQ(dest[c.capacity], 0xEE) << "wrote past the destination";
    }
}

class FileLoadTest : public ComposeTest {
protected:
    // Loads a known file first, so a failure can be seen to keep it.
    void LoadKnownFile()
    {
        LoadFile(WriteFile("known", Pattern(42)));
        ASSERT_EQ(tester.fileLen, 42u);
        Command(IDC_CLEAR_LOG);
    }

    void ExpectKnownFileKept()
    {
        EXPECT_EQ(tester.fileLen, 42u);
        EXPECT_EQ(std::vector<BYTE>(tester.fileData, tester.fileData + 42), Pattern(42));
        EXPECT_EQ(Text(IDC_FILE_LEN), "42");
        EXPECT_EQ(Log().find("bytes loaded"), std::string::npos);
    }
};

struct PickedFile {
    const char* name;   // on disk
    const char* typed;  // in the picker
    size_t size;
    uint32_t loaded;
};

// What is read is the core's (FileLoaderTest); here what the window shows.
TEST_F(FileLoadTest, LoadsAtMost10000BytesAndReports)
{
    for (PickedFile c : {PickedFile {"one", "one", 1, 1}, PickedFile {"over", "over", 10001, 10000},
                         // Not UTF-8, so the picker cannot list it: typed as Latin-1 reads it.
                         PickedFile {"caf\xE9", "caf\u00E9", 3, 3}}) {
        SCOPED_TRACE(c.name);
        Command(IDC_CLEAR_LOG);
        std::string path = WriteFile(c.name, Pattern(c.size));
        LoadFile(scratch + "/" + c.typed);
        EXPECT_EQ(tester.fileLen, c.loaded);
        EXPECT_EQ(std::vector<BYTE>(tester.fileData, tester.fileData + c.loaded), Pattern(c.loaded));
        EXPECT_EQ(Text(IDC_FILE_LEN), std::to_string(c.loaded));
        std::vector<std::string> log = {"Loading: " + path, std::to_string(c.loaded) + " bytes loaded."};
        if (c.size > c.loaded)
            log.push_back("The file is larger than 10000 bytes: only its first 10000 bytes are used.");
        EXPECT_EQ(LogEntries(), log);
        EXPECT_EQ(tester.vendorIn.le, std::min<uint32_t>(c.loaded, 255));
        // Loading changes neither the source nor the vendor fields.
        EXPECT_EQ(tester.entryMode, ENTRY_STRING);
        EXPECT_EQ(Text(IDC_VENDOR_LE), "21");
    }
}

TEST_F(FileLoadTest, CancelLogsNothingButSetsTheVendorLength)
{
    LoadKnownFile();
    // A name with no file behind it is refused by the picker, which is then cancelled.
    for (std::string answer : {std::string(), scratch + "/missing"}) {
        SCOPED_TRACE(answer);
        tester.vendorIn.le = 7;
        SetText(IDC_VENDOR_LE, "7");
        LoadFile(answer);
        EXPECT_EQ(Log(), "");
        ExpectKnownFileKept();
        EXPECT_EQ(tester.vendorIn.le, 42);
        EXPECT_EQ(Text(IDC_VENDOR_LE), "7");
    }
}

TEST_F(FileLoadTest, UnreadableFileIsOneLineWithTheReason)
{
    LoadKnownFile();
    std::string gone = WriteFile("gone", Pattern(5));
    LoadFile(gone, [gone] { unlink(gone.c_str()); });
    EXPECT_EQ(LogEntries(), std::vector<std::string> {"Cannot load " + gone + ": No such file or directory."});
    ExpectKnownFileKept();
}

TEST_F(FileLoadTest, PathLongerThan259CharactersIsRefused)
{
    LoadKnownFile();
    std::string folder = scratch;
    while (folder.size() < 260) {
        folder += "/" + std::string(60, 'd');
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    }
    WriteFile(folder.substr(scratch.size() + 1) + "/file", Pattern(3));
    Command(IDC_CLEAR_LOG);
    LoadFile(folder + "/file");
    EXPECT_EQ(LogEntries(), std::vector<std::string> {"Common Dialog error 0x00003003 opening file dialog."});
    ExpectKnownFileKept();
}

}  // namespace
