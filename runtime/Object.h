// The root object class with run-time class information and published properties.
//
// Every class that takes part in the component model (string lists, components, controls,
// collections) derives from TObject and describes itself with a TClass: its name, its parent
// class and a static table of published properties. The form translation walks these tables to
// set a property named in a text; nothing else in the program needs reflection.
//
// A class declares its information with DV_CLASS(ThisClass) in its body and defines it once:
//
//   const TClass& TEdit::StaticClass() {
//     static const TClass info("TEdit", &TControl::StaticClass(), {
//         StringProp<TEdit>("Text", &TEdit::Text, &TEdit::SetText),
//         OrdProp<TEdit, int32_t>("MaxLength", &TEdit::MaxLength, &TEdit::SetMaxLength),
//     });
//     return info;
//   }
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace dravello {

class TObject;

// The kinds of published properties, named as the form translation reports them.
enum class TTypeKind {
  tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkMethod,
  tkWChar, tkLString, tkWString, tkVariant, tkArray, tkRecord, tkInterface, tkInt64,
};

// "tkInteger", "tkMethod", ...
std::string_view TypeKindName(TTypeKind kind);

class TClass;

// One published property. Which accessor pair is set depends on the kind:
//   ordinal (Integer, Char, WChar, Enumeration, Set, Int64): GetOrd/SetOrd
//   Float: GetFloat/SetFloat;  String, LString, WString, Variant: GetStr/SetStr
//   Class: GetObj/SetObj;  Method and the other kinds: none.
// A missing setter makes the property read-only.
struct TPropInfo {
  std::string Name;
  TTypeKind Kind = TTypeKind::tkInteger;
  int64_t MinValue = 0;                 // ordinal range, inclusive
  int64_t MaxValue = 0;
  std::vector<std::string> ValueNames;  // enumeration values, or set elements (bit n = name n)
  // tkClass: the class the value must inherit from. Looked up on use, not when the table is
  // built, so that a class may publish a property typed as itself or a subclass.
  const TClass& (*ClassOf)() = nullptr;
  const TClass* PropClass() const { return ClassOf ? &ClassOf() : nullptr; }

  std::function<int64_t(const TObject&)> GetOrd;
  std::function<void(TObject&, int64_t)> SetOrd;
  std::function<double(const TObject&)> GetFloat;
  std::function<void(TObject&, double)> SetFloat;
  std::function<std::string(const TObject&)> GetStr;
  std::function<void(TObject&, const std::string&)> SetStr;
  std::function<TObject*(const TObject&)> GetObj;
  std::function<void(TObject&, TObject*)> SetObj;
};

// Run-time information of one class.
class TClass {
 public:
  TClass(std::string name, const TClass* parent, std::vector<TPropInfo> properties = {});
  TClass(const TClass&) = delete;
  TClass& operator=(const TClass&) = delete;

  const std::string& Name() const { return name_; }
  const TClass* Parent() const { return parent_; }
  // True for this class and every class derived from it.
  bool InheritsFrom(const TClass& other) const;
  // The published property of that name (A to Z compared without case), looked up in this class
  // first and then in its ancestors; nullptr when there is none.
  const TPropInfo* FindProperty(std::string_view name) const;
  const std::vector<TPropInfo>& OwnProperties() const { return properties_; }

 private:
  std::string name_;
  const TClass* parent_;
  std::vector<TPropInfo> properties_;
};

#define DV_CLASS(ThisClass)                    \
 public:                                       \
  static const ::dravello::TClass& StaticClass(); \
  const ::dravello::TClass& ClassType() const override { return StaticClass(); }

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  static const TClass& StaticClass();
  virtual const TClass& ClassType() const { return StaticClass(); }
  const std::string& ClassName() const { return ClassType().Name(); }
  bool InheritsFrom(const TClass& c) const { return ClassType().InheritsFrom(c); }
};

// ---- Property table builders ------------------------------------------------------------

