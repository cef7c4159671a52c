#include "fakes/call_journal.h"

#include "common/wide_text.h"

namespace qel::fakes {

std::vector<std::string> CallJournal::Matching(std::string_view prefix) const {
  std::vector<std::string> out;
  for (const auto& entry : entries_) {
    if (entry.starts_with(prefix)) out.push_back(entry);
  }
  return out;
}

long CallJournal::IndexOf(std::string_view prefix) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].starts_with(prefix)) return static_cast<long>(i);
  }
  return -1;
}

std::string Narrow(std::u16string_view text) { return ToUtf8(text); }

std::u16string FoldCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return out;
}

}  // namespace qel::fakes
