// What every front end shares in how it shows controls: the table of its bindings, one per kind
// of control, and the order in which sibling controls are stacked.
//
// A binding knows how one kind of control is shown by the toolkit (make its native window or
// widget, show each property, hand the user's actions to the control). Kinds are classes of the
// component model: a control is shown by the binding of its own class or, failing that, of its
// nearest ancestor class that has one, so registering a binding for TControl makes every control
// showable. This header carries no toolkit type.
#pragma once

#include <memory>
#include <unordered_map>

#include "ui/Controls.h"

namespace dravello {

template <class Binding>
class TBindingTable {
 public:
  // Registers the binding of one kind; a second binding for the same class replaces the first.
  void Register(const TClass& kind, std::unique_ptr<Binding> binding) { table_[&kind] = std::move(binding); }

  // The binding of the control's class or of its nearest ancestor that has one. Raises
  // EInvalidOperation when no ancestor has one (the table lacks a binding for TControl).
  const Binding& For(const TControl& control) const {
    for (const TClass* c = &control.ClassType(); c; c = c->Parent())
      if (auto it = table_.find(c); it != table_.end()) return *it->second;
    throw EInvalidOperation("No binding shows a " + control.ClassType().Name());
  }

  int Count() const { return static_cast<int>(table_.size()); }

 private:
  std::unordered_map<const TClass*, std::unique_ptr<Binding>> table_;
};

// The layer a control is stacked in among its siblings, lowest first: bevels (0) lie under
// everything, then the other window-less controls (1), then the windowed ones (2). Within a layer
// the controls keep the order they were placed in.
inline constexpr int kStackingLayers = 3;
int StackingLayer(const TControl& control);

}  // namespace dravello
