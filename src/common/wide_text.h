// Small helpers for the fixed, zero-filled UTF-16 buffers of a run.
// Every join is checked against the buffer's capacity (characters including
// the terminator) before anything is written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qel {

// Length in UTF-16 code units, without the terminator.
std::size_t WideLength(const char16_t* text);

// Appends text to the terminated string in buffer when the result and its
// terminator fit in capacity; otherwise leaves buffer unchanged and returns false.
bool AppendText(char16_t* buffer, std::size_t capacity, std::u16string_view text);

// Case mapping of the 26 ASCII letters only; every other character is kept.
void UpperCaseAscii(char16_t* text);
void LowerCaseAscii(char16_t* text);

// UTF-8 form of the text; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

}  // namespace qel
