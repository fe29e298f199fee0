// The error panel TErreurFrame (instance ErreurFrame1 on the main window): shows the problems
// found at start-up (or an error that ends the program), with a link that mails the report to
// the maker. See TInfoPanel for how a panel covers the window.
//
// Thread: the UI thread only.
#pragma once

#include <QSize>
#include <QString>

#include "InfoPanel.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TUrlLabel;

class TErreurFrame : public TInfoPanel {
  Q_OBJECT

 public:
  static constexpr QSize kSize{320, 446};

  // A hidden panel on `client`, the main window's client area; the window places it.
  explicit TErreurFrame(QWidget* client);
  ~TErreurFrame() override = default;

  // Shows `message` (lines ending in CR LF) in the panel's text, and as the body of the mail the
  // mail link starts. With `fatal`, "Fermer" also closes the main window.
  void ShowErrorPanel(const QString& message, bool fatal);
  void FermerErreurBtnClick();

  // The panel's text for `message`: the heading line, the message and the closing paragraphs.
  static QString ErrorText(const QString& message, bool fatal);

  // The error on show ends the program when the panel closes.
  bool ErrorIsFatal = false;

  // In their declared order.
  TUrlLabel* UrlLabel1 = nullptr;  // the maker's home page
  TUrlLabel* UrlLabel2 = nullptr;  // the report by mail
  QLabel* RxLabel1 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Image2 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* FermerErreurBtn = nullptr;
};
