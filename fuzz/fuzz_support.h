// What every fuzz target shares: reading the fuzzer's bytes as the texts of
// one case, stopping with a message when a property does not hold, and the
// library folder and run log of the fake host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/fake_host_platform.h"

namespace qel::fuzz {

// Prints what was violated and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* condition, const char* file, int line, const std::string& detail);

// Checks a property of the system; the optional detail (a std::string) is
// printed with it.
#define QEL_FUZZ_CHECK(condition, ...) \
  ((condition) ? void(0) : ::qel::fuzz::Fail(#condition, __FILE__, __LINE__, std::string{__VA_ARGS__}))

// The fuzzer's bytes as lines, split at every '\n' byte: "a\nb" and "a\n"
// are two lines each (the second one empty), "" none.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size), more_(size > 0) {}

  // Whether another line follows.
  bool HasLine() const { return more_; }
  // The next line without its '\n'; empty when there is none.
  std::string_view NextLine();
  // Everything not read yet, as one piece.
  std::string_view Rest();

 private:
  std::string_view rest_;
  bool more_;
};

// The UTF-16 text that a line stands for, at most maxUnits long:
// - a byte 0xFF and the two bytes after it are one code unit, high byte
//   first (lone surrogates, CJK, any unit but zero);
// - a zero byte or unit is left out (the stages take terminated strings);
// - every other byte is the code unit of the same value (ASCII, Latin-1);
// - a line that begins with "{N}" (N of one to three digits) stands for
//   exactly N units (at most maxUnits): the text after it repeated, or 'A'
//   repeated when there is none. This lets the fuzzer hit length limits with
//   one small change.
std::u16string DecodeText(std::string_view line, std::size_t maxUnits);

// Heap buffers of exactly the stated size, so that the address sanitizer
// reports any access past their end: a terminated copy of text, and a
// zero-filled buffer of capacity units.
std::unique_ptr<char16_t[]> TerminatedCopy(std::u16string_view text);
std::unique_ptr<char16_t[]> ZeroFilled(std::size_t capacity);

// The text in a buffer of capacity units, checked to be terminated within it.
std::u16string TextIn(const char16_t* buffer, std::size_t capacity);

// Fills ModuleDir with folder, cut to its 259 characters.
void SetModuleDir(std::u16string_view folder);

// The run log beside the library: ModuleDir and "qelmoset.log".
std::u16string LogPath();

// The lines of the run log without their CR LF and without the timestamp
// of the fake's fixed clock (each line is checked to begin with it).
std::vector<std::string> LogTexts(const fakes::FakeHostPlatform& host);

// "<========== stage START ==========>" and its END counterpart.
std::string StartMarker(std::string_view stage);
std::string EndMarker(std::string_view stage);

// UTF-8 of a text, as the log shows it.
std::string Utf8(std::u16string_view text);

}  // namespace qel::fuzz
