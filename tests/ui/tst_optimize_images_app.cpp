// The application entry: it must open exactly one window in its initial state, named "Tarvolin", and
// return once that window is closed. Checked from inside its own event loop.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdio>

#include "optimize_content_view.h"
#include "optimize_images_app.h"

namespace {

QStringList problems;

void inspectAndClose() {
  if (QApplication::applicationName() != "Tarvolin")
    problems << "application name " + QApplication::applicationName();
  QList<OptimizeContentView*> windows;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* view = qobject_cast<OptimizeContentView*>(widget))
      windows << view;
  }
  if (windows.size() != 1) {
    problems << QStringLiteral("%1 windows").arg(windows.size());
  } else {
    OptimizeContentView* view = windows.front();
    if (!view->isVisible())
      problems << "window not shown";
    if (view->width() != 520)
      problems << QStringLiteral("width %1").arg(view->width());
    if (view->sourceFolder() || view->destFolder() || !view->statusLines().isEmpty() || view->isRunning()) {
      problems << "not in its initial state";
    }
  }
  for (QWidget* widget : QApplication::topLevelWidgets())
    widget->close();
}

// Runs as soon as the entry has created its application object.
void scheduleInspection() {
  QTimer::singleShot(0, &inspectAndClose);
}
Q_COREAPP_STARTUP_FUNCTION(scheduleInspection)

}  // namespace

int main(int argc, char** argv) {
  const int result = OptimizeImagesApp::main(argc, argv);
  if (result != 0)
    problems << QStringLiteral("returned %1").arg(result);
  for (const QString& problem : problems)
    std::fprintf(stderr, "FAIL: %s\n", qPrintable(problem));
  if (problems.isEmpty())
    std::fprintf(stderr, "PASS: one window, initial state, ended when closed\n");
  return problems.isEmpty() ? 0 : 1;
}
