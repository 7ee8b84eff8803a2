#include "deletion_list.h"

#include <glib.h>

#include "file_contents.h"

bool fitsOnDeletionList(const std::string& name) {
  const char* const end = name.data() + name.size();
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr))
    return false;
  for (const char* at = name.data(); at < end; at = g_utf8_next_char(at)) {
    const gunichar c = g_utf8_get_char(at);
    // Controls, and what Unicode-aware readers (Python's splitlines, many editors) also take as a line
    // break: NEL among the C1 controls, and the line and paragraph separators.
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029)
      return false;
  }
  return true;
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
