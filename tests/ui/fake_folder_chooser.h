#pragma once

#include <deque>
#include <filesystem>
#include <optional>

#include "folder_chooser.h"

// Answers in place of the user: each call takes the next prepared answer (nullopt is a cancel).
class FakeFolderChooser final : public FolderChooser {
 public:
  void answer(std::optional<std::filesystem::path> folder) { answers_.push_back(std::move(folder)); }
  int calls() const { return calls_; }
  QWidget* lastParent() const { return lastParent_; }

  std::optional<std::filesystem::path> chooseFolder(QWidget* parent) override {
    ++calls_;
    lastParent_ = parent;
    if (answers_.empty())
      return std::nullopt;
    auto next = std::move(answers_.front());
    answers_.pop_front();
    return next;
  }

 private:
  std::deque<std::optional<std::filesystem::path>> answers_;
  int calls_ = 0;
  QWidget* lastParent_ = nullptr;
};
