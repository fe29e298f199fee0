// The name rules shared by the window's builders and the recording's file namer: a name is
// taken when anything is on disk under it, and the first free one of a numbered series uses up
// every number it tries. Any thread.
#pragma once

#include <QFileInfo>
#include <QString>
#include <cstdint>
#include <limits>

namespace vidorra {

// True when something is on disk under `name` (a dangling link counts: writing would follow it).
inline bool Taken(const QString& name) {
  const QFileInfo info(name);
  return info.exists() || info.isSymLink();
}

// The first name from `stem` + numberText(counter) + `extension` not taken on disk; uses up every
// number it tries.
template <typename NumberText>
QString FirstFreeName(const QString& stem, std::int32_t& counter, const QString& extension,
                      NumberText numberText) {
  QString name;
  do {
    name = stem + numberText(counter) + extension;
    if (counter == std::numeric_limits<std::int32_t>::max()) break;  // nothing left to try
    ++counter;
  } while (Taken(name));
  return name;
}

}  // namespace vidorra
