#include "name_claims.h"

#include "ascii_case.h"

namespace {

// The lower-case partner of a code point of two UTF-8 bytes in the common alphabets; others stay as
// they are.
char32_t lowerCase(char32_t c) {
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return c + 32;
  if (c >= 0x400 && c <= 0x40F)
    return c + 80;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177) || (c >= 0x460 && c <= 0x4BF))
    return c | 1;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) ? c + 1 : c;
  if (c == 0x178)
    return 0xFF;
  return c;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string foldedName(const std::string& name) {
  const std::string text = withAsciiCase(name, LetterCase::lower);
  std::string folded;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // Two-byte sequences hold every other letter folded here; anything else is copied byte for byte.
    if (lead >= 0xC2 && lead <= 0xDF && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      const char32_t c = (char32_t{lead} & 0x1F) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
      appendUtf8(folded, lowerCase(c));
      i += 2;
    } else {
      folded += text[i];
      ++i;
    }
  }
  return folded;
}

std::optional<std::string> NameClaims::claim(const std::string& name, const std::string& claimant) {
  const auto [holder, granted] = holders_.try_emplace(key(name), claimant);
  if (granted || holder->second == claimant)
    return std::nullopt;
  return holder->second;
}

std::optional<std::string> NameClaims::holderOf(const std::string& name) const {
  const auto found = holders_.find(key(name));
  if (found == holders_.end())
    return std::nullopt;
  return found->second;
}

std::string NameClaims::key(const std::string& name) const {
  return foldsCase_ ? foldedName(name) : name;
}
