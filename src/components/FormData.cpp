// The form-data reader and writer.
#include "FormData.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>
#include <map>
#include <set>

#include "MediaGraph.h"

namespace {

const QString kObjectKeyword = QStringLiteral("object");
const QString kEndKeyword = QStringLiteral("end");
const QString kHexPrefix = QStringLiteral("hex:");
const QString kIndent = QStringLiteral("  ");

std::map<QString, TComponentFactory>& Classes() {
  static std::map<QString, TComponentFactory> classes = [] {
    std::map<QString, TComponentFactory> builtIn;
    builtIn[QStringLiteral("TComponent")] = [](QWidget*) { return std::make_unique<TComponent>(); };
    builtIn[QStringLiteral("TFilterGraph")] = [](QWidget*) {
      return std::make_unique<TFilterGraph>();
    };
    builtIn[QStringLiteral("TFilter")] = [](QWidget*) { return std::make_unique<TFilter>(); };
    builtIn[QStringLiteral("TSampleGrabber")] = [](QWidget*) {
      return std::make_unique<TSampleGrabber>();
    };
    builtIn[QStringLiteral("TVideoWindow")] = [](QWidget* parent) {
      return std::make_unique<TVideoWindow>(parent);
    };
    return builtIn;
  }();
  return classes;
}

struct StoredValue {
  enum Kind { kWord, kText, kBytes };
  Kind kind = kWord;
  QString text;
  QByteArray bytes;
  int line = 0;
};

struct StoredObject {
  QString name;
  QString className;
  int line = 0;
  std::vector<std::pair<QString, StoredValue>> properties;
};

[[noreturn]] void Fail(const QString& what, int line) {
  throw EReadError(QStringLiteral("Form data, line %1: %2").arg(line).arg(what));
}

bool IsBareWord(const QString& text) {
  static const QRegularExpression word(QStringLiteral("^[A-Za-z0-9_.+\\-]+$"));
  return word.match(text).hasMatch() && !text.startsWith(kHexPrefix);
}

QString Quote(const QString& text) {
  QString out = QStringLiteral("\"");
  for (const QChar c : text) {
    if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
      out += QLatin1Char('\\');
      out += c;
    } else if (c == QLatin1Char('\n')) {
      out += QStringLiteral("\\n");
    } else {
      out += c;
    }
  }
  return out + QLatin1Char('"');
}

StoredValue ParseValue(const QString& raw, int line) {
  StoredValue value;
  value.line = line;
  if (raw.startsWith(kHexPrefix)) {
    const QString digits = raw.mid(kHexPrefix.size());
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
    if (!hex.match(digits).hasMatch()) Fail(QStringLiteral("malformed byte block"), line);
    value.kind = StoredValue::kBytes;
    value.bytes = QByteArray::fromHex(digits.toLatin1());
    return value;
  }
  if (raw.startsWith(QLatin1Char('"'))) {
    value.kind = StoredValue::kText;
    bool closed = false;
    for (qsizetype i = 1; i < raw.size(); ++i) {
      const QChar c = raw[i];
      if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
        const QChar next = raw[++i];
        value.text += next == QLatin1Char('n') ? QChar(QLatin1Char('\n')) : next;
      } else if (c == QLatin1Char('"')) {
        if (i != raw.size() - 1) Fail(QStringLiteral("text after a quoted value"), line);
        closed = true;
      } else {
        value.text += c;
      }
    }
    if (!closed) Fail(QStringLiteral("unterminated text"), line);
    return value;
  }
  if (!IsBareWord(raw)) Fail(QStringLiteral("malformed value '%1'").arg(raw), line);
  value.text = raw;
  return value;
}

std::vector<StoredObject> Parse(const QString& text) {
  std::vector<StoredObject> objects;
  StoredObject* current = nullptr;
  const QStringList lines = text.split(QLatin1Char('\n'));
  for (int i = 0; i < lines.size(); ++i) {
    const int line = i + 1;
    const QString content = lines[i].trimmed();
    if (content.isEmpty() || content.startsWith(QLatin1Char('#'))) continue;
    if (current == nullptr) {
      const QStringList words = content.split(QLatin1Char(' '), Qt::SkipEmptyParts);
      if (words.size() != 3 || words[0] != kObjectKeyword) {
        Fail(QStringLiteral("expected \"object NAME CLASS\""), line);
      }
      objects.push_back({words[1], words[2], line, {}});
      current = &objects.back();
      continue;
    }
    if (content == kEndKeyword) {
      current = nullptr;
      continue;
    }
    const qsizetype equals = content.indexOf(QLatin1Char('='));
    if (equals <= 0) Fail(QStringLiteral("expected \"NAME = VALUE\""), line);
    const QString name = content.left(equals).trimmed();
    current->properties.emplace_back(name, ParseValue(content.mid(equals + 1).trimmed(), line));
  }
  if (current != nullptr) Fail(QStringLiteral("missing \"end\""), current->line);
  return objects;
}

// Hands the stored values to the properties a component declares.
class ReadFiler : public TFiler {
 public:
  ReadFiler(const StoredObject& object, TComponent& root, const std::vector<TComponent*>& others)
      : object_(object), root_(root), others_(others) {}

