#include "device/transfer.h"

#include "device_stage_test.h"

namespace qel {
namespace {

constexpr char16_t kHostPath[] = u"C:\\SRC\\up.qel";
constexpr char16_t kDevicePath[] = u"\\Temp\\up.qel";
constexpr std::size_t kChunk = kTransferChunkBytes;

const std::string kStart = "<========== QelTransUpdateFile START ==========>";
const std::string kEnd = "<========== QelTransUpdateFile END ==========>";

// Every byte value, in a pattern that does not repeat at chunk boundaries.
std::string Bytes(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class TransferTest : public DeviceStageTest {
 protected:
  void SetUp() override {
    DeviceStageTest::SetUp();
    device.AddFolder(u"\\Temp");
  }

  int Transfer() { return QelTransUpdateFile(host, device, kHostPath, kDevicePath); }

  // The journal entries after the log line with this text.
  std::vector<std::string> EntriesAfter(std::string_view text) const {
    const long at = LogIndex(text);
    if (at < 0) return {};
    return {journal.entries().begin() + at + 1, journal.entries().end()};
  }

  std::string EndEntry() const { return "AppendToFile " + std::string(kStamp) + kEnd; }
};

TEST_F(TransferTest, CopiesEverySizeChunkByChunkToAHiddenFile) {
  struct Case {
    std::size_t size;
    std::vector<std::string> writes;
  };
  const Case cases[] = {
      {0, {}},
      {1, {"CeWriteFile 1"}},
      {kChunk, {"CeWriteFile 16384"}},
      {kChunk + 1, {"CeWriteFile 16384", "CeWriteFile 1"}},
      {3 * kChunk + 5, {"CeWriteFile 16384", "CeWriteFile 16384", "CeWriteFile 16384", "CeWriteFile 5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    journal.Clear();
    host.AddFile(u"C:\\WORK\\qelmoset.log");
    host.AddFile(kHostPath, Bytes(c.size));

    EXPECT_EQ(Transfer(), 0);

    const fakes::DeviceFile* copy = device.File(kDevicePath);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->content == Bytes(c.size)) << "the copy holds the host file's bytes";
    EXPECT_EQ(copy->attributes, kFileAttributeHidden);
    EXPECT_EQ(journal.Matching("CeWriteFile"), c.writes);
    // Every read asks for a whole chunk; the last one returns no byte.
    EXPECT_EQ(journal.Matching("ReadFile"), std::vector<std::string>(c.writes.size() + 1, "ReadFile 16384"));
    const auto& entries = journal.entries();
    EXPECT_EQ(std::vector<std::string>(entries.end() - 3, entries.end()),
              (std::vector<std::string>{"CeCloseHandle", "CloseHandle", EndEntry()}));
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{kStart, kEnd}));
    EXPECT_EQ(host.openHandles(), 0);
    EXPECT_EQ(device.openHandles(), 0);
  }
}

TEST_F(TransferTest, OpensTheHostFileUnsharedAndReplacesAnExistingDeviceFile) {
  host.AddFile(kHostPath, "new");
  device.AddFile(kDevicePath, "an older and longer copy", 0x20);

  EXPECT_EQ(Transfer(), 0);

  EXPECT_EQ(journal.Matching("CreateFileW"),
            (std::vector<std::string>{"CreateFileW C:\\SRC\\up.qel access=2147483648 share=0 creation=3"}));
  EXPECT_EQ(journal.Matching("CeCreateFile"),
            (std::vector<std::string>{
                "CeCreateFile \\Temp\\up.qel access=1073741824 share=0 creation=2 attributes=2"}));
  EXPECT_EQ(device.File(kDevicePath)->content, "new");
  EXPECT_EQ(device.File(kDevicePath)->attributes, kFileAttributeHidden);
  EXPECT_EQ(host.Content(kHostPath), "new");
}

TEST_F(TransferTest, ALockedHostFileTouchesNothingOnTheDevice) {
  host.AddFile(kHostPath, "locked");
  host.locked = {kHostPath};
  device.AddFile(kDevicePath, "older copy", 0x20);

  EXPECT_EQ(Transfer(), 1);

  EXPECT_EQ(LogTexts(), (std::vector<std::string>{kStart, "CreateFile ERROR (C:\\SRC\\up.qel)", kEnd}));
  EXPECT_EQ(journal.Count("Ce"), 0u);
  EXPECT_EQ(device.File(kDevicePath)->content, "older copy");
  EXPECT_EQ(host.openHandles(), 0);
}

TEST_F(TransferTest, ADeviceFileThatCannotBeCreatedClosesTheHostFileAndDeletesNothing) {
  host.AddFile(kHostPath, Bytes(10));
  device.failAt = {{"CeCreateFile", 1}};

  EXPECT_EQ(Transfer(), 1);

  EXPECT_EQ(LogTexts(), (std::vector<std::string>{kStart, "CeCreateFile ERROR (\\Temp\\up.qel)", kEnd}));
  EXPECT_EQ(journal.Count("ReadFile"), 0u);
  EXPECT_EQ(journal.Count("CeDeleteFile"), 0u);
  EXPECT_LT(journal.IndexOf("CloseHandle"), LogIndex("CeCreateFile ERROR"))
      << "closed before the failure is logged";
  EXPECT_EQ(host.openHandles(), 0);
}

using Host = fakes::FakeHostPlatform;
using Device = RefusingDeviceLink;

struct CopyFailure {
  const char* outcome;  // the test's name
  void (*setUp)(Host&, Device&);
  const char* line;
  std::size_t reads;
  std::size_t writes;
};
void PrintTo(const CopyFailure& c, std::ostream* out) { *out << c.outcome; }

class TransferCopyFailure : public TransferTest, public ::testing::WithParamInterface<CopyFailure> {};

// Five chunks on the host; the copy fails part of the way through.
TEST_P(TransferCopyFailure, ClosesBothFilesThenDeletesThePartialCopy) {
  const CopyFailure& c = GetParam();
  host.AddFile(kHostPath, Bytes(4 * kChunk + 100));
  c.setUp(host, device);

  EXPECT_EQ(Transfer(), 1);

  EXPECT_EQ(LogTexts(), (std::vector<std::string>{kStart, c.line, kEnd}));
  EXPECT_EQ(journal.Count("ReadFile"), c.reads) << "nothing is read after the failure";
  EXPECT_EQ(journal.Count("CeWriteFile"), c.writes);
  EXPECT_EQ(EntriesAfter(c.line), (std::vector<std::string>{"CeCloseHandle", "CloseHandle",
                                                            "CeDeleteFile \\Temp\\up.qel", EndEntry()}));
  EXPECT_EQ(device.File(kDevicePath), nullptr) << "no partial copy is left";
  EXPECT_EQ(host.openHandles(), 0);
  EXPECT_EQ(device.openHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TransferCopyFailure,
    ::testing::Values(
        CopyFailure{"ReadFailsAtOnce", [](Host& h, Device&) { h.failReadAt = 1; }, "ReadFile ERROR", 1, 0},
        CopyFailure{"ReadFailsAtChunk3", [](Host& h, Device&) { h.failReadAt = 3; }, "ReadFile ERROR", 3, 2},
        CopyFailure{"WriteFailsAtChunk3", [](Host&, Device& d) { d.failAt = {{"CeWriteFile", 3}}; },
                    "CeWriteFile ERROR", 3, 3},
        CopyFailure{"ShortWriteAtChunk3", [](Host&, Device& d) { d.shortWriteAt = 3; },
                    "CeWriteFile SIZE ERROR", 3, 3},
        CopyFailure{"ShortWriteOfTheLastChunk", [](Host&, Device& d) { d.shortWriteAt = 5; },
                    "CeWriteFile SIZE ERROR", 5, 5}),
    [](const auto& test) { return std::string(test.param.outcome); });

TEST_F(TransferTest, AFailedDeletionLeavesTheResultAndTheLogAsTheyAre) {
  host.AddFile(kHostPath, Bytes(kChunk));
  device.failAt = {{"CeWriteFile", 1}, {"CeDeleteFile", 1}};

  EXPECT_EQ(Transfer(), 1);

  EXPECT_EQ(LogTexts(), (std::vector<std::string>{kStart, "CeWriteFile ERROR", kEnd}));
  EXPECT_EQ(journal.Count("CeDeleteFile"), 1u);
  EXPECT_EQ(device.openHandles(), 0);
}

}  // namespace
}  // namespace qel
