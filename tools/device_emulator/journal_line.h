// Writes the emulator's journal: one line per call, built field by field and
// appended to the journal file (format in emulator_journal.h).
#pragma once

#include <windows.h>

#include <string>

namespace qel::emulator {

class JournalLine {
 public:
  explicit JournalLine(const char* operation) : text_(operation) {}

  JournalLine& Path(LPCWSTR path);  // as given; "(null)" for a null pointer
  JournalLine& Handle(HANDLE handle);
  JournalLine& Number(unsigned long number);

  // Each adds "=" and the result, then appends the line to file (nothing
  // when file is empty). One open-append-close per line.
  void HandleResult(const std::wstring& file, HANDLE handle);
  void FlagResult(const std::wstring& file, bool ok);
  void CodeResult(const std::wstring& file, HRESULT result);

 private:
  void Field(const std::string& field);
  void Append(const std::wstring& file, const std::string& result);

  std::string text_;
};

}  // namespace qel::emulator
