// One ordered record of every platform call that the fakes receive, shared by
// the fake host and the fake device so that tests can check the order of
// calls across both boundaries (and the log lines between them).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qel::fakes {

class CallJournal {
 public:
  void Add(std::string entry) { entries_.push_back(std::move(entry)); }
  const std::vector<std::string>& entries() const { return entries_; }
  void Clear() { entries_.clear(); }

  // Entries that begin with prefix, in order.
  std::vector<std::string> Matching(std::string_view prefix) const;
  // How many entries begin with prefix.
  std::size_t Count(std::string_view prefix) const { return Matching(prefix).size(); }
  // Position of the first entry that begins with prefix, or -1.
  long IndexOf(std::string_view prefix) const;

 private:
  std::vector<std::string> entries_;
};

// UTF-8 form of a wide string, for journal entries and test messages.
std::string Narrow(std::u16string_view text);
// Upper-cased copy of the 26 ASCII letters, for case-insensitive keys.
std::u16string FoldCase(std::u16string_view text);

}  // namespace qel::fakes
