// The language component: holds a language script, selects the entries of one language and
// applies them to the published properties of the components its owner (a window) owns.
//
// An entry "path.Property = text" names a property: the path walks first through components
// owned by the window (by name, A to Z without case, one step reaches any control of the window),
// then through object-valued published properties, with "[n]" picking item n of a collection.
// An entry without a path sets a property of the window itself. The text is converted to the
// property's kind (see SetPropertyText).
//
// A TLocalizerSync placed anywhere in the application's ownership tree makes every TLocalizer
// report the sync's language, and writing the language on any of them translates all that the
// tree reaches.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <string_view>

#include "lang/LocalizerUtils.h"
#include "runtime/Classes.h"
#include "runtime/SysUtils.h"
#include "ui/Component.h"

namespace dravello {

// "Invalid property element: %s": an enumeration or set text that names no value of the type.
class EPropertyConvertError : public EConvertError {
  using EConvertError::EConvertError;
};

// "Invalid property type: %s": an entry for a property kind that has no text form (events,
// records, arrays, interfaces).
class EPropertyError : public Exception {
  using Exception::Exception;
};

class TLocalizer;
class TLocalizerSync;

// A notification handler; it receives the component that raises it.
using TLocalizerEvent = std::function<void(TLocalizer&)>;

class TLocalizer : public TComponent {
  DV_CLASS(TLocalizer)

 public:
  // Creates the empty Script and SelectedLines, then calls `onCreate` with the component when it
  // is given (it becomes OnCreate). A handler assigned after construction is never called for
  // creation: a C++ object cannot be given a member before its constructor runs, so the
  // constructor parameter is the only way to have one "assigned at that moment".
  explicit TLocalizer(TComponent* owner, TLocalizerEvent onCreate = {});
  ~TLocalizer() override;

  // The script itself; its owner may fill it line by line (which translates nothing).
  TStringList* Script() const { return script_.get(); }
  // Replaces the script with a copy of `lines` and translates. A null list empties the script.
  void SetScript(const TStringList& lines);
  void SetScript(TStringList* lines);

  // The entries of the current language, trimmed, in script order; rebuilt by Translate.
  const TStringList& SelectedLines() const { return *selectedLines_; }

  // The language of the TLocalizerSync that FindSync finds, or else the component's own.
  const std::string& Language() const;
  // Stores the code as the component's own language; then sets the sync's language when there
  // is one (which translates every TLocalizer of the tree), otherwise translates this component.
  // A component outside the tree is translated even when a sync exists, so that its selection
  // always follows what was just written to it.
  void SetLanguage(const std::string& code);

  // (1) Selects the entries of Language() from Script into SelectedLines; (2) applies them in
  // order to the owner (nothing when there is no owner); (3) calls OnTranslate. A failure while
  // applying an entry ends the translation there and propagates: later entries are not applied
  // and OnTranslate is not called. A translation started from within one of this component's own
  // entries (an entry that writes its Language) only re-selects; the outer translation goes on
  // with the entries it selected.
  void Translate();

  // The value of the first selected entry named `name` (case-sensitive), or the empty string.
  std::string Lookup(std::string_view name) const;

  // Depth-first search of the application's ownership tree (ApplicationRoot()): each owned
  // component in order, a component's own components before its next sibling. Nullptr when
  // there is no root or no sync in the tree.
  static TLocalizerSync* FindSync();

  // The framework's own work, then Translate, once every control of the window exists.
  void Loaded() override;

  TLocalizerEvent OnCreate;
  TLocalizerEvent OnTranslate;

 private:
  std::unique_ptr<TStringList> script_;
  std::unique_ptr<TStringList> selectedLines_;
  // Lookup's answers for the selection of translation number lookupGeneration_: a run asks for
  // the same few texts once per file.
  mutable std::unordered_map<std::string, std::string> lookup_;
  mutable uint64_t lookupGeneration_ = 0;
  std::string language_;
  bool translating_ = false;
  uint64_t translations_ = 0;  // translations started, to tell whether a sync reached this one
};

// Makes every TLocalizer of the application's ownership tree follow one language. The program
// itself creates none.
class TLocalizerSync : public TComponent {
  DV_CLASS(TLocalizerSync)

 public:
  using TComponent::TComponent;

  const std::string& Language() const { return language_; }
  // Stores the code, then RetranslateAll(ApplicationRoot()).
  void SetLanguage(const std::string& code);

 private:
  std::string language_;
};

// Translates every TLocalizer reached from `root`: for each directly owned component in order, a
// TLocalizer is translated, any other component is searched in turn. A TLocalizer's own
// components are not searched. Nothing for a null root.
void RetranslateAll(TComponent* root);

// The object that `path` names below `root`: first owned components by name (A to Z without
// case; an unknown name stops this stage), then object-valued published properties, where a
// segment "Prop[n]" with a valid integer n on a collection picks its item n. Nullptr when a
// property is missing, not object-valued or holds none. The empty path gives the root.
// Raises EListError when an index lies outside its collection.
TObject* ResolvePath(TComponent* root, std::string_view path);

// Sets the published property `propName` (A to Z without case) of `target` from `text`:
//   integer kinds   TextToInt, clamped to the property's range; nothing when it fails
//   object          a string list held by the property gets `text` as its whole text (each line
//                   break starts a line); otherwise `text` is a path resolved from `root`, and
//                   the object found is assigned when it is none or inherits from the
//                   property's class
//   string, variant the text as it stands
//   enumeration     the name of a value, any case; else EPropertyConvertError
//   set             element names separated by commas and/or blanks, optionally in "[" "]";
//                   exactly those elements; an unknown one raises EPropertyConvertError
//   char, wide char, 64-bit integer
//                   a number (as TryStrToInt64), clamped; else EConvertError
//   float           a decimal number with an optional exponent, in the C locale's number
//                   format whatever the process locale ("." separates the decimals, no
//                   thousands separator); else EConvertError
//   other kinds     EPropertyError "Invalid property type: <kind>"
// Nothing happens when there is no such property, or when it has no setter (except a string
// list held by an object property, whose lines are replaced in place).
void SetPropertyText(TObject& target, std::string_view propName, const std::string& text, TComponent* root);

// The integer a text stands for, the first that fits: the run-time integer conversion, a cursor
// name ("crHourGlass"), a colour name ("clBtnFace"), a character-set name ("ANSI_CHARSET"), or
// "#" followed by hexadecimal digits (the same value as "$" followed by them). Nothing otherwise,
// including for the empty text.
std::optional<int32_t> TextToInt(std::string_view text);

}  // namespace dravello
