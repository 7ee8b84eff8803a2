#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "fake_folder_chooser.h"
#include "folder_row.h"
#include "optimize_content_view.h"

// A temporary folder for a test's files, removed with the test object.
struct ScratchFolder {
  QTemporaryDir folder;
  const std::filesystem::path root{folder.path().toStdString()};
};

// A window with a fake chooser, and its parts found by object name, the way the tests use them. Runs
// the real engine unless the test hands in a stand-in; folders it would show in the file manager are
// only recorded, so that no test opens one.
class ViewDriver {
 public:
  explicit ViewDriver(RunController::Engine engine = RunController::runEngine,
                      std::unique_ptr<FakeFolderChooser> fake = std::make_unique<FakeFolderChooser>())
      : chooser(fake.get()),
        view(std::make_unique<OptimizeContentView>(
            std::move(fake), std::move(engine),
            [opened = openedFolders, opens = opensFolders](const std::filesystem::path& folder) {
              opened->push_back(folder);
              return *opens;
            })) {}

  template <typename T = QWidget>
  T* find(const char* name) const {
    return view->findChild<T*>(name);
  }
  FolderRow* row(const char* name) const { return find<FolderRow>(name); }
  QPushButton* chooseButton(const char* rowName) const {
    return row(rowName)->findChild<QPushButton*>("chooseButton");
  }
  QLabel* pathLabel(const char* rowName) const { return row(rowName)->findChild<QLabel*>("path"); }
  QRadioButton* modeButton(const char* name) const { return find<QRadioButton>(name); }
  QCheckBox* includeSubfolders() const { return find<QCheckBox>("includeSubfolders"); }
  QCheckBox* alsoAvif() const { return find<QCheckBox>("alsoAvif"); }
  QPushButton* startButton() const { return find<QPushButton>("startButton"); }
  QPushButton* stopButton() const { return find<QPushButton>("stopButton"); }
  QProgressBar* progress() const { return find<QProgressBar>("runProgress"); }
  QLabel* runFigures() const { return find<QLabel>("runFigures"); }
  QLabel* link(const char* name) const { return find<QLabel>(name); }
  QPlainTextEdit* logText() const { return find<QPlainTextEdit>("statusLog"); }
  QTableView* table() const { return find<QTableView>("resultsTable"); }

  // Through the "Choose…" buttons, as the user would.
  void choose(const char* rowName, const std::filesystem::path& folder) {
    chooser->answer(folder);
    QTest::mouseClick(chooseButton(rowName), Qt::LeftButton);
  }
  void start(const std::filesystem::path& source, const std::filesystem::path& destination) {
    choose("sourceRow", source);
    choose("destRow", destination);
    QTest::mouseClick(startButton(), Qt::LeftButton);
  }
  // From the keyboard, as a user reaches a link: Tab onto it, then Enter.
  static void activate(QLabel* link) {
    link->window()->show();
    QApplication::setActiveWindow(link->window());
    QVERIFY(QTest::qWaitForWindowActive(link->window()));
    link->setFocus(Qt::TabFocusReason);
    QTest::keyClick(link, Qt::Key_Return);
  }
  // Until the run has ended and the window has laid itself out for that: a new layout travels up from
  // the widget that changed through posted events, as it would before the next frame.
  bool waitUntilIdle() {
    const bool idle = QTest::qWaitFor([this] { return !view->isRunning(); }, 60000);
    QCoreApplication::sendPostedEvents();
    return idle;
  }

  // Declared before the view, which records into it.
  std::shared_ptr<std::vector<std::filesystem::path>> openedFolders =
      std::make_shared<std::vector<std::filesystem::path>>();
  // Whether the stand-in file manager shows them; false as on a desktop without one.
  std::shared_ptr<bool> opensFolders = std::make_shared<bool>(true);
  FakeFolderChooser* chooser;  // owned by the view
  std::unique_ptr<OptimizeContentView> view;
};
