// The component model: persistent objects, components with an owner and a name, and
// collections of indexed items.
//
// Ownership: a component created with an owner is destroyed by that owner (last created first);
// destroying a component first destroys everything it owns and then removes it from its own
// owner. The application object is the root of the program's ownership tree; a form owns all of
// its controls however deeply they are nested (a control's visual parent is a separate link, see
// Controls.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Object.h"

namespace dravello {

class TPersistent : public TObject {
  DV_CLASS(TPersistent)
};

// Component state flags.
inline constexpr uint32_t csLoading = 0x01;    // being read from its stored form
inline constexpr uint32_t csDesigning = 0x02;  // in a designer, not running

class TComponent : public TPersistent {
  DV_CLASS(TComponent)

 public:
  // A component created while its owner is loading (csLoading) starts loading too: it is part of
  // the stored form being read, and receives Loaded() when that form is complete.
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  TComponent* Owner() const { return owner_; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
  // The directly owned component of that name (A to Z compared without case); nullptr for the
  // empty name or when there is none.
  TComponent* FindComponent(std::string_view name) const;

  uint32_t ComponentState() const { return state_; }
  void SetComponentState(uint32_t flags) { state_ |= flags; }
  void ClearComponentState(uint32_t flags) { state_ &= ~flags; }

  // Called by the framework once a component has been read from its stored form: the loading
  // flag is cleared here. Derived classes do their own work after calling this.
  virtual void Loaded();

  // Moves ownership: removes the component from its owner's list and appends it to this one's.
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  // Called on every owned component before `component` (owned by the same owner) is destroyed,
  // so that references to it can be dropped.
  virtual void Notification(TComponent* component);

 private:
  std::string name_;
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  uint32_t state_ = 0;
};

// The root of the program's ownership tree (the application object), or nullptr before it
// exists. The application object registers itself; searches that start "from the application"
// (such as the form translation looking for a language synchroniser) begin here.
TComponent* ApplicationRoot();
void SetApplicationRoot(TComponent* root);

class TCollection;

// One item of a collection; a persistent object with an index.
class TCollectionItem : public TPersistent {
  DV_CLASS(TCollectionItem)

 public:
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;
  TCollection* Collection() const { return collection_; }
  int Index() const;

 private:
  friend class TCollection;
  TCollection* collection_;
};

// An owning list of items of one item class.
class TCollection : public TPersistent {
  DV_CLASS(TCollection)

 public:
  TCollection() = default;
  ~TCollection() override;
  int Count() const { return static_cast<int>(items_.size()); }
  // nullptr when index is outside 0 .. Count()-1.
  TCollectionItem* Item(int index) const;
  // Creates a new item of the collection's item class and appends it.
  virtual TCollectionItem* Add();
  void Delete(int index);
  void Clear();

 private:
  friend class TCollectionItem;
  std::vector<TCollectionItem*> items_;
};

}  // namespace dravello
