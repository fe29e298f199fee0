// Unit MediaUtil: the small tools the graph components and the graph builders share.
//
// - CheckGraphResult / GraphErrorText / EMediaGraphException: a failed DirectShow result becomes
//   an exception carrying the system's text for it and the code.
// - CopyMediaTypeRecord / FreeMediaTypeRecord and TMediaType: the media-type record and its
//   persisted "data" form (72-byte 32-bit record written field by field, then the format
//   block).
// - TFilterList / TPinList: the filters of a graph and the pins of a filter, by index.
// - RegisterGraphInRot / RevokeGraphFromRot: a graph made visible to outside viewers.
// - TPersistentMemory / TBaseFilter: a byte block kept in the form data; a saved moniker.
// - TSysDevEnum / TDeviceEntry: the system device enumerator's categories and devices.
//
// Everything here runs on the user-interface thread.
#pragma once

#include <comptr.h>
#include <dshow.h>
#include <qedit.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Exception.h"
#include "Persistent.h"

// ---- Errors ----------------------------------------------------------------------------------

class EMediaGraphException : public vidorra::Exception {
 public:
  EMediaGraphException(QString message, HRESULT errorCode)
      : vidorra::Exception(std::move(message)), errorCode_(errorCode) {}
  // The HRESULT that caused the exception.
  int32_t ErrorCode() const { return errorCode_; }

 private:
  int32_t errorCode_;
};

// Raised for an index outside a list.
class EListError : public vidorra::Exception {
 public:
  using vidorra::Exception::Exception;
};

// Returns hr when it is a success code (S_FALSE included); raises EMediaGraphException with
// "<error text> ($XXXXXXXX)." and ErrorCode hr otherwise.
HRESULT CheckGraphResult(HRESULT hr);
// The system's text for hr (at most 255 characters); empty when it knows none.
QString GraphErrorText(HRESULT hr);

// ---- Media types -----------------------------------------------------------------------------

// Deep copy of a media-type record: a new format block (CoTaskMemAlloc) and a new reference to
// pUnk. dest must not be src. When the block cannot be allocated, dest gets no format block.
void CopyMediaTypeRecord(AM_MEDIA_TYPE& dest, const AM_MEDIA_TYPE& src);
// Frees the format block (CoTaskMemFree) and releases pUnk; the record itself stays.
void FreeMediaTypeRecord(AM_MEDIA_TYPE& mt);

// Size of the persisted media-type record (the 32-bit layout), before the format block.
inline constexpr uint32_t kMediaTypeRecordSize = 72;

class TMediaType : public TPersistent {
 public:
  // A zero-filled record with fixed-size samples and a sample size of 1.
  TMediaType();
  ~TMediaType() override;

  static std::unique_ptr<TMediaType> CreateForMajorType(const GUID& majorType);

  // The owned record, passed as it is to the platform (e.g. ISampleGrabber::SetMediaType).
  AM_MEDIA_TYPE* AmMediaType() { return &record_; }
  const AM_MEDIA_TYPE* AmMediaType() const { return &record_; }

  void SetMajorType(const GUID& value) { record_.majortype = value; }
  void SetSubType(const GUID& value) { record_.subtype = value; }
  void SetFormatType(const GUID& value) { record_.formattype = value; }
  const GUID& MajorType() const { return record_.majortype; }
  const GUID& SubType() const { return record_.subtype; }
  const GUID& FormatType() const { return record_.formattype; }

  uint32_t FormatLength() const { return record_.cbFormat; }
  // Replaces the format block with a copy of `data`.
  void SetFormat(const void* data, uint32_t length);
  // Frees the format block: cbFormat and pbFormat become 0.
  void ResetFormat();

  // Same major type, subtype, format type and format block (the sample flags and size are not
  // compared). A null `other` is never the same.
  bool SameAs(const TMediaType* other) const;

  void Assign(const TPersistent& source) override;
  // One byte-block property "data", written unless the ancestor's value is SameAs this one.
  void DefineProperties(TFiler& filer) override;

  // The persisted "data" form: the 72-byte record (pointer slots zero), then the format block.
  QByteArray WriteData() const;
  // Reads the persisted form; raises EReadError when it is truncated.
  void ReadData(const QByteArray& data);

 private:
  AM_MEDIA_TYPE record_{};
};

// ---- Interface lists -------------------------------------------------------------------------

class TFilterList {
 public:
  TFilterList() = default;
  // All filters of `graph` in enumeration order (empty for a null or empty graph).
  static TFilterList CreateFromGraph(IFilterGraph* graph);

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EListError outside 0..Count-1.
  ComPtr<IBaseFilter> FilterAt(int index) const;
  // Clears info, then asks the filter; the caller releases info.pGraph.
  void FilterInfoAt(int index, FILTER_INFO& info) const;
  // The filter's name in its graph (empty when it has none).
  QString FilterNameAt(int index) const;
  int Add(IBaseFilter* filter);
  // Removes the first entry that is the same object as `filter`; its former index, or -1.
  int Remove(IBaseFilter* filter);
  int IndexOf(IBaseFilter* filter) const;
  const ComPtr<IFilterGraph>& Graph() const { return graph_; }

