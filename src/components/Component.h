// TComponent: the base of the program's components. A component has a Name and an Owner; the
// owner frees the components it owns when it is destroyed (last created first). A component
// can ask another to tell it when that one is removed (FreeNotification), and every component
// hears, through Notification, of the removal of a sibling sharing its owner; this is how a
// member forgets a graph component that is being destroyed without calling it.
//
// Components live on the user-interface thread only. Components are not COM objects: their
// QueryInterface answers the interfaces of the objects they stand for (no reference is taken
// on the component itself).
#pragma once

#include <objbase.h>

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class TFiler;

enum TOperation { opInsert, opRemove };

class TComponent {
 public:
  TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  // Tells the components that asked to be told (FreeNotification), frees the owned components
  // (last first), then leaves the owner's list, which tells the siblings.
  virtual ~TComponent();

  const QString& Name() const { return name_; }
  void SetName(const QString& name) { name_ = name; }
  TComponent* Owner() const { return owner_; }

  // Hands `component` to this owner, which frees it; returns the component.
  template <class T>
  T* Adopt(std::unique_ptr<T> component) {
    T* raw = component.get();
    InsertComponent(std::unique_ptr<TComponent>(std::move(component)));
    return raw;
  }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(index).get(); }
  // The owned component with that name (case-insensitive), or null.
  TComponent* FindComponent(const QString& name) const;

  // `component` is told (Notification with opRemove) when this component is destroyed.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // Called after the component's stored properties have been read and the references between
  // the components of one form resolved.
  virtual void Loaded();
  bool IsLoading() const { return loading_; }
  bool IsDestroying() const { return destroying_; }
  // Marks the start of reading stored properties; Loaded clears it.
  void BeginLoading() { loading_ = true; }

  // Declares the stored properties (the form data's reader and writer call it).
  virtual void DefineProperties(TFiler& filer);
  // The class name under which the form data stores this component.
  virtual QString ClassName() const { return QStringLiteral("TComponent"); }

  // The component's own interfaces: none for the base; derived components answer for the
  // objects they stand for.
  virtual HRESULT QueryInterface(REFIID riid, void** ppv);

 protected:
  // Another component is inserted or removed. The base forgets a removed component it was to
  // tell, then passes the news to every owned component.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void InsertComponent(std::unique_ptr<TComponent> component);
  // Takes `component` out of the list without freeing it (it is being destroyed elsewhere).
  void ReleaseComponent(TComponent* component);
  void NotifyOwned(TComponent* component, TOperation operation);

  QString name_;
  TComponent* owner_ = nullptr;
  std::vector<std::unique_ptr<TComponent>> components_;
  std::vector<TComponent*> freeNotifies_;
  bool loading_ = false;
  bool destroying_ = false;
};

// A notify event: (sender).
using TNotifyEvent = std::function<void(TComponent* sender)>;
