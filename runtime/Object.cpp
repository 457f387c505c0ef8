#include "runtime/Object.h"

#include <array>

#include "runtime/SysUtils.h"

namespace dravello {

std::string_view TypeKindName(TTypeKind kind) {
  static constexpr std::array<std::string_view, 16> names = {
      "tkInteger", "tkChar",    "tkEnumeration", "tkFloat",  "tkString",  "tkSet",   "tkClass",     "tkMethod",
      "tkWChar",   "tkLString", "tkWString",     "tkVariant", "tkArray", "tkRecord", "tkInterface", "tkInt64",
  };
  return names[static_cast<size_t>(kind)];
}

TClass::TClass(std::string name, const TClass* parent, std::vector<TPropInfo> properties)
    : name_(std::move(name)), parent_(parent), properties_(std::move(properties)) {}

bool TClass::InheritsFrom(const TClass& other) const {
  for (const TClass* c = this; c != nullptr; c = c->parent_)
    if (c == &other) return true;
  return false;
}

const TPropInfo* TClass::FindProperty(std::string_view name) const {
  for (const TClass* c = this; c != nullptr; c = c->parent_)
    for (const TPropInfo& p : c->properties_)
      if (SameTextAscii(p.Name, name)) return &p;
  return nullptr;
}

const TClass& TObject::StaticClass() {
  static const TClass info("TObject", nullptr);
  return info;
}

}  // namespace dravello
