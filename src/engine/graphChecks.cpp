// TdmCam's environment checks: whether a filter is installed, binding a filter by its names,
// and the DirectX version text.
#include "MediaUtil.h"
#include "RegistryKey.h"
#include "graph.h"

namespace {

constexpr const char* kDirectXKey = "\\Software\\Microsoft\\DirectX";
constexpr const char* kDirectXVersionValue = "Version";
constexpr const char* kNoVersion = "Erreur";
// The last character of the version becomes a letter: its code plus this offset ('1' -> 'a').
constexpr char16_t kLetterOffset = 0x30;

// Lower-cases the letters A to Z only, as the names are compared.
QString AsciiLower(const QString& text) {
  QString out = text;
  for (QChar& c : out) {
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() + ('a' - 'A'));
  }
  return out;
}

// The index of the first category, then of the first filter in it, whose friendly names match;
// false when either is missing. `devices` is left on the found category.
bool FindFilter(TSysDevEnum& devices, const QString& category, const QString& name, int& index) {
  const QString wantedCategory = AsciiLower(category);
  int categoryIndex = -1;
  for (int i = 0; i < devices.CategoryCount() && categoryIndex < 0; ++i) {
    if (AsciiLower(devices.CategoryAt(i).FriendlyName) == wantedCategory) categoryIndex = i;
  }
  if (categoryIndex < 0) return false;
  devices.SelectCategoryAt(categoryIndex);
  const QString wantedName = AsciiLower(name);
  for (int i = 0; i < devices.DeviceCount(); ++i) {
    if (AsciiLower(devices.DeviceAt(i).FriendlyName) == wantedName) {
      index = i;
      return true;
    }
  }
  return false;
}

// A decimal integer as the version text holds it: optional leading blanks and sign, digits,
// nothing after them. Raises EConvertError for anything else, an empty text included.
int32_t StrToInt(const QString& text) {
  bool ok = false;
  const int32_t value = text.isEmpty() || text.back().isSpace() ? 0 : text.toInt(&ok, 10);
  if (!ok) throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
  return value;
}

// Deletes everything up to and including the first '.' (nothing when there is none).
void DeleteThroughDot(QString& text) { text.remove(0, text.indexOf(QLatin1Char('.')) + 1); }

// The characters before the next '.' (empty when there is none).
QString BeforeDot(const QString& text) {
  const qsizetype dot = text.indexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : text.left(dot);
}

// The registry's DirectX version, or "Erreur" when the key cannot be opened.
QString ReadDirectXVersion() {
  RegistryKey key;
  if (!key.OpenReadOnly(HKEY_LOCAL_MACHINE, kDirectXKey)) return QString::fromLatin1(kNoVersion);
  return key.ReadString(kDirectXVersionValue);
}

}  // namespace

bool TdmCam::IsFilterInstalled(const QString& category, const QString& name) {
  TSysDevEnum devices;
  int index = 0;
  return FindFilter(devices, category, name, index);
}

bool TdmCam::BindFilterByName(const QString& category, const QString& name, TFilter* filter) {
  TSysDevEnum devices;
  int index = 0;
  if (filter == nullptr || !FindFilter(devices, category, name, index)) return false;
  ComPtr<IMoniker> moniker = devices.DeviceMoniker(index);
  if (!moniker) return false;
  filter->BaseFilter().SetMoniker(moniker.Get());
  return true;
}

void TdmCam::GetDirectXVersion(QString& text) {
  text = QString::fromLatin1(kNoVersion);
  QString rest = ReadDirectXVersion();
  // "4.09.00.0904": the second and third parts are the version, the last character its letter.
  DeleteThroughDot(rest);
  const int32_t major = StrToInt(BeforeDot(rest));
  DeleteThroughDot(rest);
  // Held as a 16-bit value. The text left still holds the dot that ended it, so it has a last
  // character.
  const auto minor = static_cast<uint16_t>(StrToInt(BeforeDot(rest)));
  const char16_t code = static_cast<char16_t>(rest.back().unicode() + kLetterOffset);
  const QChar letter = code < u'a' ? QLatin1Char(' ') : QChar(code);
  text = QString::number(major) + QLatin1Char('.') + QString::number(minor) + letter;
}
