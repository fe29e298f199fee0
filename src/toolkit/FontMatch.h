// Fonts named by the window layout that Linux usually lacks are replaced by the nearest
// installed family (same style of face: sans, slab serif...), from a fixed preference table.
// UI thread only (QFontDatabase).
#pragma once

#include <QFont>
#include <QString>

namespace vidorra {

// The family to use for `family`: itself when installed, else the first installed family of
// its preference list, else the application's default family.
QString NearestFontFamily(const QString& family);

// A font of the nearest family at `pixelSize` pixels, bold when asked.
QFont NearestFont(const QString& family, int pixelSize, bool bold = false);

}  // namespace vidorra
