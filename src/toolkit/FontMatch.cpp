#include "FontMatch.h"

#include <QApplication>
#include <QFontDatabase>
#include <array>
#include <string_view>

namespace vidorra {

namespace {

struct FontPreference {
  std::string_view family;
  std::array<std::string_view, 5> nearest;
};

// Metric-compatible or look-alike families first (the package depends on Liberation Sans and
// Roboto Slab), then what a Debian desktop always has.
constexpr std::array<FontPreference, 4> kFontPreferences = {{
    {"MS Sans Serif",
     {"Microsoft Sans Serif", "Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans"}},
    {"Arial", {"Liberation Sans", "Arimo", "Nimbus Sans", "Helvetica", "DejaVu Sans"}},
    {"Rockwell", {"Roboto Slab", "Zilla Slab", "URW Bookman", "DejaVu Serif", "Nimbus Roman"}},
    {"Courier New", {"Liberation Mono", "Cousine", "Nimbus Mono PS", "DejaVu Sans Mono", ""}},
}};

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Installed families without the foundry that QFontDatabase appends when a family comes from
// several foundries ("Nimbus Sans [urw]").
QStringList InstalledFamilies() {
  QStringList families;
  for (QString family : QFontDatabase::families()) {
    const qsizetype foundry = family.indexOf(QLatin1String(" ["));
    if (foundry > 0) family.truncate(foundry);
    if (!families.contains(family)) families << family;
  }
  return families;
}

}  // namespace

QString NearestFontFamily(const QString& family) {
  const QStringList installed = InstalledFamilies();
  if (installed.contains(family, Qt::CaseInsensitive)) return family;
  for (const FontPreference& preference : kFontPreferences) {
    if (family.compare(FromView(preference.family), Qt::CaseInsensitive) != 0) continue;
    for (std::string_view candidate : preference.nearest) {
      if (!candidate.empty() && installed.contains(FromView(candidate), Qt::CaseInsensitive)) {
        return FromView(candidate);
      }
    }
  }
  return QApplication::font().family();
}

QFont NearestFont(const QString& family, int pixelSize, bool bold) {
  QFont font(NearestFontFamily(family));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

}  // namespace vidorra
