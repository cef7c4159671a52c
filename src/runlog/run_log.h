// The library's folder, the run log and the error notices.
#pragma once

#include <cstddef>
#include <string>

#include "common/platform_types.h"
#include "hostplatform/host_platform.h"

namespace qel {

// The library's folder with its trailing backslash; empty when it could not
// be found or does not fit. One buffer for the whole process: runs must not
// overlap.
extern char16_t ModuleDir[kMaxPath];

inline constexpr char16_t kLogFileName[] = u"qelmoset.log";
inline constexpr char16_t kSettingsFileName[] = u"qelmoset.ini";

// The six notice texts, their caption and their style.
inline constexpr char16_t kNoticeRapiCallFailed[] = u"RAPIの呼び出しに失敗しました";
inline constexpr char16_t kNoticeConnectionFailed[] = u"VEXA KX520 との接続に失敗しました";
inline constexpr char16_t kNoticeSettingsFailed[] = u"初期設定ファイルの読み込みに失敗しました";
inline constexpr char16_t kNoticeNoSourceFile[] = u"転送元ファイルが存在しません";
inline constexpr char16_t kNoticeTransferFailed[] = u"更新ファイルの転送に失敗しました";
inline constexpr char16_t kNoticeRunFailed[] = u"更新処理機能の実行に失敗しました";
inline constexpr char16_t kNoticeCaption[] = u"KX520 ソフトウェア書換";
inline constexpr std::uint32_t kNoticeStyle = kMbTopmost | kMbIconError;

// Zero-fills ModuleDir, then fills it with the folder of the library's own
// file; leaves it empty when that path is unknown or too long for its buffer.
void QelGetModuleDir(HostPlatform& host);

// Builds ModuleDir followed by fileName in buffer (capacity kMaxPath).
// False, with buffer left empty, when ModuleDir is empty or the path does not fit.
bool QelModuleFilePath(const char16_t* fileName, char16_t* buffer);

// One log line, without its line end, as "YYYY/MM/DD hh:mm:ss  text" or, with
// a detail, "YYYY/MM/DD hh:mm:ss  text (detail)".
std::u16string QelFormatLogLine(const LocalTime& time, const char16_t* text, const char16_t* detail);

// Appends one timestamped line to the run log beside the library, in UTF-8
// ended by CR LF. A line that cannot be written is dropped without a trace.
void QelWriteLog(HostPlatform& host, const char16_t* text, const char16_t* detail = nullptr);

// Logs the notice text, then shows it in the modal notice box.
void QelErrorMessage(HostPlatform& host, const char16_t* message);

// Logs "<========== name START ==========>" when a stage begins and
// "<========== name END ==========>" when it returns, on every way out.
// Declare it first in the stage, so that its end marker comes after every
// handle of the stage has been closed.
class StageMarkers {
 public:
  StageMarkers(HostPlatform& host, const char16_t* stageName);
  ~StageMarkers();
  StageMarkers(const StageMarkers&) = delete;
  StageMarkers& operator=(const StageMarkers&) = delete;

 private:
  HostPlatform& host_;
  const char16_t* stageName_;
};

}  // namespace qel
