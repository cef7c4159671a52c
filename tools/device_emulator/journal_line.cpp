#include "journal_line.h"

#include <charconv>
#include <cstdint>

#include "win32_handles.h"

namespace qel::emulator {
namespace {

std::string Utf8(LPCWSTR text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();  // the terminator
  return out;
}

// "0x" and lower-case hex digits, at least minDigits of them.
std::string Hex(std::uint64_t value, std::size_t minDigits) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  const std::size_t count = static_cast<std::size_t>(end - digits);
  return "0x" + std::string(minDigits > count ? minDigits - count : 0, '0') + std::string(digits, end);
}

}  // namespace

void JournalLine::Field(const std::string& field) {
  text_ += '\t';
  text_ += field;
}

JournalLine& JournalLine::Path(LPCWSTR path) {
  Field(path == nullptr ? "(null)" : Utf8(path));
  return *this;
}

JournalLine& JournalLine::Handle(HANDLE handle) {
  Field(Hex(reinterpret_cast<std::uintptr_t>(handle), 1));
  return *this;
}

JournalLine& JournalLine::Number(unsigned long number) {
  Field(std::to_string(number));
  return *this;
}

void JournalLine::HandleResult(const std::wstring& file, HANDLE handle) {
  Append(file, Hex(reinterpret_cast<std::uintptr_t>(handle), 1));
}

void JournalLine::FlagResult(const std::wstring& file, bool ok) { Append(file, ok ? "1" : "0"); }

void JournalLine::CodeResult(const std::wstring& file, HRESULT result) {
  Append(file, Hex(static_cast<std::uint32_t>(result), 8));
}

void JournalLine::Append(const std::wstring& file, const std::string& result) {
  if (file.empty()) return;
  Field("=");
  Field(result);
  text_ += "\r\n";
  const UniqueHandle out = OwnFile(CreateFileW(file.c_str(), FILE_APPEND_DATA,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (out) WriteFile(out.get(), text_.data(), static_cast<DWORD>(text_.size()), &written, nullptr);
}

}  // namespace qel::emulator
