// The device emulator (our RAPI.dll), reached through the binding
// RapiDeviceLink as the update run reaches it: each test sets the emulator's
// variables, binds RAPI.dll anew and works on a device folder of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "device/rapi_device_link.h"
#include "emulator_journal.h"

namespace {

namespace fs = std::filesystem;
using qel::DeviceFindData;
using qel::Handle;
using qel::kInvalidHandle;
using qel::emulator::EmulatorJournal;

constexpr const wchar_t* kVariables[] = {
    L"QEL_EMU_ROOT",       L"QEL_EMU_JOURNAL",     L"QEL_EMU_CONNECT",      L"QEL_EMU_FAIL_MKDIR",
    L"QEL_EMU_FAIL_WRITE", L"QEL_EMU_SHORT_WRITE", L"QEL_EMU_FAIL_PROCESS", L"QEL_EMU_FAIL"};

using OwnedHandle = std::unique_ptr<void, decltype(&CloseHandle)>;

void SetVariable(const wchar_t* name, const std::wstring& value) {
  SetEnvironmentVariableW(name, value.c_str());
}

HANDLE Win32(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

// A handle as the journal writes it.
std::string Hex(Handle handle) {
  std::ostringstream text;
  text << "0x" << std::hex << handle;
  return text.str();
}

// A journal line: the fields joined by tabs, then CR LF.
std::string Line(std::initializer_list<std::string> fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (&field != fields.begin()) line += '\t';
    line += field;
  }
  return line.append("\r\n");
}

std::string Content(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void MakeFile(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

DWORD Attributes(const fs::path& path) { return GetFileAttributesW(path.c_str()); }

fs::path ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

class EmulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() /
            ("qel_emulator_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    root_ = base_ / "device";
    journal_ = base_ / "journal.txt";
    fs::remove_all(base_);
    fs::create_directories(root_);
    for (const wchar_t* name : kVariables) SetEnvironmentVariableW(name, nullptr);
    SetVariable(L"QEL_EMU_ROOT", root_.wstring());
    SetVariable(L"QEL_EMU_JOURNAL", journal_.wstring());
    link_.emplace();
  }

  void TearDown() override {
    link_.reset();  // unloads RAPI.dll, which closes whatever a test left open
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }

  qel::RapiDeviceLink& link() { return *link_; }

  // Begins a connection and waits until the link is up.
  void Connect() {
    qel::Handle event = 0;
    ASSERT_EQ(link().CeRapiInitEx(event), qel::kSOk);
    ASSERT_EQ(WaitForSingleObject(Win32(event), 5000), WAIT_OBJECT_0);
    ASSERT_EQ(link().CeRapiInitResult(), qel::kSOk);
  }

  Handle CreateHidden(const char16_t* path) {
    return link().CeCreateFile(path, qel::kGenericWrite, 0, qel::kCreateAlways, qel::kFileAttributeHidden);
  }

  bool Write(Handle file, const std::string& bytes, std::uint32_t* written = nullptr) {
    std::uint32_t ignored = 0;
    return link().CeWriteFile(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                              written != nullptr ? written : &ignored);
  }

  bool Found(const char16_t* path, DeviceFindData& data) {
    const Handle search = link().CeFindFirstFile(path, data);
    return search != kInvalidHandle && link().CeFindClose(search);
  }

  EmulatorJournal Journal() const { return EmulatorJournal(journal_); }

  fs::path base_, root_, journal_;
  std::optional<qel::RapiDeviceLink> link_;
};

// --- Connection ---------------------------------------------------------------

TEST_F(EmulatorTest, ConnectsAtOnceAndUninitClosesTheEvent) {
  qel::Handle event = 0;
  ASSERT_EQ(link().CeRapiInitEx(event), qel::kSOk);
  EXPECT_EQ(WaitForSingleObject(Win32(event), 0), WAIT_OBJECT_0);
  EXPECT_EQ(link().CeRapiInitResult(), qel::kSOk);
  EXPECT_EQ(link().CeRapiUninit(), qel::kSOk);
  EXPECT_EQ(WaitForSingleObject(Win32(event), 0), WAIT_FAILED);
  // Nothing left to end, and nothing reachable without a link.
  EXPECT_FALSE(qel::Succeeded(link().CeRapiUninit()));
  EXPECT_FALSE(link().CeCreateDirectory(u"\\late"));
  EXPECT_FALSE(fs::exists(root_ / "late"));
}

TEST_F(EmulatorTest, OperationsFailBeforeAnyConnection) {
  DeviceFindData data;
  EXPECT_EQ(link().CeFindFirstFile(u"\\", data), kInvalidHandle);
  EXPECT_FALSE(link().CeCreateDirectory(u"\\early"));
  EXPECT_FALSE(fs::exists(root_ / "early"));
}

TEST_F(EmulatorTest, RefusedStartAndMissingRootFail) {
  qel::Handle event = 0;
  SetVariable(L"QEL_EMU_CONNECT", L"refuse");
  EXPECT_FALSE(qel::Succeeded(link().CeRapiInitEx(event)));
  EXPECT_FALSE(qel::Succeeded(link().CeRapiUninit()));

  SetEnvironmentVariableW(L"QEL_EMU_CONNECT", nullptr);
  SetEnvironmentVariableW(L"QEL_EMU_ROOT", nullptr);
  EXPECT_FALSE(qel::Succeeded(link().CeRapiInitEx(event)));
  EXPECT_EQ(Journal().ConnectionsBegun(), 0u);
}

TEST_F(EmulatorTest, MalformedSettingsRefuseTheStart) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"QEL_EMU_CONNECT", L"sometimes"},     {L"QEL_EMU_CONNECT", L"delay:"},
      {L"QEL_EMU_CONNECT", L"delay:5s"},      {L"QEL_EMU_FAIL_WRITE", L"0"},
      {L"QEL_EMU_SHORT_WRITE", L"-1"},        {L"QEL_EMU_FAIL_PROCESS", L"yes"},
      {L"QEL_EMU_FAIL", L"CeRapiInitEx:1"},   {L"QEL_EMU_FAIL", L"CeWriteFile"},
      {L"QEL_EMU_FAIL", L"CeWriteFile:0"},    {L"QEL_EMU_FAIL", L"CeWriteFile:1,"},
      {L"QEL_EMU_FAIL", L"cewritefile:1"},
  };
  for (const auto& [name, value] : cases) {
    SCOPED_TRACE(testing::Message() << fs::path(name).string() << "=" << fs::path(value).string());
    SetVariable(name, value);
    qel::Handle event = 0;
    EXPECT_FALSE(qel::Succeeded(link().CeRapiInitEx(event)));
    SetEnvironmentVariableW(name, nullptr);
  }
  Connect();  // and well-formed again
}

