#include "common/wide_text.h"

#include <algorithm>

namespace qel {

std::size_t WideLength(const char16_t* text) {
  return std::char_traits<char16_t>::length(text);
}

bool AppendText(char16_t* buffer, std::size_t capacity, std::u16string_view text) {
  const std::size_t used = WideLength(buffer);
  if (used + text.size() + 1 > capacity) return false;
  std::copy(text.begin(), text.end(), buffer + used);
  buffer[used + text.size()] = u'\0';
  return true;
}

void UpperCaseAscii(char16_t* text) {
  for (; *text != u'\0'; ++text) {
    if (*text >= u'a' && *text <= u'z') *text = static_cast<char16_t>(*text - u'a' + u'A');
  }
}

void LowerCaseAscii(char16_t* text) {
  for (; *text != u'\0'; ++text) {
    if (*text >= u'A' && *text <= u'Z') *text = static_cast<char16_t>(*text - u'A' + u'a');
  }
}

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendCodePoint(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const char32_t cp = 0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00);
      AppendCodePoint(out, cp);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendCodePoint(out, 0xFFFD);
    } else {
      AppendCodePoint(out, c);
    }
  }
  return out;
}

}  // namespace qel
