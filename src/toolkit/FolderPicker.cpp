#include "FolderPicker.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>
#include <utility>

#include "HandlerGuard.h"

namespace vidorra {

namespace {

constexpr int kButtonWidth = 22;
constexpr const char* kBrowseCaption = "...";

QString SystemFolderDialog(QWidget* parent, const QString& startFolder) {
  return QFileDialog::getExistingDirectory(parent, QString(), startFolder,
                                           QFileDialog::ShowDirsOnly);
}

}  // namespace

FolderPicker::FolderPicker(QWidget* parent)
    : QWidget(parent),
      edit_(new QLineEdit(this)),
      button_(new QToolButton(this)),
      dialog_(SystemFolderDialog) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  edit_->setReadOnly(true);
  button_->setText(QString::fromLatin1(kBrowseCaption));
  button_->setFixedWidth(kButtonWidth);
  layout->addWidget(edit_);
  layout->addWidget(button_);
  Connect(button_, &QToolButton::clicked, this, [this] { Browse(); });
}

QString FolderPicker::Text() const { return edit_->text(); }

void FolderPicker::SetText(const QString& text) {
  if (text == edit_->text()) return;
  edit_->setText(text);
  edit_->setCursorPosition(0);
  emit Change();
}

FolderPicker::FolderDialog FolderPicker::SetFolderDialog(FolderDialog dialog) {
  return std::exchange(dialog_, std::move(dialog));
}

bool FolderPicker::Browse() {
  if (!dialog_) return false;
  const QString start = initialDir_.isEmpty() ? edit_->text() : initialDir_;
  const QString chosen = dialog_(this, start);
  if (chosen.isEmpty()) return false;
  SetText(chosen);
  return true;
}

}  // namespace vidorra
