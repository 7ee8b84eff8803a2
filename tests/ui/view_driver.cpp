#include "view_driver.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "elided_label.h"
#include "folder_row.h"
#include "segmented_control.h"
#include "start_button.h"
#include "status_log.h"

ViewDriver::ViewDriver() {
  auto chooser = std::make_unique<FakeFolderChooser>();
  chooser_ = chooser.get();
  view_ = std::make_unique<OptimizeContentView>(std::move(chooser));
}

FolderRow* ViewDriver::sourceRow() const {
  return view_->findChild<FolderRow*>("sourceRow");
}
FolderRow* ViewDriver::destRow() const {
  return view_->findChild<FolderRow*>("destRow");
}
QPushButton* ViewDriver::chooseButton(FolderRow* row) const {
  return row->findChild<QPushButton*>("chooseButton");
}
ElidedLabel* ViewDriver::pathLabel(FolderRow* row) const {
  return row->findChild<ElidedLabel*>("path");
}
QPushButton* ViewDriver::segment(int index) const {
  return view_->findChild<SegmentedControl*>("modeControl")->segment(index);
}
QLabel* ViewDriver::modeDescription() const {
  return view_->findChild<QLabel*>("modeDescription");
}
StartButton* ViewDriver::startButton() const {
  return view_->findChild<StartButton*>("startButton");
}
StatusLog* ViewDriver::statusLog() const {
  return view_->findChild<StatusLog*>("statusLog");
}
QPlainTextEdit* ViewDriver::statusLogText() const {
  return view_->findChild<QPlainTextEdit*>("statusLogText");
}

void ViewDriver::chooseSource(const std::filesystem::path& folder) {
  chooser_->answer(folder);
  QTest::mouseClick(chooseButton(sourceRow()), Qt::LeftButton);
}

void ViewDriver::chooseDest(const std::filesystem::path& folder) {
  chooser_->answer(folder);
  QTest::mouseClick(chooseButton(destRow()), Qt::LeftButton);
}

void ViewDriver::clickStart() {
  QTest::mouseClick(startButton(), Qt::LeftButton);
}

bool ViewDriver::waitUntilIdle(int timeoutMs) {
  return QTest::qWaitFor([this] { return !view_->isRunning(); }, timeoutMs);
}

void ViewDriver::closeAndDestroy() {
  view_->close();
  view_.reset();
}
