#include "device/directory_assurance.h"

#include "device_stage_test.h"

namespace qel {
namespace {

const std::string kStart = "<========== QelCheckDirectory START ==========>";
const std::string kEnd = "<========== QelCheckDirectory END ==========>";

std::string Line(std::string_view text, std::u16string_view detail) {
  return std::string(text) + " (" + fakes::Narrow(detail) + ")";
}
std::string Dir(std::u16string_view path) { return Line("<=== DIR ===>", path); }
std::string NotFolder(std::u16string_view path) { return Line("FindFirstFile ERROR", path); }
std::string NotCreated(std::u16string_view path) { return Line("CeCreateDirectory ERROR", path); }

constexpr char16_t kA[] = u"\\A";
constexpr char16_t kAB[] = u"\\A\\B";
constexpr char16_t kABC[] = u"\\A\\B\\C";

using CheckDirectoryTest = DeviceStageTest;

struct ParentCase {
  std::u16string path;
  std::u16string parent;  // empty: no descent
};
void PrintTo(const ParentCase& c, std::ostream* out) { *out << fakes::Narrow(c.path); }

class CheckDirectoryParent : public DeviceStageTest, public ::testing::WithParamInterface<ParentCase> {};

// The parent is looked up right after the folder itself could not be
// created; a path without a parent ends its level there.
TEST_P(CheckDirectoryParent, DescendsToThePathBeforeTheLastBackslashButNeverToAnEmptyOne) {
  const ParentCase& c = GetParam();
  device.failAt = {{"CeCreateDirectory", 1}};
  const int result = QelCheckDirectory(host, device, c.path.c_str());

  const auto lookUps = journal.Matching("CeFindFirstFile ");
  if (c.parent.empty()) {
    EXPECT_EQ(result, 1);
    EXPECT_EQ(lookUps.size(), 1u);
    EXPECT_EQ(journal.Count("CeCreateDirectory"), 1u);
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{kStart, Dir(c.path), NotCreated(c.path), kEnd}));
  } else {
    ASSERT_GE(lookUps.size(), 2u);
    EXPECT_EQ(lookUps[1], "CeFindFirstFile " + fakes::Narrow(c.parent));
  }
}

INSTANTIATE_TEST_SUITE_P(Parents, CheckDirectoryParent,
                         ::testing::Values(ParentCase{u"\\a\\b\\c", u"\\a\\b"},
                                           ParentCase{u"\\a\\b\\", u"\\a\\b"},  //
                                           ParentCase{u"a\\b", u"a"},           //
                                           ParentCase{u"\\a", u""},             //
                                           ParentCase{u"a", u""}));

struct OutcomeCase {
  const char* outcome;  // the test's name
  std::u16string path;
  void (*setUp)(RefusingDeviceLink&);
  std::vector<std::string> lines;
  int result;
  std::size_t creations;  // calls of CeCreateDirectory
};
void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.outcome; }

