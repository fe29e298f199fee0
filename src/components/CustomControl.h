// TCustomControl: a component that is also a Qt widget (the windowed-control variant of
// TComponent). Its component owner frees it like any component; when its parent widget is
// destroyed first, Qt frees it and it leaves its owner's list on the way (~TComponent), so
// neither side frees it twice. UI thread only.
#pragma once

#include <QMenu>
#include <QPointer>
#include <QWidget>

#include "Component.h"

class TCustomControl : public QWidget, public TComponent {
  Q_OBJECT

 public:
  explicit TCustomControl(QWidget* parent = nullptr);
  ~TCustomControl() override;

  QString ClassName() const override { return QStringLiteral("TCustomControl"); }

  // The pop-up menu shown on a right click (not owned; may be null) and whether it opens by
  // itself.
  QMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool value) { autoPopup_ = value; }

  // The control's colour (its background).
  QColor Color() const;
  void SetColor(const QColor& color);

 private:
  QPointer<QMenu> popupMenu_;
  bool autoPopup_ = true;
};