TEST_F(EmulatorTest, NeverConnectingLeavesTheEventUnsignalled) {
  SetVariable(L"QEL_EMU_CONNECT", L"never");
  qel::Handle event = 0;
  ASSERT_EQ(link().CeRapiInitEx(event), qel::kSOk);
  EXPECT_EQ(WaitForSingleObject(Win32(event), 200), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(link().CeCreateDirectory(u"\\never"));
  EXPECT_EQ(link().CeRapiUninit(), qel::kSOk);  // a pending start is ended too
}

TEST_F(EmulatorTest, FailedConnectionSignalsWithAFailureResult) {
  SetVariable(L"QEL_EMU_CONNECT", L"fail");
  qel::Handle event = 0;
  ASSERT_EQ(link().CeRapiInitEx(event), qel::kSOk);
  EXPECT_EQ(WaitForSingleObject(Win32(event), 0), WAIT_OBJECT_0);
  EXPECT_FALSE(qel::Succeeded(link().CeRapiInitResult()));
  EXPECT_FALSE(link().CeCreateDirectory(u"\\down"));
  EXPECT_EQ(link().CeRapiUninit(), qel::kSOk);
}

TEST_F(EmulatorTest, DelayedConnectionComesUpAfterTheDelay) {
  SetVariable(L"QEL_EMU_CONNECT", L"delay:300");
  qel::Handle event = 0;
  const ULONGLONG start = GetTickCount64();
  ASSERT_EQ(link().CeRapiInitEx(event), qel::kSOk);
  EXPECT_EQ(WaitForSingleObject(Win32(event), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(link().CeCreateDirectory(u"\\soon"));  // not up yet
  EXPECT_EQ(WaitForSingleObject(Win32(event), 5000), WAIT_OBJECT_0);
  EXPECT_GE(GetTickCount64() - start, 250u);
  EXPECT_EQ(link().CeRapiInitResult(), qel::kSOk);
  EXPECT_TRUE(link().CeCreateDirectory(u"\\soon"));
  EXPECT_EQ(link().CeRapiUninit(), qel::kSOk);
}

TEST_F(EmulatorTest, DelayedConnectionEndedOrUnloadedEarlyLeavesNothingBehind) {
  SetVariable(L"QEL_EMU_CONNECT", L"delay:200");
  qel::Handle event = 0;
  ASSERT_EQ(link().CeRapiInitEx(event), qel::kSOk);
  EXPECT_EQ(link().CeRapiUninit(), qel::kSOk);
  ASSERT_EQ(link().CeRapiInitEx(event), qel::kSOk);
  link_.reset();  // RAPI.dll unloaded with the start still pending
  Sleep(400);     // past the delay: nothing of the unloaded library may run
  link_.emplace();
  Connect();
}

TEST_F(EmulatorTest, EachConnectionRereadsTheSettingsAndRestartsTheCounters) {
  SetVariable(L"QEL_EMU_FAIL", L"CeCreateDirectory:1,CeCreateDirectory:3");
  for (int connection = 0; connection < 2; ++connection) {
    Connect();
    EXPECT_FALSE(link().CeCreateDirectory(u"\\a"));
    EXPECT_TRUE(link().CeCreateDirectory(u"\\a"));
    EXPECT_FALSE(link().CeCreateDirectory(u"\\b"));
    EXPECT_TRUE(link().CeCreateDirectory(u"\\b"));
    link().CeRapiUninit();
    fs::remove(root_ / "a");
    fs::remove(root_ / "b");
  }
  SetEnvironmentVariableW(L"QEL_EMU_FAIL", nullptr);
  Connect();
  EXPECT_TRUE(link().CeCreateDirectory(u"\\a"));
}

// --- Folders and look-ups -----------------------------------------------------------

TEST_F(EmulatorTest, FindFirstFileDescribesTheNamedEntry) {
  MakeFile(root_ / "Upd" / "Old.qel", "12345");
  Connect();
  DeviceFindData data;
  ASSERT_TRUE(Found(u"\\", data));
  EXPECT_NE(data.attributes & qel::kFileAttributeDirectory, 0u);

  ASSERT_TRUE(Found(u"\\upd\\OLD.QEL", data));  // any letter case
  EXPECT_EQ(data.attributes & qel::kFileAttributeDirectory, 0u);
  EXPECT_EQ(data.size, 5u);
  EXPECT_EQ(std::u16string(data.name), u"Old.qel");

  ASSERT_TRUE(Found(u"\\UPD\\", data));  // a trailing backslash names the folder too
  EXPECT_NE(data.attributes & qel::kFileAttributeDirectory, 0u);
  EXPECT_EQ(std::u16string(data.name), u"Upd");

  EXPECT_EQ(link().CeFindFirstFile(u"\\upd\\missing", data), kInvalidHandle);
  EXPECT_EQ(link().CeFindFirstFile(u"\\nofolder\\missing", data), kInvalidHandle);
  EXPECT_FALSE(link().CeFindClose(kInvalidHandle));
}

TEST_F(EmulatorTest, CreateDirectoryNeedsTheParentAndANewName) {
  MakeFile(root_ / "file", "");
  Connect();
  EXPECT_FALSE(link().CeCreateDirectory(u"\\a\\b"));  // parent missing
  EXPECT_TRUE(link().CeCreateDirectory(u"\\a"));
  EXPECT_FALSE(link().CeCreateDirectory(u"\\A"));     // exists, in any letter case
  EXPECT_FALSE(link().CeCreateDirectory(u"\\file"));  // a file has the name
  EXPECT_FALSE(link().CeCreateDirectory(u"\\"));
  EXPECT_TRUE(link().CeCreateDirectory(u"\\A\\b"));
  EXPECT_TRUE(fs::is_directory(root_ / "a" / "b"));
}

TEST_F(EmulatorTest, PathsThatLeaveTheDeviceFolderAreRefused) {
  MakeFile(base_ / "outside.txt", "host");
  MakeFile(root_ / "Windows" / "prog.exe", "");
  Connect();
  DeviceFindData data;
  EXPECT_EQ(link().CeFindFirstFile(u"\\..\\outside.txt", data), kInvalidHandle);
  EXPECT_FALSE(link().CeCreateDirectory(u"\\..\\made"));
  EXPECT_EQ(CreateHidden(u"\\Windows\\..\\..\\made.txt"), kInvalidHandle);
  EXPECT_FALSE(link().CeDeleteFile(u"..\\outside.txt"));
  EXPECT_FALSE(link().CeCreateProcess(u"\\Windows\\..\\Windows\\prog.exe", u""));
  EXPECT_FALSE(fs::exists(base_ / "made"));
  EXPECT_FALSE(fs::exists(base_ / "made.txt"));
  EXPECT_TRUE(fs::exists(base_ / "outside.txt"));
  // Dots inside a name are no way out.
  EXPECT_TRUE(link().CeCreateDirectory(u"\\a..b"));
  EXPECT_TRUE(fs::is_directory(root_ / "a..b"));
}

// --- Files ------------------------------------------------------------------------------

TEST_F(EmulatorTest, CreatedFileIsWrittenAndKeepsItsHiddenAttribute) {
  fs::create_directories(root_ / "upd");
  Connect();
  const Handle file = CreateHidden(u"\\upd\\new.qel");
  ASSERT_NE(file, kInvalidHandle);
  std::uint32_t written = 99;
  EXPECT_TRUE(Write(file, "abc", &written));
  EXPECT_EQ(written, 3u);
  EXPECT_TRUE(Write(file, "", &written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(link().CeCloseHandle(file));
  EXPECT_FALSE(link().CeCloseHandle(file));  // closed already
  EXPECT_FALSE(Write(file, "x"));
  EXPECT_EQ(Content(root_ / "upd" / "new.qel"), "abc");
  EXPECT_NE(Attributes(root_ / "upd" / "new.qel") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(CreateHidden(u"\\missing\\new.qel"), kInvalidHandle);
}

TEST_F(EmulatorTest, CreateAlwaysReplacesAnExistingFileInAnyLetterCase) {
  MakeFile(root_ / "Upd" / "A.QEL", "the old and longer content");
  SetFileAttributesW((root_ / "Upd" / "A.QEL").c_str(), FILE_ATTRIBUTE_HIDDEN);
  Connect();
  const Handle file = CreateHidden(u"\\upd\\a.qel");
  ASSERT_NE(file, kInvalidHandle);
  EXPECT_TRUE(Write(file, "new"));
  EXPECT_TRUE(link().CeCloseHandle(file));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "Upd"), fs::directory_iterator()), 1);
  EXPECT_EQ(Content(root_ / "Upd" / "A.QEL"), "new");
  EXPECT_NE(Attributes(root_ / "Upd" / "A.QEL") & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST_F(EmulatorTest, DeleteFileRemovesTheFile) {
  MakeFile(root_ / "gone.qel", "x");
  Connect();
  EXPECT_TRUE(link().CeDeleteFile(u"\\GONE.qel"));
  EXPECT_FALSE(fs::exists(root_ / "gone.qel"));
  EXPECT_FALSE(link().CeDeleteFile(u"\\gone.qel"));
}

// --- Programs ------------------------------------------------------------------------------

TEST_F(EmulatorTest, CreateProcessNeedsTheProgramOnTheDeviceAndStartsNothing) {
  MakeFile(root_ / "Windows" / "prog.exe", "");
  MakeFile(root_ / "Apps" / "tool.exe", "");
  Connect();
  EXPECT_TRUE(link().CeCreateProcess(u"prog.exe", u"-u \\upd\\a.qel"));  // looked up in \Windows
  EXPECT_TRUE(link().CeCreateProcess(u"\\apps\\TOOL.EXE", u""));
  EXPECT_FALSE(link().CeCreateProcess(u"tool.exe", u""));       // not in \Windows
  EXPECT_FALSE(link().CeCreateProcess(u"\\Apps\\other.exe", u""));
  EXPECT_FALSE(link().CeCreateProcess(u"\\Windows", u""));      // a folder
  const auto started = Journal().Started();
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0], std::make_pair(std::string("prog.exe"), std::string("-u \\upd\\a.qel")));
  EXPECT_EQ(started[1], std::make_pair(std::string("\\apps\\TOOL.EXE"), std::string()));
}

// --- Faults -------------------------------------------------------------------------------------

TEST_F(EmulatorTest, WriteFaultsHitTheNthWrite) {
  SetVariable(L"QEL_EMU_FAIL_WRITE", L"2");
  SetVariable(L"QEL_EMU_SHORT_WRITE", L"3");
  Connect();
  const Handle file = CreateHidden(u"\\w.qel");
  std::uint32_t written = 99;
  EXPECT_TRUE(Write(file, "one", &written));
  EXPECT_FALSE(Write(file, "two", &written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(Write(file, "three", &written));
  EXPECT_EQ(written, 4u);
  EXPECT_TRUE(Write(file, "four", &written));
  EXPECT_EQ(written, 4u);
  link().CeCloseHandle(file);
  EXPECT_EQ(Content(root_ / "w.qel"), "onethrefour");
}

TEST_F(EmulatorTest, FailMkdirAndFailProcessHitTheirCalls) {
  MakeFile(root_ / "Windows" / "prog.exe", "");
  SetVariable(L"QEL_EMU_FAIL_MKDIR", L"\\Upd\\Sub");
  SetVariable(L"QEL_EMU_FAIL_PROCESS", L"1");
  Connect();
  EXPECT_TRUE(link().CeCreateDirectory(u"\\upd"));
  EXPECT_FALSE(link().CeCreateDirectory(u"\\upd\\sub\\"));  // the same folder
  EXPECT_FALSE(fs::exists(root_ / "upd" / "sub"));
  EXPECT_TRUE(link().CeCreateDirectory(u"\\upd\\other"));
  EXPECT_FALSE(link().CeCreateProcess(u"prog.exe", u""));
}

TEST_F(EmulatorTest, FailMakesTheNthCallOfEachOperationFailAndDoNothing) {
  MakeFile(root_ / "Windows" / "prog.exe", "");
  SetVariable(L"QEL_EMU_FAIL",
              L"CeFindFirstFile:2,CeFindClose:2,CeCreateDirectory:2,CeCreateFile:2,"
              L"CeWriteFile:2,CeCloseHandle:2,CeDeleteFile:2,CeCreateProcess:2");
  Connect();
  // Every operation: the first call works, the second fails, the third works.
  DeviceFindData data;
  const Handle search1 = link().CeFindFirstFile(u"\\", data);
  EXPECT_NE(search1, kInvalidHandle);
  EXPECT_EQ(link().CeFindFirstFile(u"\\", data), kInvalidHandle);
  const Handle search3 = link().CeFindFirstFile(u"\\", data);
  EXPECT_NE(search3, kInvalidHandle);
  EXPECT_TRUE(link().CeFindClose(search1));
  EXPECT_FALSE(link().CeFindClose(search3));
  EXPECT_TRUE(link().CeFindClose(search3));  // still open

  EXPECT_TRUE(link().CeCreateDirectory(u"\\d1"));
  EXPECT_FALSE(link().CeCreateDirectory(u"\\d2"));
  EXPECT_TRUE(link().CeCreateDirectory(u"\\d3"));
  EXPECT_FALSE(fs::exists(root_ / "d2"));

  const Handle file1 = CreateHidden(u"\\f1");
  EXPECT_NE(file1, kInvalidHandle);
  EXPECT_EQ(CreateHidden(u"\\f2"), kInvalidHandle);
  const Handle file3 = CreateHidden(u"\\f3");
  EXPECT_NE(file3, kInvalidHandle);
  EXPECT_FALSE(fs::exists(root_ / "f2"));

  EXPECT_TRUE(Write(file1, "a"));
  EXPECT_FALSE(Write(file1, "b"));
  EXPECT_TRUE(Write(file1, "c"));

  EXPECT_TRUE(link().CeCloseHandle(file1));
  EXPECT_FALSE(link().CeCloseHandle(file3));
  EXPECT_TRUE(Write(file3, "x"));  // still open
  EXPECT_TRUE(link().CeCloseHandle(file3));
  EXPECT_EQ(Content(root_ / "f1"), "ac");

  EXPECT_TRUE(link().CeDeleteFile(u"\\f1"));
  EXPECT_FALSE(link().CeDeleteFile(u"\\f3"));
  EXPECT_TRUE(fs::exists(root_ / "f3"));
  EXPECT_TRUE(link().CeDeleteFile(u"\\f3"));

  EXPECT_TRUE(link().CeCreateProcess(u"prog.exe", u""));
  EXPECT_FALSE(link().CeCreateProcess(u"prog.exe", u""));
  EXPECT_TRUE(link().CeCreateProcess(u"prog.exe", u""));
}

// --- Journal ---------------------------------------------------------------------------------------

TEST_F(EmulatorTest, JournalRecordsEveryCallWithItsArgumentsAndResult) {
  Connect();
  DeviceFindData data;
  const Handle search = link().CeFindFirstFile(u"\\", data);
  link().CeFindClose(search);
  link().CeCreateDirectory(u"\\データ");
  const Handle file = CreateHidden(u"\\データ\\a.qel");
  Write(file, "hello");
  link().CeCloseHandle(file);
  link().CeCreateProcess(u"\\データ\\a.qel", u"-u \\データ\\a.qel");
  link().CeDeleteFile(u"\\データ\\a.qel");
  link().CeFindFirstFile(u"\\missing", data);
  link().CeRapiUninit();

  const std::string expected =
      Line({"CeRapiInitEx", std::to_string(sizeof(RAPIINIT)), "=", "0x00000000"}) +
      Line({"CeFindFirstFile", "\\", "=", Hex(search)}) +
      Line({"CeFindClose", Hex(search), "=", "1"}) +
      Line({"CeCreateDirectory", "\\データ", "=", "1"}) +
      Line({"CeCreateFile", "\\データ\\a.qel", "1073741824", "0", "2", "2", "=", Hex(file)}) +
      Line({"CeWriteFile", Hex(file), "5", "5", "=", "1"}) +
      Line({"CeCloseHandle", Hex(file), "=", "1"}) +
      Line({"CeCreateProcess", "\\データ\\a.qel", "-u \\データ\\a.qel", "=", "1"}) +
      Line({"CeDeleteFile", "\\データ\\a.qel", "=", "1"}) +
      Line({"CeFindFirstFile", "\\missing", "=", Hex(kInvalidHandle)}) +
      Line({"CeRapiUninit", "=", "0x00000000"});
  EXPECT_EQ(Content(journal_), expected);

  const EmulatorJournal journal = Journal();
  EXPECT_EQ(journal.ConnectionsBegun(), 1u);
  EXPECT_EQ(journal.ConnectionsEnded(), 1u);
  EXPECT_EQ(journal.Paths("CeCreateDirectory"), std::vector<std::string>{"\\データ"});
  EXPECT_EQ(journal.Paths("CeCreateFile"), std::vector<std::string>{"\\データ\\a.qel"});
  EXPECT_EQ(journal.Paths("CeDeleteFile"), std::vector<std::string>{"\\データ\\a.qel"});
  EXPECT_EQ(journal.BytesWritten("\\データ\\a.qel"), 5u);
  EXPECT_TRUE(journal.AllHandlesClosed());
}

TEST_F(EmulatorTest, JournalReaderSeesFailuresAndHandlesLeftOpen) {
  SetVariable(L"QEL_EMU_CONNECT", L"refuse");
  qel::Handle event = 0;
  link().CeRapiInitEx(event);
  SetEnvironmentVariableW(L"QEL_EMU_CONNECT", nullptr);
  SetVariable(L"QEL_EMU_SHORT_WRITE", L"1");
  Connect();
  link().CeCreateDirectory(u"\\missing\\sub");
  const Handle file = CreateHidden(u"\\open.qel");
  Write(file, "abcd");
  const EmulatorJournal journal = Journal();
  EXPECT_EQ(journal.Count("CeRapiInitEx"), 2u);
  EXPECT_EQ(journal.ConnectionsBegun(), 1u);
  EXPECT_EQ(journal.ConnectionsEnded(), 0u);
  EXPECT_TRUE(journal.Paths("CeCreateDirectory").empty());
  EXPECT_EQ(journal.BytesWritten("\\open.qel"), 3u);
  EXPECT_FALSE(journal.AllHandlesClosed());
}

TEST_F(EmulatorTest, NoJournalWithoutItsVariable) {
  SetEnvironmentVariableW(L"QEL_EMU_JOURNAL", nullptr);
  Connect();
  EXPECT_TRUE(link().CeCreateDirectory(u"\\a"));
  link().CeRapiUninit();
  EXPECT_FALSE(fs::exists(journal_));
}

// --- Binding ------------------------------------------------------------------------------------------

// Runs a copy of binding_probe and returns its exit code.
DWORD RunProbe(const fs::path& program, const fs::path& currentFolder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring commandLine = L"\"" + program.wstring() + L"\"";
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      currentFolder.c_str(), &startup, &process)) {
    ADD_FAILURE() << "cannot start " << program.string();
    return ~DWORD{0};
  }
  const OwnedHandle processHandle(process.hProcess, &CloseHandle);
  const OwnedHandle threadHandle(process.hThread, &CloseHandle);
  DWORD code = ~DWORD{0};
  if (WaitForSingleObject(process.hProcess, 5 * 60 * 1000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  return code;
}

TEST_F(EmulatorTest, BindingTakesRapiDllOnlyFromTheProgramFolderAndWhole) {
  const fs::path bin = ProgramFolder();
  const fs::path folder = base_ / "probe";
  const fs::path probe = folder / "binding_probe.exe";
  fs::create_directories(folder);
  fs::copy_file(bin / "binding_probe.exe", probe);

  // Only the current folder holds RAPI.dll: never searched, a refused start.
  EXPECT_EQ(RunProbe(probe, bin), 1u);
  // Beside the program, a RAPI.dll that lacks one name: refused, nothing called.
  fs::copy_file(bin / "rapi_without_process" / "RAPI.dll", folder / "RAPI.dll");
  EXPECT_EQ(RunProbe(probe, bin), 1u);
  EXPECT_TRUE(Journal().records().empty());
  // The whole RAPI.dll beside it: connected.
  fs::copy_file(bin / "RAPI.dll", folder / "RAPI.dll", fs::copy_options::overwrite_existing);
  EXPECT_EQ(RunProbe(probe, bin), 0u);
  EXPECT_EQ(Journal().ConnectionsBegun(), 1u);
}

}  // namespace
