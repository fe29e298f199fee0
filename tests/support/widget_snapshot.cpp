#include "widget_snapshot.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTabWidget>

namespace vidorra::test {
namespace {

// The properties that tell what a widget shows and how it takes the focus, of those it has
// (false and empty ones left out), then its icon if any, its tabs, its menu's items or its list's.
constexpr const char* kShown[] = {"windowTitle", "title",   "text",    "plainText",
                                  "currentText", "minimum", "maximum", "singleStep",
                                  "value",       "checked", "toolTip", "focusPolicy"};

// One line a widget, children indented under their parent, in the order they were made.
void Describe(const QWidget& widget, int depth, const QRegularExpression& varying,
              QStringList* lines) {
  // Qt's own parts of a widget (a spin box's edit, a tab widget's stack) are not described,
  // their children are; scroll bars, placed as the text they scroll is laid out, not at all.
  if (qobject_cast<const QScrollBar*>(&widget)) return;
  const bool own = !widget.objectName().startsWith(QLatin1String("qt_"));
  if (own) {
    // A window's place is the screen's choice: its size alone.
    const QRect r = widget.geometry();
    QString line = QString(depth * 2, u' ') + QString::fromLatin1(widget.metaObject()->className());
    if (!widget.objectName().isEmpty()) line += u' ' + widget.objectName();
    if (!widget.isWindow()) line += QStringLiteral(" %1,%2").arg(r.x()).arg(r.y());
    line += QStringLiteral(" %1x%2").arg(r.width()).arg(r.height());
    if (widget.isHidden()) line += QStringLiteral(" hidden");
    if (!widget.isEnabled()) line += QStringLiteral(" disabled");
    QStringList shown;
    for (const char* name : kShown) {
      const QVariant value = widget.property(name);
      if (value.typeId() == QMetaType::Bool ? value.toBool() : !value.toString().isEmpty()) {
        shown << name + (u'=' + value.toString());
      }
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
      if (!button->icon().isNull()) shown << QStringLiteral("icon");
    }
    if (const auto* tabs = qobject_cast<const QTabWidget*>(&widget)) {
      for (int i = 0; i < tabs->count(); ++i) shown << "tab=" + tabs->tabText(i);
    }
    for (const QAction* action : widget.actions()) {
      shown << "item=" + action->text() + (action->isChecked() ? "*" : "") +
                   (action->isEnabled() ? "" : " (disabled)");
    }
    if (const auto* list = qobject_cast<const QComboBox*>(&widget)) {
      for (int i = 0; i < list->count(); ++i) shown << "item=" + list->itemText(i);
    }
    for (QString text : shown) {
      text.replace(QDir::homePath(), "~").replace(u'\n', "\\n").replace(u'\r', "\\r");
      line += " [" + (varying.pattern().isEmpty() ? text : text.replace(varying, "*")) + ']';
    }
    const QFont& font = widget.font();
    if (!widget.parentWidget() || font != widget.parentWidget()->font()) {
      line += font.pixelSize() > 0 ? QStringLiteral(" %1px").arg(font.pixelSize())
                                   : QStringLiteral(" %1pt").arg(font.pointSizeF());
      line +=
          (font.bold() ? QStringLiteral(" bold ") : QStringLiteral(" ")) + QFontInfo(font).family();
    }
    // Colours unlike the parent's.
    for (const QPalette::ColorRole role : {widget.foregroundRole(), widget.backgroundRole()}) {
      const QColor colour = widget.palette().color(role);
      if (!widget.parentWidget() || colour != widget.parentWidget()->palette().color(role))
        line += (role == widget.backgroundRole() ? " on " : " text ") + colour.name();
    }
    lines->append(line);
  }
  for (const QWidget* child : widget.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!child->isWindow() || !child->actions().isEmpty()) {
      Describe(*child, depth + (own ? 1 : 0), varying, lines);
    }
  }
}

}  // namespace

void ExpectSnapshot(const QWidget& root, const QString& name, const QRegularExpression& varying) {
  const QString path = QStringLiteral(VIDORRA_SOURCE_DIR "/tests/snapshots/") + name + ".txt";
  QStringList lines;
  Describe(root, 0, varying, &lines);
  const QString described = lines.join(u'\n') + u'\n';
  QFile file(path);
  if (qEnvironmentVariableIntValue("VIDORRA_RECORD_SNAPSHOTS") == 1) {
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(described.toUtf8()) >= 0)
        << path.toStdString();
    return;
  }
  ASSERT_TRUE(file.open(QIODevice::ReadOnly))
      << path.toStdString() << " missing: record it with VIDORRA_RECORD_SNAPSHOTS=1";
  const QStringList recorded = QString::fromUtf8(file.readAll()).split(u'\n');
  const QStringList shown = described.split(u'\n');
  for (qsizetype i = 0; i < std::max(recorded.size(), shown.size()); ++i) {
    if (recorded.value(i) != shown.value(i)) {
      ADD_FAILURE() << path.toStdString() << ", line " << i + 1
                    << ":\n  recorded: " << recorded.value(i).toStdString()
                    << "\n  shown:    " << shown.value(i).toStdString();
      return;
    }
  }
}

}  // namespace vidorra::test
