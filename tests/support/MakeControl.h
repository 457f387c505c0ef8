// Building forms by hand in tests.
#pragma once

#include <string>

#include "ui/Forms.h"

namespace dravello::testing {

// Creates a control of type C owned by `owner`, placed on `parent`, with a name.
template <class C>
C* Make(TComponent* owner, TWinControl* parent, const std::string& name) {
  auto* c = new C(owner);
  c->SetName(name);
  c->SetParent(parent);
  return c;
}

}  // namespace dravello::testing
