#include "Persistent.h"

#include <utility>

void TPersistent::Assign(const TPersistent& source) { source.AssignTo(*this); }

void TPersistent::DefineProperties(TFiler&) {}

void TPersistent::AssignTo(TPersistent&) const {
  throw EConvertError(QStringLiteral("Cannot assign this object to the destination object."));
}

void TFiler::DefineProperty(const QString& name, const TextReader& read, const TextWriter& write,
                            bool hasData) {
  DoDefineProperty(prefix_ + name, read, write, hasData);
}

void TFiler::DefineBinaryProperty(const QString& name, const BinaryReader& read,
                                  const BinaryWriter& write, bool hasData) {
  DoDefineBinaryProperty(prefix_ + name, read, write, hasData);
}

void TFiler::DefinePersistent(const QString& name, TPersistent& object,
                              const TPersistent* ancestor) {
  const QString savedPrefix = std::exchange(prefix_, prefix_ + name + QLatin1Char('.'));
  const TPersistent* savedAncestor = std::exchange(ancestor_, ancestor);
  try {
    object.DefineProperties(*this);
  } catch (...) {
    prefix_ = savedPrefix;
    ancestor_ = savedAncestor;
    throw;
  }
  prefix_ = savedPrefix;
  ancestor_ = savedAncestor;
}
