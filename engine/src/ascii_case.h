#pragma once

#include <algorithm>
#include <string>

enum class LetterCase { lower, upper };

// `text` with its ASCII letters in one case and every other byte as it is: what extensions and the
// case probe's names need. Names in general fold as a drive folds them (foldedName).
inline std::string withAsciiCase(std::string text, LetterCase to) {
  const char from = to == LetterCase::lower ? 'A' : 'a';
  const char into = to == LetterCase::lower ? 'a' : 'A';
  std::ranges::transform(text, text.begin(), [&](char c) {
    return c >= from && c <= from + 25 ? static_cast<char>(c - from + into) : c;
  });
  return text;
}
