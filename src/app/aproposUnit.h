// The about panel TAproposFrame (instance AproposFrame1 on the main window), opened by the
// button "A propos...": the program's name and version, the about text, the links to the
// maker's home page and mail, a picture and the program icon. See TInfoPanel for how a panel
// covers the window.
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

class TAproposFrame : public TInfoPanel {
  Q_OBJECT

 public:
  static constexpr QSize kSize{300, 408};

  // A hidden panel on `client`, the main window's client area; the window places it.
  explicit TAproposFrame(QWidget* client);
  ~TAproposFrame() override = default;

  void ShowAboutPanel();
  void FermerBtnClick();

  // The five paragraphs of the about text, separated by an empty line (CR LF line breaks).
  static QString AboutText();

  // In their declared order.
  TUrlLabel* UrlLabel1 = nullptr;  // the maker's home page
  QPlainTextEdit* Memo1 = nullptr;
  TUrlLabel* UrlLabel2 = nullptr;  // mail to the maker
  QLabel* RxLabel1 = nullptr;
  QPushButton* FermerBtn = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Image2 = nullptr;
};