 private:
  ComPtr<IFilterGraph> graph_;
  std::vector<ComPtr<IBaseFilter>> items_;
};

class TPinList {
 public:
  TPinList() = default;
  // All pins of `filter` in the filter's order (empty for a null filter or one without pins).
  static TPinList CreateFromFilter(IBaseFilter* filter);

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EListError outside 0..Count-1.
  ComPtr<IPin> PinAt(int index) const;
  // Reads the list again from the filter.
  void Refresh();
  const ComPtr<IBaseFilter>& Filter() const { return filter_; }

 private:
  ComPtr<IBaseFilter> filter_;
  std::vector<ComPtr<IPin>> items_;
};

// ---- Running object table --------------------------------------------------------------------

// The item name under which a graph is registered: "FilterGraph <address> pid <pid>", the
// address in full (16 upper-case hexadecimal digits) so that two graphs never share a name.
QString GraphRotName(const void* graph);
HRESULT RegisterGraphInRot(IUnknown* graph, DWORD* cookie);
void RevokeGraphFromRot(DWORD cookie);

// ---- Byte blocks and stored monikers ---------------------------------------------------------

// A byte block kept in the form data as the property "data": a 32-bit little-endian length L,
// then L bytes. Written unless the ancestor holds an equal, non-empty block.
class TPersistentMemory : public TPersistent {
 public:
  TPersistentMemory() = default;

  // Frees the old block and makes a zero-filled one of `length` bytes (none for 0).
  void AllocateBlock(uint32_t length);
  uint32_t Size() const { return static_cast<uint32_t>(block_.size()); }
  const QByteArray& Block() const { return block_; }
  uint8_t* Data() { return reinterpret_cast<uint8_t*>(block_.data()); }
  // True when both blocks are non-empty, of one length and equal byte for byte.
  bool SameBlockAs(const TPersistentMemory& other) const;

  void Assign(const TPersistent& source) override;
  void DefineProperties(TFiler& filer) override;

  QByteArray WriteData() const;
  // Raises EReadError when the value is shorter than it says.
  void ReadData(const QByteArray& data);

 private:
  QByteArray block_;
};

// A stored moniker: the block holds the image OleSaveToStream writes for it (the moniker's
// class identifier, then its own saved state).
class TBaseFilter : public TPersistentMemory {
 public:
  // The moniker loaded from the block; null when the block is empty or cannot be loaded.
  ComPtr<IMoniker> Moniker() const;
  // Stores the moniker's saved image (raises EMediaGraphException when it cannot be saved,
  // leaving the block as it was); null empties the block.
  void SetMoniker(IMoniker* moniker);
  // A new filter bound from the stored moniker, or null.
  ComPtr<IBaseFilter> BindFilter() const;
};

// ---- System device enumerator ----------------------------------------------------------------

// Longest friendly name a device entry keeps, in characters (Unicode code points).
inline constexpr int kFriendlyNameMaxLength = 255;

struct TDeviceEntry {
  // The property-bag value "FriendlyName", cut to 255 characters, never inside one.
  QString FriendlyName;
  // The property-bag value "CLSID"; GUID_NULL when the bag has none.
  GUID CLSID = GUID_NULL;
};

// Cuts text to at most `maxCharacters` code points. The cut never falls inside a character:
// not between the halves of a surrogate pair, nor between a letter and the accents that
// combine with it (the whole letter goes).
QString CutToCharacters(const QString& text, int maxCharacters);

class TSysDevEnum {
 public:
  // The category list from CLSID_ActiveMovieCategories; no current category.
  TSysDevEnum();
  // As the default constructor, then SelectCategory(category).
  explicit TSysDevEnum(const GUID& category);

  // The current category becomes `category`; the device list is read from it.
  void SelectCategory(const GUID& category);
  void SelectCategoryAt(int index);
  const GUID& Category() const { return category_; }

  int CategoryCount() const { return static_cast<int>(categories_.size()); }
  int DeviceCount() const { return static_cast<int>(devices_.size()); }
  // Copies of the entries; raise EListError outside the list.
  TDeviceEntry CategoryAt(int index) const;
  TDeviceEntry DeviceAt(int index) const;
  // The moniker at that position of a fresh enumeration of the current category (the listed
  // device while the device set has not changed); null outside the list.
  ComPtr<IMoniker> DeviceMoniker(int index) const;

 private:
  static void Enumerate(std::vector<TDeviceEntry>& list, const GUID& category);

  GUID category_ = GUID_NULL;
  std::vector<TDeviceEntry> categories_;
  std::vector<TDeviceEntry> devices_;
};
