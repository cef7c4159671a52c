#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "common/platform_types.h"
#include "common/wide_text.h"
#include "runlog/run_log.h"

namespace qel::fuzz {

namespace {

// What the fake host's clock puts in front of every log text.
constexpr std::string_view kStamp = "2026/12/11 09:05:07  ";

constexpr unsigned char kUnitEscape = 0xFF;

// Reads "{N}" at the start of line: the count, and the line after it.
bool ReadRepeatCount(std::string_view& line, std::size_t& count) {
  if (line.size() < 3 || line[0] != '{') return false;
  std::size_t value = 0;
  std::size_t i = 1;
  for (; i < line.size() && i <= 3 && line[i] >= '0' && line[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::size_t>(line[i] - '0');
  }
  if (i == 1 || i >= line.size() || line[i] != '}') return false;
  count = value;
  line.remove_prefix(i + 1);
  return true;
}

std::u16string DecodeUnits(std::string_view line) {
  std::u16string text;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    char16_t unit = byte;
    if (byte == kUnitEscape) {
      if (i + 2 >= line.size()) break;
      unit = static_cast<char16_t>(static_cast<unsigned char>(line[i + 1]) << 8 |
                                   static_cast<unsigned char>(line[i + 2]));
      i += 2;
    }
    if (unit != u'\0') text += unit;
  }
  return text;
}

}  // namespace

void Fail(const char* condition, const char* file, int line, const std::string& detail) {
  std::fprintf(stderr, "\n*** property violated at %s:%d: %s\n", file, line, condition);
  if (!detail.empty()) std::fprintf(stderr, "*** %s\n", detail.c_str());
  std::abort();
}

std::string_view FuzzInput::NextLine() {
  const std::size_t end = rest_.find('\n');
  const std::string_view line = rest_.substr(0, end);
  more_ = more_ && end != std::string_view::npos;
  rest_.remove_prefix(more_ ? end + 1 : rest_.size());
  return line;
}

std::string_view FuzzInput::Rest() {
  const std::string_view rest = rest_;
  rest_ = {};
  more_ = false;
  return rest;
}

std::u16string DecodeText(std::string_view line, std::size_t maxUnits) {
  std::size_t count = 0;
  const bool repeated = ReadRepeatCount(line, count);
  std::u16string text = DecodeUnits(line);
  if (!repeated) {
    text.resize(std::min(text.size(), maxUnits));
    return text;
  }
  if (text.empty()) text = u"A";
  std::u16string out;
  for (std::size_t i = 0; i < std::min(count, maxUnits); ++i) out += text[i % text.size()];
  return out;
}

std::unique_ptr<char16_t[]> TerminatedCopy(std::u16string_view text) {
  auto copy = std::make_unique<char16_t[]>(text.size() + 1);
  std::copy(text.begin(), text.end(), copy.get());
  return copy;
}

std::unique_ptr<char16_t[]> ZeroFilled(std::size_t capacity) { return std::make_unique<char16_t[]>(capacity); }

std::u16string TextIn(const char16_t* buffer, std::size_t capacity) {
  const char16_t* end = std::find(buffer, buffer + capacity, u'\0');
  QEL_FUZZ_CHECK(end != buffer + capacity, "no terminator within " + std::to_string(capacity) + " units");
  return std::u16string(buffer, end);
}

void SetModuleDir(std::u16string_view folder) {
  std::fill(std::begin(ModuleDir), std::end(ModuleDir), u'\0');
  std::copy_n(folder.begin(), std::min(folder.size(), kMaxPath - 1), ModuleDir);
}

std::u16string LogPath() { return std::u16string(ModuleDir) + kLogFileName; }

std::vector<std::string> LogTexts(const fakes::FakeHostPlatform& host) {
  std::vector<std::string> texts;
  for (const std::string& line : host.Lines(LogPath())) {
    QEL_FUZZ_CHECK(line.starts_with(kStamp), "log line: " + line);
    texts.push_back(line.substr(kStamp.size()));
  }
  return texts;
}

std::string StartMarker(std::string_view stage) {
  return "<========== " + std::string(stage) + " START ==========>";
}

std::string EndMarker(std::string_view stage) {
  return "<========== " + std::string(stage) + " END ==========>";
}

std::string Utf8(std::u16string_view text) { return ToUtf8(text); }

}  // namespace qel::fuzz
