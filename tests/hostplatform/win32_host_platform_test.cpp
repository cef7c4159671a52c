// Conformance of the Win32 host boundary. Each test states one behaviour of
// the platform that an update run relies on and checks it against the real
// system through Win32HostPlatform. Files live in a fresh folder per test.
#include "hostplatform/win32_host_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "support/win32_handle.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "common/wide_text.h"

namespace qel {
namespace {

namespace fs = std::filesystem;

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::u16string U16(std::wstring_view text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

using qel::testing::Win32Handle;

// Another program's hold on a file: open for reading and writing, no sharing.
Win32Handle HoldUnshared(const std::u16string& path) {
  return Win32Handle(::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::u16string FolderOf(const std::u16string& path) {
  return path.substr(0, path.rfind(u'\\') + 1);
}

std::u16string OwnProgramPath() {
  wchar_t path[1024] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  return U16({path, length});
}

class Win32HostPlatformTest : public ::testing::Test {
 protected:
  Win32HostPlatformTest()
      : folder_(fs::temp_directory_path() /
                ("qel_host_" + std::to_string(::GetCurrentProcessId()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  ~Win32HostPlatformTest() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::u16string Path(std::u16string_view name) const {
    return U16(folder_.wstring()) + u"\\" + std::u16string(name);
  }
  void Write(std::u16string_view name, std::string_view bytes) const {
    std::ofstream(fs::path(Path(name)), std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string Read(std::u16string_view name) const {
    std::ifstream in(fs::path(Path(name)), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void MakeFolder(std::u16string_view name) const { fs::create_directory(fs::path(Path(name))); }

  Win32HostPlatform host_;
  fs::path folder_;
};

// --- module path ---------------------------------------------------------------

TEST_F(Win32HostPlatformTest, ModulePathIsTheProgramsOwnPathAndNeedsRoomForItsTerminator) {
  const std::u16string expected = OwnProgramPath();
  std::vector<char16_t> buffer(expected.size() + 1, u'x');

  EXPECT_EQ(host_.GetModuleFileNameW(buffer.data(), buffer.size()), expected.size());
  EXPECT_EQ(std::u16string(buffer.data()), expected);

  std::fill(buffer.begin(), buffer.end(), u'x');
  EXPECT_EQ(host_.GetModuleFileNameW(buffer.data(), expected.size()), 0u);
  EXPECT_EQ(buffer[0], u'\0');
  EXPECT_EQ(buffer[expected.size()], u'x');  // nothing written past the capacity
}

// The library's path is found from inside the library, whatever its file is
// called; while it is loaded, its file cannot be deleted (error 5).
TEST_F(Win32HostPlatformTest, ModulePathInsideALibraryNamesTheLibraryFileUnderAnyName) {
  const std::u16string copy = Path(u"renamed probe.dll");
  ASSERT_TRUE(
      ::CopyFileW(W(FolderOf(OwnProgramPath()) + u"qel_module_path_probe.dll"), W(copy), TRUE));
  const HMODULE library = ::LoadLibraryW(W(copy));
  ASSERT_NE(library, nullptr);
  using Probe = std::size_t (*)(char16_t*, std::size_t);
  const auto probe = reinterpret_cast<Probe>(
      reinterpret_cast<void (*)()>(::GetProcAddress(library, "ProbeModuleFileName")));
  ASSERT_NE(probe, nullptr);

  char16_t buffer[kMaxPath] = {};
  EXPECT_EQ(probe(buffer, kMaxPath), copy.size());
  EXPECT_EQ(std::u16string(buffer), copy);

  EXPECT_FALSE(host_.DeleteFileW(copy.c_str()));
  EXPECT_EQ(host_.GetLastError(), kErrorAccessDenied);
  ::FreeLibrary(library);
  EXPECT_TRUE(host_.DeleteFileW(copy.c_str()));
}

// --- local time ------------------------------------------------------------------

bool SameTime(const LocalTime& time, const SYSTEMTIME& expected) {
  return time.year == expected.wYear && time.month == expected.wMonth &&
         time.day == expected.wDay && time.hour == expected.wHour &&
         time.minute == expected.wMinute && time.second == expected.wSecond;
}

TEST_F(Win32HostPlatformTest, LocalTimeGivesTheFieldsOfTheLocalClock) {
  SYSTEMTIME before{}, after{};
  ::GetLocalTime(&before);
  const LocalTime now = host_.GetLocalTime();
  ::GetLocalTime(&after);
  EXPECT_TRUE(SameTime(now, before) || SameTime(now, after));
}

// --- directory listing --------------------------------------------------------

struct Listed {
  std::u16string name;
  bool folder;
  bool operator<(const Listed& other) const { return name < other.name; }
  bool operator==(const Listed& other) const = default;
};

void PrintTo(const Listed& entry, std::ostream* out) {
  *out << ToUtf8(entry.name) << (entry.folder ? " (folder)" : "");
}

TEST_F(Win32HostPlatformTest, ListingGivesEveryMatchRegardlessOfCaseThenEndsWithError18) {
  Write(u"a.qel", "1");
  Write(u"B.QEL", "2");
  Write(u"notes.txt", "3");
  MakeFolder(u"sub.qel");

  HostFindData data;
  const Handle search = host_.FindFirstFileW(Path(u"*.qel").c_str(), data);
  ASSERT_NE(search, kInvalidHandle);
  std::set<Listed> listed;
  do {
    listed.insert({data.name, (data.attributes & kFileAttributeDirectory) != 0});
  } while (host_.FindNextFileW(search, data));
  EXPECT_EQ(host_.GetLastError(), kErrorNoMoreFiles);
  EXPECT_TRUE(host_.FindClose(search));

  EXPECT_EQ(listed, (std::set<Listed>{{u"B.QEL", false}, {u"a.qel", false}, {u"sub.qel", true}}));
}

// The clean-up lists "*.*" and deletes files while that listing is open: the
// listing still gives every entry once, . and .. among them.
TEST_F(Win32HostPlatformTest, ListingOfAllGivesEveryEntryOnceWhileItsFilesAreDeleted) {
  for (const auto* name : {u"qelmoset.ini", u"README", u"a.log", u"b.bin", u"c.qel"})
    Write(name, "x");
  MakeFolder(u"old");
  Write(u"old\\kept.txt", "x");

  HostFindData data;
  const Handle search = host_.FindFirstFileW(Path(u"*.*").c_str(), data);
  ASSERT_NE(search, kInvalidHandle);
  std::multiset<Listed> listed;
  do {
    const bool folder = (data.attributes & kFileAttributeDirectory) != 0;
    listed.insert({data.name, folder});
    if (!folder) {
      EXPECT_TRUE(host_.DeleteFileW(Path(data.name).c_str())) << ToUtf8(data.name);
    }
  } while (host_.FindNextFileW(search, data));
  host_.FindClose(search);

  EXPECT_EQ(listed, (std::multiset<Listed>{{u".", true},
                                           {u"..", true},
                                           {u"README", false},
                                           {u"a.log", false},
                                           {u"b.bin", false},
                                           {u"c.qel", false},
                                           {u"old", true},
                                           {u"qelmoset.ini", false}}));
  EXPECT_EQ(Read(u"old\\kept.txt"), "x");
}

TEST_F(Win32HostPlatformTest, ListingThatCannotStartTellsWhy) {
  MakeFolder(u"empty");
  struct Case {
    const char16_t* pattern;
    std::uint32_t error;
  };
  for (const Case& c :
       {Case{u"missing\\*.qel", kErrorPathNotFound}, Case{u"empty\\*.qel", kErrorFileNotFound}}) {
    HostFindData data;
    EXPECT_EQ(host_.FindFirstFileW(Path(c.pattern).c_str(), data), kInvalidHandle)
        << ToUtf8(c.pattern);
    EXPECT_EQ(host_.GetLastError(), c.error) << ToUtf8(c.pattern);
  }
}

// --- deleting, opening and reading files -------------------------------------------

TEST_F(Win32HostPlatformTest, DeleteRemovesAFileAndIsRefusedForOneHeldOpenOrMissing) {
  Write(u"free.ini", "x");
  Write(u"held.ini", "x");
  const Win32Handle hold = HoldUnshared(Path(u"held.ini"));
  ASSERT_TRUE(hold.valid());

  EXPECT_TRUE(host_.DeleteFileW(Path(u"free.ini").c_str()));
  EXPECT_FALSE(fs::exists(fs::path(Path(u"free.ini"))));
  EXPECT_FALSE(host_.DeleteFileW(Path(u"held.ini").c_str()));
  EXPECT_TRUE(fs::exists(fs::path(Path(u"held.ini"))));
  EXPECT_FALSE(host_.DeleteFileW(Path(u"missing.ini").c_str()));
}

TEST_F(Win32HostPlatformTest, OpenForReadingWithoutSharingExcludesOtherOpeners) {
  Write(u"update.qel", "x");
  const std::u16string path = Path(u"update.qel");
  {
    const Win32Handle other = HoldUnshared(path);
    ASSERT_TRUE(other.valid());
    EXPECT_EQ(host_.CreateFileW(path.c_str(), kGenericRead, 0, kOpenExisting), kInvalidHandle);
    EXPECT_EQ(host_.GetLastError(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  }
  const Handle file = host_.CreateFileW(path.c_str(), kGenericRead, 0, kOpenExisting);
  ASSERT_NE(file, kInvalidHandle);
  const Win32Handle reader(::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(reader.valid());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(host_.CloseHandle(file));

  EXPECT_EQ(host_.CreateFileW(Path(u"missing.qel").c_str(), kGenericRead, 0, kOpenExisting),
            kInvalidHandle);
}

TEST_F(Win32HostPlatformTest, ReadGivesFullChunksThenTheRestThenCountZeroAtTheEnd) {
  std::string content(20000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  Write(u"update.qel", content);
  const Handle file =
      host_.CreateFileW(Path(u"update.qel").c_str(), kGenericRead, 0, kOpenExisting);
  ASSERT_NE(file, kInvalidHandle);

  std::vector<char> chunk(16384);
  std::string read;
  std::vector<std::uint32_t> counts;
  for (int i = 0; i < 4; ++i) {
    std::uint32_t count = 99;
    EXPECT_TRUE(host_.ReadFile(file, chunk.data(), 16384, &count));
    counts.push_back(count);
    read.append(chunk.data(), count);
  }
  EXPECT_TRUE(host_.CloseHandle(file));
  EXPECT_EQ(counts, (std::vector<std::uint32_t>{16384, 3616, 0, 0}));
  EXPECT_EQ(read, content);
}

// --- settings reader -------------------------------------------------------------

std::string Utf16LeFile(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

std::u16string Digits(std::size_t length) {
  std::u16string text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char16_t>(u'0' + i % 10);
  return text;
}

class ProfileTest : public Win32HostPlatformTest {
 protected:
  // What the settings step does: a 260-character buffer offered as 259.
  std::pair<std::uint32_t, std::u16string> ReadValue(const char16_t* section, const char16_t* key,
                                                     const std::u16string& path) {
    char16_t buffer[kMaxPath];
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    const std::uint32_t count =
        host_.GetPrivateProfileStringW(section, key, buffer, 259, path.c_str());
    EXPECT_EQ(buffer[259], u'x') << "written past the size";
    EXPECT_EQ(buffer[std::min<std::uint32_t>(count, 258)], u'\0')
        << "not terminated after the count";
    return {count, buffer};
  }
};

TEST_F(ProfileTest, ReadsAUtf16FileWithCommentsAndBlanksAroundNamesAndValues) {
  Write(u"qelmoset.ini", Utf16LeFile(u"; update settings\r\n"
                                     u"\r\n"
                                     u"[Path]\r\n"
                                     u"  src =  %temp%\\Upd  \r\n"
                                     u";dest=commented out\r\n"
                                     u"dest=\\Windows\\Upd\r\n"
                                     u"[ RemoteExe ]\r\n"
                                     u"fname=\r\n"
                                     u"option=\"-Auto\"\r\n"
                                     u"title=KX520 ソフトウェア書換\r\n"));
  const std::u16string path = Path(u"qelmoset.ini");
  struct Case {
    const char16_t* section;
    const char16_t* key;
    std::u16string value;
  };
  for (const Case& c : {
           Case{u"Path", u"src", u"%temp%\\Upd"},
           Case{u"PATH", u"SRC", u"%temp%\\Upd"},  // names match regardless of case
           Case{u"Path", u"dest", u"\\Windows\\Upd"},
           Case{u"RemoteExe", u"fname", u""},        // empty value
           Case{u"RemoteExe", u"option", u"-Auto"},  // one pair of quotes taken off
           Case{u"RemoteExe", u"title", u"KX520 ソフトウェア書換"},
           Case{u"RemoteExe", u"src", u""},  // key of another section
           Case{u"Missing", u"src", u""},
       }) {
    const auto [count, value] = ReadValue(c.section, c.key, path);
    EXPECT_EQ(value, c.value) << ToUtf8(c.section) << "/" << ToUtf8(c.key);
    EXPECT_EQ(count, c.value.size()) << ToUtf8(c.section) << "/" << ToUtf8(c.key);
  }
  EXPECT_EQ(ReadValue(u"Path", u"src", Path(u"missing.ini")), std::make_pair(0u, std::u16string()));
}

// Offered 259 characters, the reader gives at most 258 and their count: a
// longer value is cut to 258 characters without any sign.
TEST_F(ProfileTest, ValueLongerThanTheSizeIsCutToSizeMinusOne) {
  Write(u"qelmoset.ini",
        Utf16LeFile(u"[Path]\r\nv257=" + Digits(257) + u"\r\nv258=" + Digits(258) + u"\r\nv259=" +
                    Digits(259) + u"\r\nv300=" + Digits(300) + u"\r\n"));
  const std::u16string path = Path(u"qelmoset.ini");
  for (const auto& [key, length, expected] :
       {std::tuple{u"v257", 257u, 257u}, std::tuple{u"v258", 258u, 258u},
        std::tuple{u"v259", 259u, 258u}, std::tuple{u"v300", 300u, 258u}}) {
    EXPECT_EQ(ReadValue(u"Path", key, path), std::make_pair(expected, Digits(expected)))
        << "value of " << length;
  }
}

// --- environment ---------------------------------------------------------------

class EnvironmentTest : public Win32HostPlatformTest {
 protected:
  ~EnvironmentTest() override {
    ::SetEnvironmentVariableW(L"QEL_HOST_TEST", nullptr);
    ::SetEnvironmentVariableW(L"TEMP", savedTemp_.c_str());
  }
  std::wstring savedTemp_ = _wgetenv(L"TEMP") == nullptr ? L"" : _wgetenv(L"TEMP");
};

TEST_F(EnvironmentTest, ValueSetInTheProcessIsSeenWithItsFullLengthEvenWhenItDoesNotFit) {
  ASSERT_TRUE(::SetEnvironmentVariableW(L"TEMP", L"C:\\Host\\Temp"));
  char16_t buffer[16];

  std::fill(std::begin(buffer), std::end(buffer), u'x');
  EnvironmentValue value = host_.GetEnvironmentVariableW(u"TEMP", buffer, 13);
  EXPECT_TRUE(value.found);
  EXPECT_EQ(value.length, 12u);
  EXPECT_EQ(std::u16string(buffer), u"C:\\Host\\Temp");

  std::fill(std::begin(buffer), std::end(buffer), u'x');
  value = host_.GetEnvironmentVariableW(u"TEMP", buffer, 12);
  EXPECT_TRUE(value.found);
  EXPECT_EQ(value.length, 12u);
  EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](char16_t c) {
    return c == u'x';
  })) << "buffer touched although the value did not fit";
}

TEST_F(EnvironmentTest, MissingVariableIsToldFromAnEmptyOne) {
  char16_t buffer[16] = {u'x'};
  ::SetEnvironmentVariableW(L"QEL_HOST_TEST", nullptr);
  EnvironmentValue value = host_.GetEnvironmentVariableW(u"QEL_HOST_TEST", buffer, 16);
  EXPECT_FALSE(value.found);
  EXPECT_EQ(value.length, 0u);

  ASSERT_TRUE(::SetEnvironmentVariableW(L"QEL_HOST_TEST", L""));
  value = host_.GetEnvironmentVariableW(u"QEL_HOST_TEST", buffer, 16);
  EXPECT_TRUE(value.found);
  EXPECT_EQ(value.length, 0u);
  EXPECT_EQ(buffer[0], u'\0');
}

// --- log appending ---------------------------------------------------------------

TEST_F(Win32HostPlatformTest, AppendCreatesThenAppendsAndFailsWhileTheFileIsHeldUnshared) {
  const std::u16string path = Path(u"qelmoset.log");
  EXPECT_TRUE(host_.AppendToFile(path.c_str(), "one\r\n", 5));
  EXPECT_TRUE(host_.AppendToFile(path.c_str(), "two\r\n", 5));
  EXPECT_EQ(Read(u"qelmoset.log"), "one\r\ntwo\r\n");
  {
    const Win32Handle hold = HoldUnshared(path);
    ASSERT_TRUE(hold.valid());
    EXPECT_FALSE(host_.AppendToFile(path.c_str(), "lost\r\n", 6));
  }
  EXPECT_TRUE(host_.AppendToFile(path.c_str(), "three\r\n", 7));
  EXPECT_EQ(Read(u"qelmoset.log"), "one\r\ntwo\r\nthree\r\n");
}

// --- waiting ---------------------------------------------------------------------

TEST_F(Win32HostPlatformTest, WaitReturnsAtOnceForASignalledEventAnd258WhenTimeRunsOut) {
  const Win32Handle signalled(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  const Win32Handle unsignalled(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(signalled.valid() && unsignalled.valid());
  EXPECT_EQ(host_.WaitForSingleObject(reinterpret_cast<Handle>(signalled.get()), 5000),
            kWaitObject0);
  EXPECT_EQ(host_.WaitForSingleObject(reinterpret_cast<Handle>(unsignalled.get()), 20),
            kWaitTimeout);
}

}  // namespace
}  // namespace qel
