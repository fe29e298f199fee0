// TPersistentMemory and TBaseFilter: byte blocks in the form data and stored monikers.
#include <algorithm>

#include "LittleEndian.h"
#include "MediaUtil.h"

void TPersistentMemory::AllocateBlock(uint32_t length) {
  block_ = length > 0 ? QByteArray(static_cast<qsizetype>(length), '\0') : QByteArray();
}

bool TPersistentMemory::SameBlockAs(const TPersistentMemory& other) const {
  return !block_.isEmpty() && !other.block_.isEmpty() && block_ == other.block_;
}

void TPersistentMemory::Assign(const TPersistent& source) {
  if (const auto* memory = dynamic_cast<const TPersistentMemory*>(&source)) {
    if (memory != this) block_ = QByteArray(memory->block_.constData(), memory->block_.size());
    return;
  }
  TPersistent::Assign(source);
}

void TPersistentMemory::DefineProperties(TFiler& filer) {
  const auto* ancestor = dynamic_cast<const TPersistentMemory*>(filer.Ancestor());
  // An empty block is always written: "no moniker" must survive an ancestor that has one.
  const bool hasData = ancestor == nullptr || !SameBlockAs(*ancestor);
  filer.DefineBinaryProperty(
      QStringLiteral("data"), [this](const QByteArray& value) { ReadData(value); },
      [this] { return WriteData(); }, hasData);
}

QByteArray TPersistentMemory::WriteData() const {
  QByteArray out;
  vidorra::le::PutU32(out, Size());  // 0: length of the block
  out.append(block_);                // 4: the block
  return out;
}

void TPersistentMemory::ReadData(const QByteArray& data) {
  vidorra::le::Reader in(data);
  const uint32_t length = in.U32();
  const QByteArray block = length > 0 ? in.Bytes(static_cast<qsizetype>(length)) : QByteArray();
  AllocateBlock(length);
  if (length > 0) block_ = block;
}

ComPtr<IMoniker> TBaseFilter::Moniker() const {
  if (Size() == 0) return nullptr;
  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf())) || !stream) {
    return nullptr;
  }
  ULONG written = 0;
  if (FAILED(stream->Write(Block().constData(), Size(), &written)) || written != Size()) {
    return nullptr;
  }
  LARGE_INTEGER start{};
  if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return nullptr;
  ComPtr<IMoniker> moniker;
  if (FAILED(OleLoadFromStream(stream.Get(), IID_IMoniker, moniker.ReleaseAndGetVoidAddressOf()))) {
    return nullptr;
  }
  return moniker;
}

void TBaseFilter::SetMoniker(IMoniker* moniker) {
  if (moniker == nullptr) {
    AllocateBlock(0);
    return;
  }
  ComPtr<IStream> stream;
  CheckGraphResult(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf()));
  // A moniker that cannot be saved must not leave a partial image behind: the block would
  // then load as nothing, or as something else, the next time the form is read.
  CheckGraphResult(OleSaveToStream(moniker, stream.Get()));
  STATSTG stat{};
  CheckGraphResult(stream->Stat(&stat, STATFLAG_NONAME));
  const auto size = static_cast<uint32_t>(stat.cbSize.QuadPart);
  LARGE_INTEGER start{};
  CheckGraphResult(stream->Seek(start, STREAM_SEEK_SET, nullptr));
  QByteArray image(static_cast<qsizetype>(size), '\0');
  ULONG read = 0;
  CheckGraphResult(stream->Read(image.data(), size, &read));
  if (read != size) CheckGraphResult(STG_E_READFAULT);
  AllocateBlock(size);
  if (size > 0) std::copy(image.cbegin(), image.cend(), reinterpret_cast<char*>(Data()));
}

ComPtr<IBaseFilter> TBaseFilter::BindFilter() const {
  ComPtr<IMoniker> moniker = Moniker();
  if (!moniker) return nullptr;
  ComPtr<IBaseFilter> filter;
  if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                   filter.ReleaseAndGetVoidAddressOf()))) {
    return nullptr;
  }
  return filter;
}
