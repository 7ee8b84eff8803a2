// The application entry must open exactly one window in its initial state, under the name "Tarvolin",
// and return once that window is closed. Checked from inside its own event loop.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "optimize_content_view.h"
#include "optimize_images_app.h"

namespace {

QStringList problems;

void inspectAndClose() {
  if (QApplication::applicationName() != "Tarvolin")
    problems << "named " + QApplication::applicationName();
  QList<OptimizeContentView*> views;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* view = qobject_cast<OptimizeContentView*>(window))
      views << view;
  }
  if (views.size() != 1 || !views[0]->isVisible() || views[0]->width() != 520)
    problems << "not one 520-wide window";
  if (!views.isEmpty() && (views[0]->sourceFolder() || !views[0]->statusLines().isEmpty()))
    problems << "not initial";
  for (QWidget* window : QApplication::topLevelWidgets())
    window->close();
}

void scheduleInspection() {
  QTimer::singleShot(0, &inspectAndClose);
}
Q_COREAPP_STARTUP_FUNCTION(scheduleInspection)  // runs once the entry has created its application

}  // namespace

int main(int argc, char** argv) {
  if (const int result = OptimizeImagesApp::main(argc, argv); result != 0)
    problems << "returned non-zero";
  for (const QString& problem : problems)
    std::fprintf(stderr, "FAIL: %s\n", qPrintable(problem));
  return problems.isEmpty() ? 0 : 1;
}
