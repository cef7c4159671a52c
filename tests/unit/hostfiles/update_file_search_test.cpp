#include "hostfiles/update_file_search.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "unit/settings/stage_test.h"

namespace qel {
namespace {

constexpr char16_t kFolder[] = u"C:\\TMP\\UPD";

class FindFile : public unit::StageTest {
 protected:
  int Find(const std::u16string& folder) { return QelFindFile(host, folder.c_str(), name); }

  std::vector<std::string> Logged(const std::vector<std::string>& lines) const {
    std::vector<std::string> all{unit::Start("QelFindFile")};
    all.insert(all.end(), lines.begin(), lines.end());
    all.push_back(unit::End("QelFindFile"));
    return all;
  }

  char16_t name[kMaxPath] = {};
};

TEST_F(FindFile, TakesTheFirstFileThatTheListingGivesAndPassesOverFolders) {
  host.AddFolder(kFolder);
  host.AddFolder(u"C:\\TMP\\UPD\\OLD.QEL");
  host.AddFile(u"C:\\TMP\\UPD\\B.qel");
  host.AddFile(u"C:\\TMP\\UPD\\A.QEL");

  EXPECT_EQ(Find(kFolder), 0);

  EXPECT_EQ(std::u16string(name), u"B.qel");
  EXPECT_EQ(journal.Matching("FindFirstFileW"),
            std::vector<std::string>{"FindFirstFileW C:\\TMP\\UPD\\*.qel"});
  EXPECT_EQ(LogTexts(), Logged({}));
  EXPECT_EQ(host.openHandles(), 0);
  EXPECT_LT(journal.IndexOf("FindClose"), LoggedAt(unit::End("QelFindFile")));
}

TEST_F(FindFile, CopiesANameOf259CharactersWhole) {
  const std::u16string longName = std::u16string(255, u'N') + u".QEL";
  host.AddFolder(kFolder);
  host.AddFile(kFolder + (u"\\" + longName));

  EXPECT_EQ(Find(kFolder), 0);

  EXPECT_EQ(std::u16string(name), longName);
}

struct NotFoundCase {
  const char* what;
  std::function<void(fakes::FakeHostPlatform&)> setUp;
};

void PrintTo(const NotFoundCase& c, std::ostream* os) { *os << c.what; }

const std::vector<NotFoundCase> kNotFound{
    {"folder missing", [](fakes::FakeHostPlatform&) {}},
    {"no matching entry",
     [](fakes::FakeHostPlatform& host) {
       host.AddFolder(kFolder);
       host.AddFile(u"C:\\TMP\\UPD\\A.QE");
       host.AddFile(u"C:\\TMP\\UPD\\A.QEL.OLD");
     }},
    {"only folders match",
     [](fakes::FakeHostPlatform& host) {
       host.AddFolder(kFolder);
       host.AddFolder(u"C:\\TMP\\UPD\\OLD.QEL");
       host.AddFolder(u"C:\\TMP\\UPD\\NEW.QEL");
       host.AddFile(u"C:\\TMP\\UPD\\A.TXT");
     }},
    {"listing breaks off before the file",
     [](fakes::FakeHostPlatform& host) {
       host.AddFolder(kFolder);
       host.AddFolder(u"C:\\TMP\\UPD\\OLD.QEL");
       host.AddFile(u"C:\\TMP\\UPD\\A.QEL");
       host.failNextFileAt = 1;
     }},
};

class FileNotFound : public FindFile, public ::testing::WithParamInterface<NotFoundCase> {};

TEST_P(FileNotFound, LogsThePatternAfterEndingTheListing) {
  GetParam().setUp(host);

  EXPECT_EQ(Find(kFolder), 1);

  EXPECT_EQ(LogTexts(), Logged({"FindFirstFile ERROR (C:\\TMP\\UPD\\*.qel)"}));
  EXPECT_EQ(host.openHandles(), 0);
  EXPECT_LT(journal.IndexOf("FindClose"), LoggedAt("FindFirstFile ERROR"));
}

INSTANTIATE_TEST_SUITE_P(Cases, FileNotFound, ::testing::ValuesIn(kNotFound));

// The pattern adds six characters and must stay below 259.
std::u16string FolderOf(std::size_t length) { return u"C:\\" + std::u16string(length - 3, u'F'); }

TEST_F(FindFile, ListsAFolderOf252Characters) {
  const std::u16string folder = FolderOf(252);
  host.AddFolder(folder);
  host.AddFile(folder + u"\\A.QEL");

  EXPECT_EQ(Find(folder), 0);

  EXPECT_EQ(journal.Matching("FindFirstFileW"),
            std::vector<std::string>{"FindFirstFileW " + fakes::Narrow(folder) + "\\*.qel"});
  EXPECT_EQ(std::u16string(name), u"A.QEL");
}

TEST_F(FindFile, RefusesAFolderOf253CharactersWithAnEmptyDetail) {
  const std::u16string folder = FolderOf(253);
  host.AddFolder(folder);
  host.AddFile(folder + u"\\A.QEL");

  EXPECT_EQ(Find(folder), 1);

  EXPECT_EQ(journal.Count("FindFirstFileW"), 0u);
  EXPECT_EQ(LogTexts(), Logged({"Length Over ()"}));
  EXPECT_EQ(std::u16string(name), u"");
}

TEST_F(FindFile, AddsTheSeparatorWhateverTheFolderEndsWith) {
  Find(u"C:\\TMP\\");
  Find(u"");
  EXPECT_EQ(journal.Matching("FindFirstFileW"),
            (std::vector<std::string>{"FindFirstFileW C:\\TMP\\\\*.qel", "FindFirstFileW \\*.qel"}));
}

}  // namespace
}  // namespace qel
