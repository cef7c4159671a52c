#include "emulator_settings.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

namespace qel::emulator {
namespace {

// Operations that QEL_EMU_FAIL may name.
constexpr std::array<std::string_view, 8> kFaultableOperations = {
    "CeFindFirstFile", "CeFindClose",   "CeCreateDirectory", "CeCreateFile",
    "CeWriteFile",     "CeCloseHandle", "CeDeleteFile",      "CeCreateProcess"};

std::wstring Environment(const wchar_t* name) {
  std::wstring value(64, L'\0');
  for (;;) {
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length < value.size()) {
      value.resize(length);  // 0 when unset
      return value;
    }
    value.resize(length);  // too small: length is the size needed, terminator included
  }
}

// A decimal number without sign; nothing else may follow it.
std::optional<unsigned> Number(std::wstring_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  unsigned value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  return value;
}

// A call number: unset means none, otherwise a number from 1.
bool ReadCall(std::wstring_view text, unsigned& call) {
  if (text.empty()) return true;
  const auto number = Number(text);
  call = number.value_or(0);
  return call != 0;
}

bool ReadConnect(std::wstring_view text, Settings& settings) {
  constexpr std::wstring_view kDelay = L"delay:";
  if (text.empty()) {
    settings.connect = ConnectMode::kAtOnce;
  } else if (text == L"refuse") {
    settings.connect = ConnectMode::kRefuse;
  } else if (text == L"never") {
    settings.connect = ConnectMode::kNever;
  } else if (text == L"fail") {
    settings.connect = ConnectMode::kFail;
  } else if (text.starts_with(kDelay)) {
    const auto delay = Number(text.substr(kDelay.size()));
    if (!delay) return false;
    settings.connect = ConnectMode::kDelay;
    settings.delayMilliseconds = *delay;
  } else {
    return false;
  }
  return true;
}

std::optional<std::string> Ascii(std::wstring_view text) {
  std::string out;
  for (wchar_t c : text) {
    if (c < 0x20 || c > 0x7E) return std::nullopt;
    out += static_cast<char>(c);
  }
  return out;
}

bool ReadFault(std::wstring_view item, std::vector<FailAt>& failAt) {
  const std::size_t colon = item.find(L':');
  if (colon == std::wstring_view::npos) return false;
  const auto operation = Ascii(item.substr(0, colon));
  const auto call = Number(item.substr(colon + 1));
  if (!operation || !call || *call == 0) return false;
  if (std::find(kFaultableOperations.begin(), kFaultableOperations.end(), *operation) ==
      kFaultableOperations.end()) {
    return false;
  }
  failAt.push_back({*operation, *call});
  return true;
}

// "Op:N[,Op:N...]", or empty for none.
bool ReadFailAt(std::wstring_view text, std::vector<FailAt>& failAt) {
  if (text.empty()) return true;
  for (;;) {
    const std::size_t comma = text.find(L',');
    if (!ReadFault(text.substr(0, comma), failAt)) return false;
    if (comma == std::wstring_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace

Settings ReadSettings() {
  Settings settings;
  settings.root = Environment(L"QEL_EMU_ROOT");
  settings.journal = Environment(L"QEL_EMU_JOURNAL");
  settings.failMkdir = Environment(L"QEL_EMU_FAIL_MKDIR");
  const std::wstring failProcess = Environment(L"QEL_EMU_FAIL_PROCESS");
  settings.failProcess = failProcess == L"1";
  settings.valid = ReadConnect(Environment(L"QEL_EMU_CONNECT"), settings) &&
                   ReadCall(Environment(L"QEL_EMU_FAIL_WRITE"), settings.failWrite) &&
                   ReadCall(Environment(L"QEL_EMU_SHORT_WRITE"), settings.shortWrite) &&
                   (failProcess.empty() || failProcess == L"0" || settings.failProcess) &&
                   ReadFailAt(Environment(L"QEL_EMU_FAIL"), settings.failAt);
  return settings;
}

}  // namespace qel::emulator
