// A read-only folder field with a browse button that opens the system's folder dialog.
//
// The user cannot type: the text changes only through the dialog or SetText. Change is emitted
// whenever the text changes (from the dialog or from code), never when it is set to the text it
// already has. The dialog opens at InitialDir. Tests replace the dialog with SetFolderDialog.
// UI thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

namespace vidorra {

class FolderPicker : public QWidget {
  Q_OBJECT

 public:
  // Asks the user for a folder, starting at `startFolder`; an empty result means cancelled.
  using FolderDialog = std::function<QString(QWidget* parent, const QString& startFolder)>;

  explicit FolderPicker(QWidget* parent = nullptr);

  QString Text() const;
  void SetText(const QString& text);
  QString InitialDir() const { return initialDir_; }
  void SetInitialDir(const QString& folder) { initialDir_ = folder; }

  // Replaces the system dialog (QFileDialog::getExistingDirectory); returns the previous one.
  FolderDialog SetFolderDialog(FolderDialog dialog);
  // Opens the dialog as the browse button does; true when a folder was chosen.
  bool Browse();

  QLineEdit* Edit() const { return edit_; }
  QToolButton* BrowseButton() const { return button_; }

 signals:
  void Change();

 private:
  QLineEdit* edit_;
  QToolButton* button_;
  QString initialDir_;
  FolderDialog dialog_;
};

}  // namespace vidorra