// An ordinal property of C of value type V (an integer, char or enum type), clamped on writes to
// [min, max], which default to V's range.
template <class C, class V>
TPropInfo OrdProp(std::string name, V (C::*get)() const, void (C::*set)(V),
                  int64_t min = static_cast<int64_t>(std::numeric_limits<V>::min()),
                  int64_t max = static_cast<int64_t>(std::numeric_limits<V>::max()),
                  TTypeKind kind = TTypeKind::tkInteger) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = kind;
  p.MinValue = min;
  p.MaxValue = max;
  p.GetOrd = [get](const TObject& o) { return static_cast<int64_t>((static_cast<const C&>(o).*get)()); };
  // Clamping here keeps every value the setter sees inside its type (an enumeration never gets a
  // value it does not name), whatever the caller passes.
  if (set) p.SetOrd = [set, min, max](TObject& o, int64_t v) {
    (static_cast<C&>(o).*set)(static_cast<V>(v < min ? min : (v > max ? max : v)));
  };
  return p;
}

template <class C>
TPropInfo Int64Prop(std::string name, int64_t (C::*get)() const, void (C::*set)(int64_t)) {
  return OrdProp<C, int64_t>(std::move(name), get, set, std::numeric_limits<int64_t>::min(),
                             std::numeric_limits<int64_t>::max(), TTypeKind::tkInt64);
}

template <class C>
TPropInfo CharProp(std::string name, char (C::*get)() const, void (C::*set)(char)) {
  return OrdProp<C, char>(std::move(name), get, set, 0, 255, TTypeKind::tkChar);
}

// An enumeration of E whose values are 0 .. names.size()-1, named in that order.
template <class C, class E>
TPropInfo EnumProp(std::string name, E (C::*get)() const, void (C::*set)(E), std::vector<std::string> names) {
  TPropInfo p = OrdProp<C, E>(std::move(name), get, set, 0, static_cast<int64_t>(names.size()) - 1,
                              TTypeKind::tkEnumeration);
  p.ValueNames = std::move(names);
  return p;
}

template <class C>
TPropInfo BoolProp(std::string name, bool (C::*get)() const, void (C::*set)(bool)) {
  return EnumProp<C, bool>(std::move(name), get, set, {"False", "True"});
}

// A set held as a bit mask: element n of `names` is bit n.
template <class C>
TPropInfo SetProp(std::string name, uint32_t (C::*get)() const, void (C::*set)(uint32_t), std::vector<std::string> names) {
  TPropInfo p = OrdProp<C, uint32_t>(std::move(name), get, set, 0, std::numeric_limits<uint32_t>::max(),
                                     TTypeKind::tkSet);
  p.ValueNames = std::move(names);
  return p;
}

template <class C>
TPropInfo FloatProp(std::string name, double (C::*get)() const, void (C::*set)(double)) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = TTypeKind::tkFloat;
  p.GetFloat = [get](const TObject& o) { return (static_cast<const C&>(o).*get)(); };
  if (set) p.SetFloat = [set](TObject& o, double v) { (static_cast<C&>(o).*set)(v); };
  return p;
}

template <class C>
TPropInfo StringProp(std::string name, const std::string& (C::*get)() const, void (C::*set)(const std::string&),
                     TTypeKind kind = TTypeKind::tkLString) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = kind;
  p.GetStr = [get](const TObject& o) { return (static_cast<const C&>(o).*get)(); };
  if (set) p.SetStr = [set](TObject& o, const std::string& v) { (static_cast<C&>(o).*set)(v); };
  return p;
}

// An object-valued property whose values must inherit from V.
template <class C, class V>
TPropInfo ObjectProp(std::string name, V* (C::*get)() const, void (C::*set)(V*)) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = TTypeKind::tkClass;
  p.ClassOf = &V::StaticClass;
  p.GetObj = [get](const TObject& o) -> TObject* { return (static_cast<const C&>(o).*get)(); };
  if (set) p.SetObj = [set](TObject& o, TObject* v) { (static_cast<C&>(o).*set)(static_cast<V*>(v)); };
  return p;
}

// A property of a kind that has no text form (events and the like): only its name and kind.
inline TPropInfo OpaqueProp(std::string name, TTypeKind kind) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = kind;
  return p;
}

}  // namespace dravello
