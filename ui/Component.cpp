#include "ui/Component.h"

#include <algorithm>

#include "runtime/SysUtils.h"

namespace dravello {

namespace {
TComponent* g_applicationRoot = nullptr;
}  // namespace

TComponent* ApplicationRoot() { return g_applicationRoot; }
void SetApplicationRoot(TComponent* root) { g_applicationRoot = root; }

const TClass& TPersistent::StaticClass() {
  static const TClass info("TPersistent", &TObject::StaticClass());
  return info;
}

const TClass& TComponent::StaticClass() {
  static const TClass info("TComponent", &TPersistent::StaticClass(),
                           {StringProp<TComponent>("Name", &TComponent::Name, &TComponent::SetName, TTypeKind::tkString)});
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner) {
    owner->InsertComponent(this);
    // Built while its owner is being read from its stored form: part of that form.
    if (owner->ComponentState() & csLoading) state_ |= csLoading;
  }
}

TComponent::~TComponent() {
  // Last created first, like the framework this mirrors; each child removes itself from
  // components_ as it goes.
  while (!components_.empty()) delete components_.back();
  if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameTextAscii(c->Name(), name)) return c;
  return nullptr;
}

void TComponent::Loaded() { ClearComponentState(csLoading); }

void TComponent::InsertComponent(TComponent* component) {
  if (component->owner_) component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* component) {
  for (TComponent* c : components_)
    if (c != component) c->Notification(component);
  components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
  component->owner_ = nullptr;
}

void TComponent::Notification(TComponent*) {}

const TClass& TCollectionItem::StaticClass() {
  static const TClass info("TCollectionItem", &TPersistent::StaticClass());
  return info;
}

TCollectionItem::TCollectionItem(TCollection* collection) : collection_(collection) {
  if (collection_) collection_->items_.push_back(this);
}

TCollectionItem::~TCollectionItem() {
  if (collection_) {
    auto& items = collection_->items_;
    items.erase(std::remove(items.begin(), items.end(), this), items.end());
  }
}

int TCollectionItem::Index() const {
  if (!collection_) return -1;
  const auto& items = collection_->items_;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

const TClass& TCollection::StaticClass() {
  static const TClass info("TCollection", &TPersistent::StaticClass());
  return info;
}

TCollection::~TCollection() { Clear(); }

TCollectionItem* TCollection::Item(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<size_t>(index)];
}

TCollectionItem* TCollection::Add() { return new TCollectionItem(this); }

void TCollection::Delete(int index) {
  if (TCollectionItem* item = Item(index)) delete item;
}

void TCollection::Clear() {
  while (!items_.empty()) delete items_.back();
}

}  // namespace dravello
