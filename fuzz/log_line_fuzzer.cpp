// Fuzzes the run log's line layout and its UTF-8 form with any text and
// detail, lone surrogates included, at any valid local time.
//
// Input lines: the time as six numbers (year month day hour minute second,
// each clamped into its range: 1601-30827, 1-12, 1-31, 0-23, 0-59, 0-59); the
// library's folder (decoded by DecodeText; a backslash is appended when it
// does not end in one; empty: C:\WORK\); then one line per log call: the
// text, and, after a 0x1F byte, the detail (no 0x1F byte: no detail).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/platform_types.h"
#include "common/wide_text.h"
#include "fakes/call_journal.h"
#include "fakes/fake_host_platform.h"
#include "fuzz_support.h"
#include "runlog/run_log.h"

namespace qel::fuzz {
namespace {

constexpr std::size_t kMaxText = 600;
constexpr std::size_t kMaxCalls = 16;
constexpr char kDetailSeparator = '\x1F';

struct LogCall {
  std::u16string text;
  std::optional<std::u16string> detail;
};

// The fake host, keeping each piece appended to a file.
class RecordingHost : public fakes::FakeHostPlatform {
 public:
  using FakeHostPlatform::FakeHostPlatform;
  std::vector<std::string> appended;

  bool AppendToFile(const char16_t* path, const char* bytes, std::size_t count) override {
    appended.emplace_back(bytes, count);
    return FakeHostPlatform::AppendToFile(path, bytes, count);
  }
};

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The text with every surrogate that is not part of a pair replaced by
// U+FFFD, as code points.
std::u32string CodePoints(std::u16string_view text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out += static_cast<char32_t>(0x10000 + ((text[i] - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
      out += U'\xFFFD';
    } else {
      out += text[i];
    }
  }
  return out;
}

// Decodes well-formed UTF-8 (shortest forms, no surrogates, at most
// U+10FFFF); none when the bytes are not.
std::optional<std::u32string> DecodeUtf8(std::string_view bytes) {
  std::u32string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t extra = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07u, least = 0x10000;
    } else {
      return std::nullopt;
    }
    if (i + extra >= bytes.size()) return std::nullopt;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      cp = cp << 6 | (next & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    out += cp;
    i += extra + 1;
  }
  return out;
}

std::u16string Stamp(const LocalTime& t) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d  ", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return std::u16string(stamp, stamp + std::char_traits<char>::length(stamp));
}

std::u16string ExpectedLine(const LocalTime& time, const LogCall& call) {
  std::u16string line = Stamp(time) + call.text;
  if (call.detail) line += u" (" + *call.detail + u")";
  return line;
}

bool HoldsLineBreak(std::u16string_view text) { return text.find_first_of(u"\r\n") != std::u16string_view::npos; }

void CheckCase(const LocalTime& time, const std::u16string& folder, const std::vector<LogCall>& calls) {
  fakes::CallJournal journal;
  RecordingHost host(journal);
  host.clock = time;
  SetModuleDir(folder);
  host.AddFolder(folder);

  std::string expectedFile;
  for (const LogCall& call : calls) {
    const char16_t* detail = call.detail ? call.detail->c_str() : nullptr;
    const std::u16string line = QelFormatLogLine(time, call.text.c_str(), detail);
    const std::u16string expected = ExpectedLine(time, call);
    QEL_FUZZ_CHECK(line == expected, "line " + Utf8(line) + " expected " + Utf8(expected));
    const std::string bytes = ToUtf8(line);
    const std::optional<std::u32string> decoded = DecodeUtf8(bytes);
    QEL_FUZZ_CHECK(decoded.has_value(), "not valid UTF-8");
    QEL_FUZZ_CHECK(*decoded == CodePoints(line), "UTF-8 does not hold the line's characters");

    const std::size_t before = host.appended.size();
    QelWriteLog(host, call.text.c_str(), detail);
    if (folder.size() + 12 >= kMaxPath) {
      QEL_FUZZ_CHECK(host.appended.size() == before, "a log path that does not fit was written");
      continue;
    }
    // One piece per call: the line and its CR LF, which is the only line
    // break when text and detail hold none.
    QEL_FUZZ_CHECK(host.appended.size() == before + 1);
    const std::string& piece = host.appended.back();
    QEL_FUZZ_CHECK(piece == bytes + "\r\n");
    if (!HoldsLineBreak(call.text) && !(call.detail && HoldsLineBreak(*call.detail))) {
      QEL_FUZZ_CHECK(std::count(piece.begin(), piece.end(), '\n') == 1 &&
                     std::count(piece.begin(), piece.end(), '\r') == 1);
    }
    expectedFile += piece;
  }
  if (folder.size() + 12 < kMaxPath) QEL_FUZZ_CHECK(host.Content(LogPath()) == expectedFile);
}

std::uint16_t Clamp(unsigned long value, std::uint16_t low, std::uint16_t high) {
  return static_cast<std::uint16_t>(std::clamp<unsigned long>(value, low, high));
}

LocalTime ReadTime(std::string_view line) {
  unsigned long numbers[6] = {};
  std::size_t count = 0;
  for (std::size_t i = 0; i < line.size() && count < 6;) {
    if (line[i] < '0' || line[i] > '9') {
      ++i;
      continue;
    }
    unsigned long value = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
      value = std::min(value * 10 + static_cast<unsigned long>(line[i] - '0'), 100000ul);
    }
    numbers[count++] = value;
  }
  return {Clamp(numbers[0], 1601, 30827), Clamp(numbers[1], 1, 12), Clamp(numbers[2], 1, 31),
          Clamp(numbers[3], 0, 23),       Clamp(numbers[4], 0, 59), Clamp(numbers[5], 0, 59)};
}

}  // namespace
}  // namespace qel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qel::fuzz;
  FuzzInput input(data, size);
  const qel::LocalTime time = ReadTime(input.NextLine());
  std::u16string folder = DecodeText(input.NextLine(), qel::kMaxPath - 2);
  if (folder.empty()) folder = u"C:\\WORK\\";
  if (folder.back() != u'\\') folder += u'\\';

  std::vector<LogCall> calls;
  while (input.HasLine() && calls.size() < kMaxCalls) {
    const std::string_view line = input.NextLine();
    const std::size_t separator = line.find(kDetailSeparator);
    LogCall call{DecodeText(line.substr(0, separator), kMaxText), std::nullopt};
    if (separator != std::string_view::npos) call.detail = DecodeText(line.substr(separator + 1), kMaxText);
    calls.push_back(std::move(call));
  }
  CheckCase(time, folder, calls);
  return 0;
}
