#include "runlog/run_log.h"

#include <algorithm>

#include "common/wide_text.h"

namespace qel {

char16_t ModuleDir[kMaxPath] = {};

void QelGetModuleDir(HostPlatform& host) {
  std::fill_n(ModuleDir, kMaxPath, u'\0');
  char16_t path[kMaxPath] = {};
  const std::size_t length = host.GetModuleFileNameW(path, kMaxPath);
  if (length == 0 || length >= kMaxPath) return;
  // The folder is everything up to and including the last separator; a
  // leading drive letter and colon come along with it.
  const std::u16string_view full(path, length);
  const std::size_t separator = full.find_last_of(u"\\/");
  const std::size_t folderLength = separator == std::u16string_view::npos ? 0 : separator + 1;
  std::copy_n(path, folderLength, ModuleDir);
  ModuleDir[folderLength] = u'\0';
}

bool QelModuleFilePath(const char16_t* fileName, char16_t* buffer) {
  buffer[0] = u'\0';
  if (ModuleDir[0] == u'\0') return false;
  if (AppendText(buffer, kMaxPath, ModuleDir) && AppendText(buffer, kMaxPath, fileName)) return true;
  buffer[0] = u'\0';
  return false;
}

namespace {

// Appends value in decimal, zero-padded to width digits.
void AppendNumber(std::u16string& out, unsigned value, int width) {
  char16_t digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0 && count < 10);
  for (int i = count; i < width; ++i) out += u'0';
  while (count > 0) out += digits[--count];
}

}  // namespace

std::u16string QelFormatLogLine(const LocalTime& time, const char16_t* text, const char16_t* detail) {
  std::u16string line;
  AppendNumber(line, time.year, 4);
  line += u'/';
  AppendNumber(line, time.month, 2);
  line += u'/';
  AppendNumber(line, time.day, 2);
  line += u' ';
  AppendNumber(line, time.hour, 2);
  line += u':';
  AppendNumber(line, time.minute, 2);
  line += u':';
  AppendNumber(line, time.second, 2);
  line += u"  ";
  line += text;
  if (detail != nullptr) {
    line += u" (";
    line += detail;
    line += u')';
  }
  return line;
}

void QelWriteLog(HostPlatform& host, const char16_t* text, const char16_t* detail) {
  const LocalTime now = host.GetLocalTime();
  char16_t path[kMaxPath];
  if (!QelModuleFilePath(kLogFileName, path)) return;
  const std::string bytes = ToUtf8(QelFormatLogLine(now, text, detail)) + "\r\n";
  host.AppendToFile(path, bytes.data(), bytes.size());
}

void QelErrorMessage(HostPlatform& host, const char16_t* message) {
  QelWriteLog(host, u"QelErrorMessage", message);
  host.MessageBoxW(message, kNoticeCaption, kNoticeStyle);
}

namespace {

std::u16string Marker(const char16_t* stageName, const char16_t* word) {
  return std::u16string(u"<========== ") + stageName + u' ' + word + u" ==========>";
}

}  // namespace

StageMarkers::StageMarkers(HostPlatform& host, const char16_t* stageName)
    : host_(host), stageName_(stageName) {
  QelWriteLog(host_, Marker(stageName_, u"START").c_str());
}

StageMarkers::~StageMarkers() { QelWriteLog(host_, Marker(stageName_, u"END").c_str()); }

}  // namespace qel
