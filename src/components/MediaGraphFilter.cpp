// TFilter: a filter named by a stored moniker, instantiated at every joining of a graph.
#include <utility>

#include "MediaGraph.h"
#include "TearDown.h"

TFilter::TFilter() : baseFilter_(std::make_unique<TBaseFilter>()) {}

TFilter::~TFilter() {
  baseFilter_->AllocateBlock(0);
  TearDownReporting(*this, [this] { SetFilterGraph(nullptr); });
}

HRESULT TFilter::QueryInterface(REFIID riid, void** ppv) {
  const HRESULT hr = TComponent::QueryInterface(riid, ppv);
  if (SUCCEEDED(hr) || !liveFilter_) return hr;
  return liveFilter_->QueryInterface(riid, ppv);
}

void DefineFilterGraphProperty(TFiler& filer, const TComponent* self, TFilterGraph* current,
                               const std::function<void(TFilterGraph*)>& set) {
  filer.DefineProperty(
      QStringLiteral("FilterGraph"),
      [&filer, &set](const QString& name) {
        auto* graph = dynamic_cast<TFilterGraph*>(filer.FindComponentReference(name));
        if (graph == nullptr) {
          throw EReadError(QStringLiteral("'%1' names no filter graph").arg(name));
        }
        set(graph);
      },
      [current, self] { return TFiler::ComponentReferenceName(current, self); },
      current != nullptr);
}

void TFilter::DefineProperties(TFiler& filer) {
  filer.DefinePersistent(QStringLiteral("BaseFilter"), *baseFilter_);
  DefineFilterGraphProperty(filer, this, filterGraph_,
                            [this](TFilterGraph* graph) { SetFilterGraph(graph); });
}

void TFilter::SetFilterGraph(TFilterGraph* graph) {
  if (graph == filterGraph_) return;
  if (TFilterGraph* old = std::exchange(filterGraph_, nullptr)) {
    // Unhooked before the filter leaves, which may raise.
    old->RemoveFreeNotification(this);
    RemoveFreeNotification(old);
    old->RemoveMember(this);
  }
  // Stored first: a member that joins an active graph is asked for its filter at once.
  filterGraph_ = graph;
  if (graph != nullptr) {
    graph->FreeNotification(this);
    graph->AddMember(this);
  }
}

void TFilter::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  // The graph is being destroyed: forget it without calling it.
  if (operation == opRemove && filterGraph_ != nullptr &&
      component == static_cast<TComponent*>(filterGraph_)) {
    filterGraph_ = nullptr;
  }
}

void TFilter::MemberNotify(TMemberOperation operation, int) {
  switch (operation) {
    case moAdding:
      // Nothing when no moniker is stored or it cannot be bound: the graph's AddFilter then
      // fails, and the builders find out when they look for the filter's pins.
      liveFilter_ = baseFilter_->BindFilter();
      break;
    case moAdded:
      break;
    case moRemoving:
      if (liveFilter_) (void)liveFilter_->Stop();
      break;
    case moRemoved:
      liveFilter_.Reset();
      break;
    case moRefresh:
      if (filterGraph_ != nullptr) {
        filterGraph_->RemoveMember(this);
        filterGraph_->AddMember(this);
      }
      break;
  }
}
