#pragma once

#include <QWidget>
#include <filesystem>
#include <optional>

class QLabel;
class QPushButton;

// One folder of the window: its label, the path (or "Not selected") and "Choose…"; one folder dropped on it
// counts too. A long path is shortened in the middle, whole in its tooltip and accessible description.
class FolderRow : public QWidget {
  Q_OBJECT

 public:
  explicit FolderRow(const QString& label, QWidget* parent = nullptr);

  // nullopt shows "Not selected" in the theme's de-emphasised text colour.
  void setPath(const std::optional<QString>& path);
  // Whether a folder can be chosen now, with the button or by a drop; the path stays readable either way.
  void setChoosable(bool choosable);

 signals:
  void chooseRequested();
  void folderDropped(const std::filesystem::path& folder);
  // Something other than one local folder was dropped: `why`, in one line.
  void dropRefused(const QString& why);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void showPath();

  QLabel* path_;
  QPushButton* choose_;
  QString fullPath_;
};
