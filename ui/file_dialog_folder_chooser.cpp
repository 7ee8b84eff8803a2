#include "file_dialog_folder_chooser.h"

#include <QFile>
#include <QFileDialog>

void FileDialogFolderChooser::configure(QFileDialog& dialog) {
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setWindowModality(Qt::WindowModal);
}

std::optional<std::filesystem::path> FileDialogFolderChooser::chooseFolder(QWidget* parent) {
  QFileDialog dialog(parent);
  configure(dialog);
  if (dialog.exec() != QDialog::Accepted)
    return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.size() != 1 || chosen.front().isEmpty())
    return std::nullopt;
  return std::filesystem::path(QFile::encodeName(chosen.front()).toStdString());
}