  TComponent* FindComponentReference(const QString& name) const override {
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 0) return root_.FindComponent(name);
    const QString form = name.left(dot);
    for (TComponent* other : others_) {
      if (other != nullptr && other->Name().compare(form, Qt::CaseInsensitive) == 0) {
        return other->FindComponent(name.mid(dot + 1));
      }
    }
    if (root_.Name().compare(form, Qt::CaseInsensitive) == 0) {
      return root_.FindComponent(name.mid(dot + 1));
    }
    return nullptr;
  }

  void CheckAllUsed() const {
    for (const auto& [name, value] : object_.properties) {
      if (used_.count(name.toLower()) == 0) {
        Fail(QStringLiteral("unknown property '%1' of %2").arg(name, object_.className),
             value.line);
      }
    }
  }

 protected:
  void DoDefineProperty(const QString& fullName, const TextReader& read, const TextWriter&,
                        bool) override {
    const StoredValue* value = Find(fullName);
    if (value == nullptr) return;
    if (value->kind == StoredValue::kBytes) {
      Fail(QStringLiteral("'%1' is not a byte block").arg(fullName), value->line);
    }
    Apply(*value, [&] { read(value->text); });
  }
  void DoDefineBinaryProperty(const QString& fullName, const BinaryReader& read,
                              const BinaryWriter&, bool) override {
    const StoredValue* value = Find(fullName);
    if (value == nullptr) return;
    if (value->kind != StoredValue::kBytes) {
      Fail(QStringLiteral("'%1' must be a byte block").arg(fullName), value->line);
    }
    Apply(*value, [&] { read(value->bytes); });
  }

 private:
  const StoredValue* Find(const QString& fullName) {
    for (const auto& [name, value] : object_.properties) {
      if (name.compare(fullName, Qt::CaseInsensitive) == 0) {
        used_.insert(name.toLower());
        return &value;
      }
    }
    return nullptr;
  }
  template <class F>
  static void Apply(const StoredValue& value, F&& apply) {
    try {
      apply();
    } catch (const EReadError&) {
      throw;
    } catch (const vidorra::Exception& e) {
      Fail(e.Message(), value.line);
    }
  }

  const StoredObject& object_;
  TComponent& root_;
  const std::vector<TComponent*>& others_;
  std::set<QString> used_;
};

// Collects the values a component must store.
class WriteFiler : public TFiler {
 public:
  QStringList lines;

 protected:
  void DoDefineProperty(const QString& fullName, const TextReader&, const TextWriter& write,
                        bool hasData) override {
    if (!hasData) return;
    const QString value = write();
    lines << kIndent + fullName + QStringLiteral(" = ") +
                 (IsBareWord(value) ? value : Quote(value));
  }
  void DoDefineBinaryProperty(const QString& fullName, const BinaryReader&,
                              const BinaryWriter& write, bool hasData) override {
    if (!hasData) return;
    lines << kIndent + fullName + QStringLiteral(" = ") + kHexPrefix +
                 QString::fromLatin1(write().toHex().toUpper());
  }
};

}  // namespace

void RegisterComponentClass(const QString& className, TComponentFactory factory) {
  Classes()[className] = std::move(factory);
}

bool IsComponentClassRegistered(const QString& className) {
  return Classes().count(className) != 0;
}

TFormReader::TFormReader(TComponent& root, std::vector<TComponent*> otherRoots)
    : root_(root), otherRoots_(std::move(otherRoots)) {}

std::vector<TComponent*> TFormReader::Read(const QString& text) {
  const std::vector<StoredObject> objects = Parse(text);
  auto* parentWidget = dynamic_cast<QWidget*>(&root_);
  std::vector<TComponent*> created;
  for (const StoredObject& object : objects) {
    const auto factory = Classes().find(object.className);
    if (factory == Classes().end()) {
      Fail(QStringLiteral("unknown class %1").arg(object.className), object.line);
    }
    if (root_.FindComponent(object.name) != nullptr) {
      Fail(QStringLiteral("a component named %1 already exists").arg(object.name), object.line);
    }
    std::unique_ptr<TComponent> component = factory->second(parentWidget);
    component->SetName(object.name);
    component->BeginLoading();
    created.push_back(root_.Adopt(std::move(component)));
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    ReadFiler filer(objects[i], root_, otherRoots_);
    created[i]->DefineProperties(filer);
    filer.CheckAllUsed();
  }
  for (TComponent* component : created) component->Loaded();
  return created;
}

void TFormReader::ReadProperties(TComponent& component, const QString& propertyLines) {
  const QString text = QStringLiteral("object %1 %2\n%3\nend\n")
                           .arg(component.Name().isEmpty() ? QStringLiteral("_") : component.Name(),
                                component.ClassName(), propertyLines);
  const std::vector<StoredObject> objects = Parse(text);
  ReadFiler filer(objects.front(), root_, otherRoots_);
  component.DefineProperties(filer);
  filer.CheckAllUsed();
}

QString TFormWriter::WriteComponent(TComponent& component) {
  WriteFiler filer;
  component.DefineProperties(filer);
  QStringList out;
  out << QStringLiteral("object %1 %2").arg(component.Name(), component.ClassName());
  out << filer.lines;
  out << kEndKeyword;
  return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString TFormWriter::Write(const TComponent& root) {
  QString out;
  for (int i = 0; i < root.ComponentCount(); ++i) out += WriteComponent(*root.Components(i));
  return out;
}
