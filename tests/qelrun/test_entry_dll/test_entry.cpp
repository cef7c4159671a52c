// A stand-in for qelmoset.dll. Its QelDllEntry shows one notice box through
// the host boundary and returns 7, a result that no update run gives. The
// box has the style of the update run's notices unless QEL_TEST_NOTICE_STYLE
// gives another, in hexadecimal.
#include <windows.h>

#include <cwchar>

#include "hostplatform/win32_host_platform.h"

namespace {

std::uint32_t NoticeStyle(qel::HostPlatform& host) {
  char16_t value[16] = {};
  if (!host.GetEnvironmentVariableW(u"QEL_TEST_NOTICE_STYLE", value, 16).found) {
    return qel::kMbTopmost | qel::kMbIconError;
  }
  return static_cast<std::uint32_t>(std::wcstoul(reinterpret_cast<wchar_t*>(value), nullptr, 16));
}

}  // namespace

extern "C" int WINAPI QelDllEntry(int) {
  qel::Win32HostPlatform host;
  host.MessageBoxW(u"更新ファイルの転送に失敗しました（試験）", u"試験 ソフトウェア書換",
                   NoticeStyle(host));
  return 7;
}
