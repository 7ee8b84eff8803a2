#include "optimize_images_app.h"

#include <QApplication>
#include <memory>

#include "desktop_identity.h"
#include "file_dialog_folder_chooser.h"
#include "optimize_content_view.h"

int OptimizeImagesApp::main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvolin"));
  DesktopIdentity::apply();
  OptimizeContentView window(std::make_unique<FileDialogFolderChooser>());
  window.show();
  // Ends when the window is closed; the window's destructor then waits for a stopped run.
  return QApplication::exec();
}
