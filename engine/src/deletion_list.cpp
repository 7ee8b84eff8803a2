#include "deletion_list.h"

#include "file_contents.h"

namespace {

bool isValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || i + length > text.size())
      return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2)
        return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

bool fitsOnDeletionList(const std::string& name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return false;
  }
  return isValidUtf8(name);
}

StepError writeDeletionList(OutputFolder& folder, const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += name + '\n';
  StepError error;
  TempFile list = folder.newFile(error);
  if (!error)
    error = writeContents(list, text);
  if (!error)
    error = folder.place(list, deletionListName);
  return error;
}
