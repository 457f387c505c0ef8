#include "lang/Localizer.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "ui/Graphics.h"

namespace dravello {

namespace {

// Sets a flag for the lifetime of a scope, whatever way the scope is left.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagScope() { flag_ = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& flag_;
};

TLocalizerSync* FindSyncBelow(const TComponent& parent) {
  for (int i = 0; i < parent.ComponentCount(); ++i) {
    TComponent* c = parent.Components(i);
    if (auto* sync = dynamic_cast<TLocalizerSync*>(c)) return sync;
    if (TLocalizerSync* sync = FindSyncBelow(*c)) return sync;
  }
  return nullptr;
}

// One entry of the selected language, applied to the owner of the component.
void ApplyEntry(TComponent& owner, const TScriptEntry& entry) {
  const size_t dot = entry.Name.rfind('.');
  const std::string_view name = entry.Name;
  const std::string_view path = dot == std::string::npos ? std::string_view() : name.substr(0, dot);
  const std::string_view prop = dot == std::string::npos ? name : name.substr(dot + 1);
  if (TObject* target = ResolvePath(&owner, path)) SetPropertyText(*target, prop, entry.Value, &owner);
}

int64_t Clamp(int64_t value, const TPropInfo& p) { return std::clamp(value, p.MinValue, p.MaxValue); }

// The index of a value name (A to Z without case) among the property's names, or -1.
int IndexOfValueName(const TPropInfo& p, std::string_view name) {
  for (size_t i = 0; i < p.ValueNames.size(); ++i)
    if (SameTextAscii(p.ValueNames[i], name)) return static_cast<int>(i);
  return -1;
}

[[noreturn]] void InvalidElement(std::string_view text) {
  throw EPropertyConvertError(Format("Invalid property element: %s", {std::string(text)}));
}

// Set elements: names separated by commas and/or blanks, optionally enclosed in brackets.
uint64_t TextToSet(const TPropInfo& p, std::string_view text) {
  std::string t = Trim(text);
  std::string_view s = t;
  if (s.size() >= 2 && s.front() == '[' && s.back() == ']') s = s.substr(1, s.size() - 2);
  uint64_t mask = 0;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ',' || static_cast<unsigned char>(s[i]) <= 32)) ++i;
    size_t start = i;
    while (i < s.size() && s[i] != ',' && static_cast<unsigned char>(s[i]) > 32) ++i;
    if (i == start) continue;
    const std::string_view element = s.substr(start, i - start);
    const int bit = IndexOfValueName(p, element);
    if (bit < 0 || bit >= 64) InvalidElement(element);
    mask |= uint64_t{1} << bit;
  }
  return mask;
}

// A decimal number: optional blanks, an optional sign, digits with an optional "." and
// fraction, an optional exponent, optional blanks. Infinite and not-a-number texts are refused.
std::optional<double> TryTextToFloat(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0, digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  // from_chars takes no "+" sign and ignores the locale, which is what makes the decimal
  // separator "." whatever the process locale says.
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

}  // namespace

// ---- TLocalizer -----------------------------------------------------------------------------

const TClass& TLocalizer::StaticClass() {
  static const TClass info("TLocalizer", &TComponent::StaticClass(),
                           {
                               ObjectProp<TLocalizer, TStringList>("Script", &TLocalizer::Script, &TLocalizer::SetScript),
                               StringProp<TLocalizer>("Language", &TLocalizer::Language, &TLocalizer::SetLanguage),
                               OpaqueProp("OnCreate", TTypeKind::tkMethod),
                               OpaqueProp("OnTranslate", TTypeKind::tkMethod),
                           });
  return info;
}

TLocalizer::TLocalizer(TComponent* owner, TLocalizerEvent onCreate)
    : TComponent(owner),
      OnCreate(std::move(onCreate)),
      script_(std::make_unique<TStringList>()),
      selectedLines_(std::make_unique<TStringList>()) {
  if (OnCreate) OnCreate(*this);
}

TLocalizer::~TLocalizer() = default;

void TLocalizer::SetScript(const TStringList& lines) {
  script_->Assign(lines);
  Translate();
}

void TLocalizer::SetScript(TStringList* lines) {
  if (lines) {
    SetScript(*lines);
  } else {
    script_->Clear();
    Translate();
  }
}

const std::string& TLocalizer::Language() const {
  if (const TLocalizerSync* sync = FindSync()) return sync->Language();
  return language_;
}

void TLocalizer::SetLanguage(const std::string& code) {
  TLocalizerSync* sync = FindSync();
  language_ = code;
  if (!sync) {
    Translate();
    return;
  }
  const uint64_t before = translations_;
  sync->SetLanguage(language_);
  // The sync reaches only the tree below the application; a component outside it (no owner, or
  // an owner without one) would otherwise keep the selection of its previous language.
  if (translations_ == before) Translate();
}

void TLocalizer::Translate() {
  ++translations_;
  SelectLanguage(*script_, *selectedLines_, Language());
  if (translating_) return;
  TFlagScope scope(translating_);
  if (TComponent* owner = Owner()) {
    // Work on a copy: an entry may write this component's Language or Script, which rebuilds
    // the selection while it is being walked.
    const std::vector<std::string> lines(selectedLines_->begin(), selectedLines_->end());
    for (const std::string& line : lines) ApplyEntry(*owner, SplitLine(line));
  }
  if (OnTranslate) OnTranslate(*this);
}

std::string TLocalizer::Lookup(std::string_view name) const {
  if (lookupGeneration_ != translations_) {
    lookup_.clear();
    lookupGeneration_ = translations_;
  }
  std::string key(name);
  auto it = lookup_.find(key);
  if (it == lookup_.end()) it = lookup_.emplace(std::move(key), FindValue(*selectedLines_, name)).first;
  return it->second;
}

