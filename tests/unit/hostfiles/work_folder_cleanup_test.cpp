#include "hostfiles/work_folder_cleanup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "unit/settings/stage_test.h"

namespace qel {
namespace {

class Cleanup : public unit::StageTest {
 protected:
  std::vector<std::string> Logged(const std::vector<std::string>& lines) const {
    std::vector<std::string> all{unit::Start("QelDelete")};
    all.insert(all.end(), lines.begin(), lines.end());
    all.push_back(unit::End("QelDelete"));
    return all;
  }
};

TEST_F(Cleanup, DeletesTheWorkingFilesAndKeepsTheLogs) {
  host.AddFolder(u"C:\\WORK");
  host.AddFile(u"C:\\WORK\\qelmoset.dll");
  host.AddFile(u"C:\\WORK\\qelmoset.ini");
  host.AddFile(u"C:\\WORK\\qelmoset.log");
  host.AddFile(u"C:\\WORK\\OLD.LOG");
  host.refuseDelete = {u"C:\\WORK\\qelmoset.dll"};

  EXPECT_EQ(QelDelete(host), 0);

  EXPECT_EQ(LogTexts(),
            Logged({"Delete Fail (C:\\WORK\\qelmoset.dll)", "Delete Succeed (C:\\WORK\\qelmoset.ini)"}));
  EXPECT_EQ(host.List(u"C:\\WORK"),
            (std::vector<std::u16string>{u"qelmoset.dll", u"qelmoset.log", u"OLD.LOG"}));
  EXPECT_EQ(journal.Matching("FindFirstFileW"), std::vector<std::string>{"FindFirstFileW C:\\WORK\\*.*"});
  EXPECT_EQ(host.openHandles(), 0);
  EXPECT_LT(journal.IndexOf("FindClose"), LoggedAt(unit::End("QelDelete")));
}

TEST_F(Cleanup, KeepsOnlyNamesWhoseLastExtensionIsLogAndLeavesFoldersAlone) {
  host.AddFolder(u"C:\\WORK");
  for (const char16_t* name :
       {u"X.Log", u"X.LOGS", u"X.old.log", u"X.log.old", u".log", u"X.LO", u"README"}) {
    host.AddFile(u"C:\\WORK\\" + std::u16string(name));
  }
  host.AddFolder(u"C:\\WORK\\SUB");
  host.AddFile(u"C:\\WORK\\SUB\\IN.TXT");

  EXPECT_EQ(QelDelete(host), 0);

  EXPECT_EQ(LogTexts(), Logged({"Delete Succeed (C:\\WORK\\X.LOGS)", "Delete Succeed (C:\\WORK\\X.log.old)",
                                "Delete Succeed (C:\\WORK\\X.LO)", "Delete Succeed (C:\\WORK\\README)"}));
  EXPECT_EQ(host.List(u"C:\\WORK"),
            (std::vector<std::u16string>{u"X.Log", u"X.old.log", u".log", u"SUB", u"qelmoset.log"}));
  EXPECT_TRUE(host.Exists(u"C:\\WORK\\SUB\\IN.TXT"));
  EXPECT_EQ(journal.Count("DeleteFileW"), 4u);
}

TEST_F(Cleanup, EndsTheWalkQuietlyWhenTheListingBreaksOff) {
  host.AddFolder(u"C:\\WORK");
  host.AddFile(u"C:\\WORK\\A");
  host.AddFile(u"C:\\WORK\\B");
  host.AddFile(u"C:\\WORK\\C");
  host.failNextFileAt = 4;  // after ., .., A and B

  EXPECT_EQ(QelDelete(host), 0);

  EXPECT_EQ(LogTexts(), Logged({"Delete Succeed (C:\\WORK\\A)", "Delete Succeed (C:\\WORK\\B)"}));
  EXPECT_TRUE(host.Exists(u"C:\\WORK\\C"));
  EXPECT_EQ(host.openHandles(), 0);
}

constexpr char kListingError[] = "FindFirstFile ERROR (C:\\WORK\\*.*)";

struct ListingFailure {
  std::uint32_t reason;
  int code;
  std::vector<std::string> lines;
};

void PrintTo(const ListingFailure& c, std::ostream* os) { *os << "reason " << c.reason; }

class CleanupListingFails : public Cleanup, public ::testing::WithParamInterface<ListingFailure> {};

TEST_P(CleanupListingFails, IsSilentOnlyForAMissingFolderOrAnEmptyListing) {
  host.AddFolder(u"C:\\WORK");
  host.AddFile(u"C:\\WORK\\qelmoset.ini");
  host.listingError = GetParam().reason;

  EXPECT_EQ(QelDelete(host), GetParam().code);

  EXPECT_EQ(LogTexts(), Logged(GetParam().lines));
  EXPECT_TRUE(host.Exists(u"C:\\WORK\\qelmoset.ini"));
}

INSTANTIATE_TEST_SUITE_P(Reasons, CleanupListingFails,
                         ::testing::Values(ListingFailure{kErrorPathNotFound, 0, {}},
                                           ListingFailure{kErrorNoMoreFiles, 0, {}},
                                           ListingFailure{kErrorFileNotFound, 1, {kListingError}},
                                           ListingFailure{kErrorAccessDenied, 1, {kListingError}}));

// An entry path is ModuleDir and the name, in a buffer of 260 characters with
// its terminator. Here ModuleDir has 200 characters.
TEST_F(Cleanup, NamesAnEntryTooLongForThePathBufferAsNotDeletedAndGoesOn) {
  const std::u16string folder = u"C:\\" + std::u16string(196, u'D') + u"\\";
  SetModuleDir(folder);
  const std::u16string fits = std::u16string(59, u'A');     // a path of 259 characters
  const std::u16string tooLong = std::u16string(60, u'B');  // a path of 260 characters
  host.AddFolder(folder);
  host.AddFile(folder + fits);
  host.AddFolder(folder + std::u16string(60, u'S'));
  host.AddFile(folder + tooLong);
  host.AddFile(folder + u"Z");

  EXPECT_EQ(QelDelete(host), 0);

  const std::string dir = fakes::Narrow(folder);
  EXPECT_EQ(LogTexts(), Logged({
                            "Delete Succeed (" + dir + fakes::Narrow(fits) + ")",
                            "Delete Fail (" + dir + fakes::Narrow(tooLong) + ")",
                            "Delete Succeed (" + dir + "Z)",
                        }));
  EXPECT_TRUE(host.Exists(folder + tooLong));
  EXPECT_EQ(journal.Count("DeleteFileW"), 2u);
}

// The listing pattern is ModuleDir and "*.*" in the same 260 characters; a
// folder without room for it, or none at all, is never listed.
TEST_F(Cleanup, ListsOnlyAModuleFolderThatLeavesRoomForThePattern) {
  const std::u16string folder256 = u"C:\\" + std::u16string(252, u'D') + u"\\";
  SetModuleDir(folder256);
  EXPECT_EQ(QelDelete(host), 0);  // the folder does not exist
  EXPECT_EQ(journal.Matching("FindFirstFileW"),
            std::vector<std::string>{"FindFirstFileW " + fakes::Narrow(folder256) + "*.*"});

  journal.Clear();
  SetModuleDir(u"C:\\" + std::u16string(253, u'D') + u"\\");
  EXPECT_EQ(QelDelete(host), 1);
  SetModuleDir(u"");
  EXPECT_EQ(QelDelete(host), 1);
  EXPECT_EQ(journal.Count("FindFirstFileW"), 0u);
}

}  // namespace
}  // namespace qel
