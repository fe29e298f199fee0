// TPersistent and TFiler: objects whose properties are kept in the form data. A persistent
// object declares its stored properties to a filer (DefineProperties); the form-data reader
// gives each declared property its stored value, the writer asks for the values it must store.
// Byte-block properties (a media type, a moniker) travel as whole byte arrays.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "Exception.h"

class TFiler;
class TComponent;

class TPersistent {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;
  virtual ~TPersistent() = default;

  // Copies `source` into this object; the base hands the copy to source.AssignTo, which raises
  // EConvertError when no class knows how to copy.
  virtual void Assign(const TPersistent& source);
  virtual void DefineProperties(TFiler& filer);

 protected:
  virtual void AssignTo(TPersistent& dest) const;
};

// Raised when a value cannot be copied or converted.
class EConvertError : public vidorra::Exception {
 public:
  using vidorra::Exception::Exception;
};

// Raised when stored data cannot be read (truncated or malformed).
class EReadError : public vidorra::Exception {
 public:
  using vidorra::Exception::Exception;
};

class TFiler {
 public:
  using TextReader = std::function<void(const QString& value)>;
  using TextWriter = std::function<QString()>;
  using BinaryReader = std::function<void(const QByteArray& value)>;
  using BinaryWriter = std::function<QByteArray()>;

  virtual ~TFiler() = default;

  // The same object in the ancestor the data is compared with, or null (then every property
  // that has data is written).
  const TPersistent* Ancestor() const { return ancestor_; }

  // A property stored as text; `hasData` false means the writer leaves it out.
  void DefineProperty(const QString& name, const TextReader& read, const TextWriter& write,
                      bool hasData);
  // A byte-block property.
  void DefineBinaryProperty(const QString& name, const BinaryReader& read,
                            const BinaryWriter& write, bool hasData);
  // The properties of an owned sub-object, stored as "<name>.<property>".
  void DefinePersistent(const QString& name, TPersistent& object,
                        const TPersistent* ancestor = nullptr);

  // The component a stored reference names ("name" in the same form, "form.name" in another),
  // or null. Only a reader resolves references.
  virtual TComponent* FindComponentReference(const QString& name) const;
  // The text that names `target` from `from` (qualified by the form when the two belong to
  // different forms); empty for null.
  static QString ComponentReferenceName(const TComponent* target, const TComponent* from);

 protected:
  virtual void DoDefineProperty(const QString& fullName, const TextReader& read,
                                const TextWriter& write, bool hasData) = 0;
  virtual void DoDefineBinaryProperty(const QString& fullName, const BinaryReader& read,
                                      const BinaryWriter& write, bool hasData) = 0;

 private:
  QString prefix_;
  const TPersistent* ancestor_ = nullptr;
};
