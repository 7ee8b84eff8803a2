// The settings of the real folder dialog. The dialog is configured but never opened.
#include <QFileDialog>
#include <QTest>

#include "file_dialog_folder_chooser.h"

class FileDialogFolderChooserTest : public QObject {
  Q_OBJECT

 private slots:
  void foldersOnlyExactlyOneModal();
};

void FileDialogFolderChooserTest::foldersOnlyExactlyOneModal() {
  QWidget window;
  QFileDialog dialog(&window);
  FileDialogFolderChooser::configure(dialog);
  QCOMPARE(dialog.fileMode(), QFileDialog::Directory);  // one existing folder, never files
  QVERIFY(dialog.testOption(QFileDialog::ShowDirsOnly));
  QVERIFY(dialog.windowModality() != Qt::NonModal);
  QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
}

QTEST_MAIN(FileDialogFolderChooserTest)
#include "tst_file_dialog_folder_chooser.moc"
