#pragma once

#include <deque>

#include "folder_chooser.h"

// Answers in place of the user: each call takes the next prepared answer (nullopt is a cancel).
class FakeFolderChooser final : public FolderChooser {
 public:
  void answer(std::optional<std::filesystem::path> folder) { answers_.push_back(std::move(folder)); }

  std::optional<std::filesystem::path> chooseFolder(QWidget* parent) override {
    ++calls;
    lastParent = parent;
    if (answers_.empty())
      return std::nullopt;
    auto next = std::move(answers_.front());
    answers_.pop_front();
    return next;
  }

  int calls = 0;
  QWidget* lastParent = nullptr;

 private:
  std::deque<std::optional<std::filesystem::path>> answers_;
};