TLocalizerSync* TLocalizer::FindSync() {
  const TComponent* root = ApplicationRoot();
  return root ? FindSyncBelow(*root) : nullptr;
}

void TLocalizer::Loaded() {
  TComponent::Loaded();
  Translate();
}

// ---- TLocalizerSync -------------------------------------------------------------------------

const TClass& TLocalizerSync::StaticClass() {
  static const TClass info(
      "TLocalizerSync", &TComponent::StaticClass(),
      {StringProp<TLocalizerSync>("Language", &TLocalizerSync::Language, &TLocalizerSync::SetLanguage)});
  return info;
}

void TLocalizerSync::SetLanguage(const std::string& code) {
  language_ = code;
  RetranslateAll(ApplicationRoot());
}

void RetranslateAll(TComponent* root) {
  if (!root) return;
  for (int i = 0; i < root->ComponentCount(); ++i) {
    TComponent* c = root->Components(i);
    if (auto* localizer = dynamic_cast<TLocalizer*>(c))
      localizer->Translate();
    else
      RetranslateAll(c);
  }
}

// ---- Applying entries -----------------------------------------------------------------------

TObject* ResolvePath(TComponent* root, std::string_view path) {
  if (!root) return nullptr;
  std::string_view rest = path;

  // Owned components: a window owns every control on it, so one name reaches any of them.
  TComponent* component = root;
  while (!rest.empty()) {
    const size_t dot = rest.find('.');
    TComponent* found = component->FindComponent(rest.substr(0, dot));
    if (!found) break;
    component = found;
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
  }

  // Object-valued properties, with an optional collection index per segment.
  TObject* current = component;
  while (!rest.empty()) {
    const size_t dot = rest.find('.');
    std::string_view segment = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);

    std::string_view propName = segment;
    std::optional<int32_t> index;
    if (const size_t open = segment.find('['); open != std::string_view::npos) {
      propName = segment.substr(0, open);
      const size_t close = segment.find(']', open + 1);
      // Without a closing bracket there is no index text, so no index applies.
      if (close != std::string_view::npos) index = TryStrToInt(segment.substr(open + 1, close - open - 1));
    }

    const TPropInfo* p = current->ClassType().FindProperty(propName);
    if (!p || p->Kind != TTypeKind::tkClass || !p->GetObj) return nullptr;
    TObject* next = p->GetObj(*current);
    if (!next) return nullptr;
    if (index) {
      if (auto* collection = dynamic_cast<TCollection*>(next)) {
        next = collection->Item(*index);
        if (!next) throw EListError(Format("List index out of bounds (%d)", {int64_t{*index}}));
      }
    }
    current = next;
  }
  return current;
}

void SetPropertyText(TObject& target, std::string_view propName, const std::string& text, TComponent* root) {
  const TPropInfo* p = target.ClassType().FindProperty(propName);
  if (!p) return;

  switch (p->Kind) {
    case TTypeKind::tkInteger: {
      if (!p->SetOrd) return;
      if (std::optional<int32_t> v = TextToInt(text)) p->SetOrd(target, Clamp(*v, *p));
      return;
    }
    case TTypeKind::tkClass: {
      TObject* current = p->GetObj ? p->GetObj(target) : nullptr;
      if (auto* list = dynamic_cast<TStringList*>(current)) {
        list->SetText(text);
        return;
      }
      if (!p->SetObj) return;
      TObject* value = ResolvePath(root, text);
      if (!value || !p->PropClass() || value->InheritsFrom(*p->PropClass())) p->SetObj(target, value);
      return;
    }
    case TTypeKind::tkString:
    case TTypeKind::tkLString:
    case TTypeKind::tkWString:
    case TTypeKind::tkVariant:
      if (p->SetStr) p->SetStr(target, text);
      return;
    case TTypeKind::tkEnumeration: {
      if (!p->SetOrd) return;
      const int index = IndexOfValueName(*p, text);
      if (index < 0) InvalidElement(text);
      p->SetOrd(target, p->MinValue + index);
      return;
    }
    case TTypeKind::tkSet: {
      if (!p->SetOrd) return;
      p->SetOrd(target, static_cast<int64_t>(TextToSet(*p, text)));
      return;
    }
    case TTypeKind::tkChar:
    case TTypeKind::tkWChar:
    case TTypeKind::tkInt64: {
      if (!p->SetOrd) return;
      std::optional<int64_t> v = TryStrToInt64(text);
      if (!v) throw EConvertError(Format("'%s' is not a valid integer value", {text}));
      p->SetOrd(target, Clamp(*v, *p));
      return;
    }
    case TTypeKind::tkFloat: {
      if (!p->SetFloat) return;
      std::optional<double> v = TryTextToFloat(text);
      if (!v) throw EConvertError(Format("'%s' is not a valid floating point value", {text}));
      p->SetFloat(target, *v);
      return;
    }
    case TTypeKind::tkMethod:
    case TTypeKind::tkArray:
    case TTypeKind::tkRecord:
    case TTypeKind::tkInterface:
      break;
  }
  throw EPropertyError(Format("Invalid property type: %s", {std::string(TypeKindName(p->Kind))}));
}

std::optional<int32_t> TextToInt(std::string_view text) {
  if (auto v = TryStrToInt(text)) return v;
  if (auto v = IdentToCursor(text)) return v;
  if (auto v = IdentToColor(text)) return v;
  if (auto v = IdentToCharset(text)) return v;
  // "$" admits nothing but hexadecimal digits after it, so "#-1" or "# FF" fail as they should.
  if (!text.empty() && text.front() == '#') return TryStrToInt("$" + std::string(text.substr(1)));
  return std::nullopt;
}

}  // namespace dravello
