// The three data sources through the real controls: the radio buttons, the
// string field, the copy of the current source, and the file loader with its
// picker (answered from a timer) on files, devices and pipes.
#include <algorithm>
#include <pty.h>
#include <sys/stat.h>

#include "compose/data_entry.h"
#include "compose_support.h"

namespace {

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
    int textFlag;
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
        {IDC_MODE_STRING, 0, BUFFER_SIZE, "*** TESTDATA ***", 16},
        {IDC_MODE_STRING, 1, 1024, "*** TESTDATA ***", 16},
        {IDC_MODE_HEX, 0, BUFFER_SIZE, parsed, 21},
        {IDC_MODE_HEX, 1, 1024, hexText + '\0', 21},  // the text as typed, the parsed count
        {IDC_MODE_FILE, 0, BUFFER_SIZE, file, 20},
        {IDC_MODE_FILE, 1, 8, file.substr(0, 8), 8},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.radio) + " flag " + std::to_string(c.textFlag));
        Click(c.radio);
        std::vector<BYTE> dest(c.capacity + 16, 0xEE);
        uint32_t length = c.capacity;
        EXPECT_EQ(CopyEntryData(dest.data(), &length, c.textFlag), c.length);
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

struct LoadCase {
    const char* name;   // on disk
    const char* typed;  // in the picker
    size_t size;
    uint32_t loaded;
};

const char* const LARGER = "The file is larger than 10000 bytes: only its first 10000 bytes are used.";

TEST_F(FileLoadTest, LoadsAtMost10000BytesAndReports)
{
    for (LoadCase c : {LoadCase {"empty", "empty", 0, 0}, LoadCase {"one", "one", 1, 1},
                       LoadCase {"full", "full", 10000, 10000}, LoadCase {"over", "over", 10001, 10000},
                       // Not UTF-8, so the picker cannot list it: typed as Latin-1 reads it.
                       LoadCase {"caf\xE9", "caf\u00E9", 3, 3}}) {
        SCOPED_TRACE(c.name);
        Command(IDC_CLEAR_LOG);
        std::string path = WriteFile(c.name, Pattern(c.size));
        LoadFile(scratch + "/" + c.typed);
        EXPECT_EQ(tester.fileLen, c.loaded);
        EXPECT_EQ(std::vector<BYTE>(tester.fileData, tester.fileData + c.loaded), Pattern(c.loaded));
        EXPECT_EQ(Text(IDC_FILE_LEN), std::to_string(c.loaded));
        std::vector<std::string> log = {"Loading: " + path, std::to_string(c.loaded) + " bytes loaded."};
        if (c.size > c.loaded)
            log.push_back(LARGER);
        EXPECT_EQ(LogEntries(), log);
        EXPECT_EQ(tester.vendorIn.le, std::min<uint32_t>(c.loaded, 255));
        // Loading changes neither the source nor the vendor fields.
        EXPECT_EQ(tester.entryMode, ENTRY_STRING);
        EXPECT_EQ(Text(IDC_VENDOR_LE), "21");
        EXPECT_EQ(tester.fileStream, nullptr);
    }
}

TEST_F(FileLoadTest, ReadsDevicesThatAlwaysHaveData)
{
    for (const char* device : {"/dev/urandom", "/dev/zero"}) {
        SCOPED_TRACE(device);
        memset(tester.fileData, 0x77, sizeof tester.fileData);
        LoadFile(device);
        EXPECT_EQ(tester.fileLen, 10000u);
        EXPECT_EQ(LastLogEntry(), LARGER);
        EXPECT_LT(std::count(tester.fileData, tester.fileData + BUFFER_SIZE, 0x77), 200);
    }
    EXPECT_EQ(std::count(tester.fileData, tester.fileData + BUFFER_SIZE, 0), BUFFER_SIZE);
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

    // Opens, then fails to read: nothing of it reaches fileData.
    Command(IDC_CLEAR_LOG);
    LoadFile("/proc/self/mem");
    std::vector<std::string> entries = LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind("Cannot load /proc/", 0), 0u) << entries[0];
    EXPECT_NE(entries[0].find("/mem: Input/output error."), std::string::npos) << entries[0];
    ExpectKnownFileKept();
}

TEST_F(FileLoadTest, FileWithoutReadPermissionIsOneLineWithTheReason)
{
    LoadKnownFile();
    std::string locked = WriteFile("locked", Pattern(5));
    chmod(locked.c_str(), 0);
    chmod(scratch.c_str(), 0755);
    // Root reads any file: load as nobody. The root of a user namespace cannot
    // become nobody, but cannot read the real root's files either.
    auto readable = [](const std::string& path) { return faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0; };
    bool asNobody = readable(locked) && seteuid(65534) == 0;
    if (readable(locked))
        locked = "/etc/shadow";
    bool unreadable = !readable(locked);
    if (unreadable)
        LoadFile(locked);
    if (asNobody) {
        EXPECT_EQ(seteuid(0), 0);
    }
    if (!unreadable)
        GTEST_SKIP() << "no file this process cannot read";
    EXPECT_EQ(LogEntries(), std::vector<std::string> {"Cannot load " + locked + ": Permission denied."});
    ExpectKnownFileKept();
}

TEST_F(FileLoadTest, PipesAndDevicesWithoutDataAreRefusedAtOnce)
{
    LoadKnownFile();
    std::string fifo = scratch + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    LoadFile(fifo);
    EXPECT_EQ(LogEntries(), std::vector<std::string> {"Cannot load " + fifo + ": the pipe has no writer."});
    ExpectKnownFileKept();

    // A writer that keeps the pipe open: what it wrote is not all there is.
    int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    for (const char* written : {"", "12345"}) {
        SCOPED_TRACE(written);
        ASSERT_EQ(write(writer, written, strlen(written)), ssize_t(strlen(written)));
        Command(IDC_CLEAR_LOG);
        LoadFile(fifo);
        EXPECT_EQ(LogEntries(), std::vector<std::string> {"Cannot load " + fifo + ": no data without waiting."});
        ExpectKnownFileKept();
    }
    close(writer);

    int master = -1;
    int terminal = -1;
    char name[256];
    ASSERT_EQ(openpty(&master, &terminal, name, nullptr, nullptr), 0);
    Command(IDC_CLEAR_LOG);
    LoadFile(name);
    EXPECT_EQ(LogEntries(),
              std::vector<std::string> {"Cannot load " + std::string(name) + ": no data without waiting."});
    ExpectKnownFileKept();
    close(terminal);
    close(master);
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