class CheckDirectoryOutcome : public DeviceStageTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(CheckDirectoryOutcome, WritesItsLinesAndGivesItsResult) {
  const OutcomeCase& c = GetParam();
  c.setUp(device);
  EXPECT_EQ(QelCheckDirectory(host, device, c.path.c_str()), c.result);
  EXPECT_EQ(LogTexts(), c.lines);
  EXPECT_EQ(journal.Count("CeCreateDirectory"), c.creations);
  EXPECT_EQ(journal.Count("CeDeleteFile"), 0u) << "nothing on the device is removed";
  EXPECT_EQ(device.openHandles(), 0) << "every search is closed";
  if (c.result == 0) {
    EXPECT_TRUE(device.HasFolder(c.path));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CheckDirectoryOutcome,
    ::testing::Values(
        OutcomeCase{"IsAFolder", kAB, [](RefusingDeviceLink& d) { d.AddFolder(kAB); },
                    {kStart, Dir(kAB), kEnd}, 0, 0},
        OutcomeCase{"IsAFile", kAB, [](RefusingDeviceLink& d) { d.AddFile(kAB); },
                    {kStart, Dir(kAB), NotFolder(kAB), kEnd}, 1, 0},
        OutcomeCase{"CreatedAtOnce", kAB, [](RefusingDeviceLink& d) { d.AddFolder(kA); },
                    {kStart, Dir(kAB), kEnd}, 0, 1},
        OutcomeCase{"ParentIsAFile", kAB, [](RefusingDeviceLink& d) { d.AddFile(kA); },
                    {kStart, Dir(kAB), kStart, Dir(kA), NotFolder(kA), kEnd, NotFolder(kAB), kEnd}, 1, 1},
        OutcomeCase{"SecondCreationFailed", kAB,
                    [](RefusingDeviceLink& d) { d.failAt = {{"CeCreateDirectory", 3}}; },
                    {kStart, Dir(kAB), kStart, Dir(kA), kEnd, NotCreated(kAB), kEnd}, 1, 3},
        OutcomeCase{"CreatedThenNotFound", kAB,
                    [](RefusingDeviceLink& d) { d.failAt = {{"CeFindFirstFile", 3}}; },
                    {kStart, Dir(kAB), kStart, Dir(kA), kEnd, NotCreated(kAB), kEnd}, 1, 3},
        OutcomeCase{"CreatedAfterTheParent", kAB, [](RefusingDeviceLink&) {},
                    {kStart, Dir(kAB), kStart, Dir(kA), kEnd, kEnd}, 0, 3},
        OutcomeCase{"TwoMissingLevelsBelowAFolder", kABC, [](RefusingDeviceLink& d) { d.AddFolder(kA); },
                    {kStart, Dir(kABC), kStart, Dir(kAB), kEnd, kEnd}, 0, 3},
        OutcomeCase{"MiddleLevelCannotBeCreated", kABC,
                    [](RefusingDeviceLink& d) {
                      d.AddFolder(kA);
                      d.refusedFolders = {kAB};
                    },
                    {kStart, Dir(kABC), kStart, Dir(kAB), kStart, Dir(kA), kEnd,  //
                     NotCreated(kAB), kEnd, NotFolder(kABC), kEnd},
                    1, 3},
        OutcomeCase{"TopLevelCannotBeCreated", kABC,
                    [](RefusingDeviceLink& d) { d.refusedFolders = {kA}; },
                    {kStart, Dir(kABC), kStart, Dir(kAB), kStart, Dir(kA), NotCreated(kA), kEnd,  //
                     NotFolder(kAB), kEnd, NotFolder(kABC), kEnd},
                    1, 3}),
    [](const auto& test) { return std::string(test.param.outcome); });

TEST_F(CheckDirectoryTest, DoesNotLookUpTheExistingFolderAboveTheMissingOnes) {
  device.AddFolder(kA);
  ASSERT_EQ(QelCheckDirectory(host, device, kABC), 0);
  EXPECT_EQ(journal.Matching("CeFindFirstFile"),
            (std::vector<std::string>{"CeFindFirstFile \\A\\B\\C", "CeFindFirstFile \\A\\B",
                                      "CeFindFirstFile \\A\\B\\C"}));
}

TEST_F(CheckDirectoryTest, LeavesTheParentsItCreatedWhenALowerLevelFails) {
  device.refusedFolders = {kABC};
  EXPECT_EQ(QelCheckDirectory(host, device, kABC), 1);
  EXPECT_TRUE(device.HasFolder(kAB));
}

// A path of 259 characters has 129 levels, every one of them missing.
TEST_F(CheckDirectoryTest, CreatesEveryLevelOfTheLongestPath) {
  std::u16string path;
  for (int level = 0; level < 129; ++level) path += u"\\a";
  path += u"b";
  ASSERT_EQ(path.size(), kMaxPath - 1);
  EXPECT_EQ(QelCheckDirectory(host, device, path.c_str()), 0);
  EXPECT_TRUE(device.HasFolder(path));
  EXPECT_TRUE(device.HasFolder(u"\\a"));
  EXPECT_EQ(LogTexts().size(), 129u * 3u);
}

// A parent must fit in a path buffer with its terminator; one that does not
// is not descended into, as with an empty parent.
TEST_F(CheckDirectoryTest, DescendsOnlyToAParentThatFitsAPathBuffer) {
  const std::u16string fits = u"\\" + std::u16string(kMaxPath - 2, u'a');
  ASSERT_EQ(fits.size(), kMaxPath - 1);
  EXPECT_EQ(QelCheckDirectory(host, device, (fits + u"\\b").c_str()), 0);
  EXPECT_TRUE(device.HasFolder(fits));

  host.AddFile(u"C:\\WORK\\qelmoset.log");
  journal.Clear();
  const std::u16string path = fits + u"a\\b";
  EXPECT_EQ(QelCheckDirectory(host, device, path.c_str()), 1);
  EXPECT_EQ(journal.Count("CeFindFirstFile"), 1u);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{kStart, Dir(path), NotCreated(path), kEnd}));
}

}  // namespace
}  // namespace qel
