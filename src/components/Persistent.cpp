#include "Persistent.h"

#include <utility>

#include "Component.h"

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

TComponent* TFiler::FindComponentReference(const QString&) const { return nullptr; }

QString TFiler::ComponentReferenceName(const TComponent* target, const TComponent* from) {
  if (target == nullptr) return QString();
  if (from != nullptr && target->Owner() == from->Owner()) return target->Name();
  if (target->Owner() != nullptr && !target->Owner()->Name().isEmpty()) {
    return target->Owner()->Name() + QLatin1Char('.') + target->Name();
  }
  return target->Name();
}
