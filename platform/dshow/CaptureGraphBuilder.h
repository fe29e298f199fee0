// The capture graph builder (CLSID_CaptureGraphBuilder2): builds preview and capture chains
// in a filter graph from pin categories and media types, inserts the Smart Tee for a source
// without a preview pin and the DV Splitter for an interleaved DV stream, finds interfaces
// upstream and downstream of a filter, and sets up the AVI Mux and File Writer of a recording.
//
// Threads: every method runs on the caller's thread (the program's user-interface thread) and
// expects the graph to be stopped while it connects. The only state is the graph, guarded by
// mutex_; the graph operations themselves run outside the lock.
//
// Methods the builder does not provide (ControlStream, AllocCapFile, CopyCaptureFile) answer
// E_NOTIMPL.
#pragma once

#include <comimpl.h>
#include <dshow.h>

#include <mutex>

namespace vidorra::dshow {

class CaptureGraphBuilder : public CUnknown, public ICaptureGraphBuilder2 {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ICaptureGraphBuilder2
  STDMETHODIMP SetFiltergraph(IGraphBuilder* pfg) override;
  STDMETHODIMP GetFiltergraph(IGraphBuilder** ppfg) override;
  STDMETHODIMP SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                                 IFileSinkFilter** ppSink) override;
  STDMETHODIMP FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                             void** ppint) override;
  STDMETHODIMP RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                            IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) override;
  STDMETHODIMP ControlStream(const GUID* pCategory, const GUID* pType, IBaseFilter* pFilter,
                             REFERENCE_TIME* pstart, REFERENCE_TIME* pstop, WORD wStartCookie,
                             WORD wStopCookie) override;
  STDMETHODIMP AllocCapFile(LPCOLESTR lpstr, DWORDLONG dwlSize) override;
  STDMETHODIMP CopyCaptureFile(LPOLESTR lpwstrOld, LPOLESTR lpwstrNew, int fAllowEscAbort,
                               IAMCopyCaptureFileProgress* pCallback) override;
  STDMETHODIMP FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory,
                       const GUID* pType, BOOL fUnconnected, int num, IPin** ppPin) override;

 private:
  // The graph set by SetFiltergraph, or a new filter graph manager made on first need.
  HRESULT GraphForBuilding(ComPtr<IGraphBuilder>* graph);
  // The graph to search pf in: the builder's own, else the one pf has joined (may be null).
  ComPtr<IGraphBuilder> GraphForSearch(IBaseFilter* pf);
  void ConnectAnalogFrontEnd(IGraphBuilder* graph, IBaseFilter* filter);

  // RenderStream steps (CaptureGraphBuilderRender.cpp).
  HRESULT SourcePinOfPin(IGraphBuilder* graph, const GUID* pCategory, IPin* pin,
                         ComPtr<IPin>* start);
  HRESULT SourcePinOfFilter(IGraphBuilder* graph, const GUID* pCategory, const GUID* pType,
                            IBaseFilter* filter, bool teeOnCapture, ComPtr<IPin>* start);
  HRESULT TeeOnCapturePin(IGraphBuilder* graph, IPin* capturePin, const GUID& category,
                          ComPtr<IPin>* start);
  HRESULT RenderChain(IGraphBuilder* graph, IPin* start, const GUID* pType,
                      IBaseFilter* intermediate, IBaseFilter* sink);
  HRESULT ConnectToFilter(IGraphBuilder* graph, IPin* output, IBaseFilter* target);
  HRESULT ConnectPins(IGraphBuilder* graph, IPin* output, IPin* input);
  HRESULT ConnectThroughDvSplitter(IGraphBuilder* graph, IPin* output, IPin* input);
  HRESULT RenderToDefaultRenderer(IGraphBuilder* graph, IPin* output, const GUID* pType);

  std::mutex mutex_;
  ComPtr<IGraphBuilder> graph_;  // guarded by mutex_
};

// Registers CLSID_CaptureGraphBuilder2 with CoCreateInstance (once; later calls do nothing).
// A static library only links this file when something names it, so code that creates the
// builder through CoCreateInstance alone calls this first (or links the library whole).
void EnsureCaptureGraphBuilderRegistered();

// Creates a filter of a registered class and adds it to the graph under `name`.
HRESULT AddNewFilter(IGraphBuilder* graph, REFCLSID clsid, LPCWSTR name,
                     ComPtr<IBaseFilter>* filter);

}  // namespace vidorra::dshow
