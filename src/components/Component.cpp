#include "Component.h"

#include <algorithm>
#include <utility>

#include "Persistent.h"

TComponent::TComponent() = default;

TComponent::~TComponent() {
  destroying_ = true;
  // Those that asked to be told forget this component; each is told once, and the list is
  // emptied first so that their answers (RemoveFreeNotification) find nothing to change.
  std::vector<TComponent*> notifies = std::move(freeNotifies_);
  freeNotifies_.clear();
  for (TComponent* component : notifies) {
    component->RemoveFreeNotification(this);
    component->Notification(this, opRemove);
  }
  // Owned components go last created first; the siblings hear of each removal before it.
  while (!components_.empty()) {
    std::unique_ptr<TComponent> last = std::move(components_.back());
    components_.pop_back();
    last->owner_ = nullptr;
    NotifyOwned(last.get(), opRemove);
    last.reset();
  }
  if (owner_ != nullptr) {
    TComponent* owner = std::exchange(owner_, nullptr);
    owner->ReleaseComponent(this);
    owner->Notification(this, opRemove);
  }
}

TComponent* TComponent::FindComponent(const QString& name) const {
  if (name.isEmpty()) return nullptr;
  for (const auto& component : components_) {
    if (component->Name().compare(name, Qt::CaseInsensitive) == 0) return component.get();
  }
  return nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
    freeNotifies_.push_back(component);
  }
  // Both sides are told: a component that holds a reference to this one may be destroyed
  // first, and then this one must not call it.
  if (std::find(component->freeNotifies_.begin(), component->freeNotifies_.end(), this) ==
      component->freeNotifies_.end()) {
    component->freeNotifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  std::erase(freeNotifies_, component);
}

void TComponent::Loaded() { loading_ = false; }

void TComponent::DefineProperties(TFiler&) {}

HRESULT TComponent::QueryInterface(REFIID, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  return E_NOINTERFACE;
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) RemoveFreeNotification(component);
  NotifyOwned(component, operation);
}

void TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
  if (!component) return;
  if (component->owner_ != nullptr) component->owner_->ReleaseComponent(component.get());
  component->owner_ = this;
  TComponent* raw = component.get();
  components_.push_back(std::move(component));
  Notification(raw, opInsert);
}

void TComponent::ReleaseComponent(TComponent* component) {
  const auto it = std::find_if(components_.begin(), components_.end(),
                               [component](const auto& owned) { return owned.get() == component; });
  if (it == components_.end()) return;
  // The component is being destroyed by someone else: give up ownership without freeing it.
  (void)it->release();
  components_.erase(it);
}

void TComponent::NotifyOwned(TComponent* component, TOperation operation) {
  // A component may be freed by a notification handler; walk a snapshot and skip the ones
  // that have left meanwhile.
  std::vector<TComponent*> owned;
  owned.reserve(components_.size());
  for (const auto& c : components_) owned.push_back(c.get());
  for (TComponent* c : owned) {
    const bool stillOwned =
        std::any_of(components_.begin(), components_.end(),
                    [c](const auto& candidate) { return candidate.get() == c; });
    if (stillOwned && c != component) c->Notification(component, operation);
  }
}
