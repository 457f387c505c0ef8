#include "runtime/Classes.h"

#include <algorithm>
#include <numeric>

#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello {

const TClass& TStringList::StaticClass() {
  static const TClass info("TStringList", &TObject::StaticClass());
  return info;
}

TStringList::~TStringList() {
  for (Item& item : items_) FreeObject(item.object);
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", {int64_t{index}}));
}

void TStringList::Changed() {
  if (updateCount_ > 0) {
    changedInUpdate_ = true;
  } else if (OnChange) {
    OnChange(*this);
  }
}

void TStringList::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0 && changedInUpdate_) {
    changedInUpdate_ = false;
    Changed();
  }
}

void TStringList::FreeObject(TObject* object) const {
  if (ownsObjects_) delete object;
}

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].text;
}

void TStringList::SetString(int index, std::string s) {
  if (sorted_) throw EListError("Operation not allowed on sorted list");
  CheckIndex(index);
  items_[static_cast<size_t>(index)].text = std::move(s);
  Changed();
}

TObject* TStringList::Objects(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TStringList::SetObject(int index, TObject* object) {
  CheckIndex(index);
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

bool TStringList::Find(std::string_view s, int& index) const {
  // Lower bound: the first entry not less than s, so of several equal entries the first is found.
  size_t lo = 0, hi = items_.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (CompareStrings(items_[mid].text, s) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  index = static_cast<int>(lo);
  return lo < items_.size() && CompareStrings(items_[lo].text, s) == 0;
}

int TStringList::AddObject(std::string s, TObject* object) {
  int index = Count();
  if (sorted_) {
    if (Find(s, index)) {
      switch (duplicates_) {
        case TDuplicates::dupIgnore:
          return index;
        case TDuplicates::dupError:
          throw EListError("String list does not allow duplicates");
        case TDuplicates::dupAccept:
          while (index < Count() && CompareStrings(items_[static_cast<size_t>(index)].text, s) == 0) ++index;
          break;
      }
    }
  }
  items_.insert(items_.begin() + index, Item{std::move(s), object});
  Changed();
  return index;
}

void TStringList::Insert(int index, std::string s, TObject* object) {
  if (sorted_) throw EListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) throw EListError(Format("List index out of bounds (%d)", {int64_t{index}}));
  items_.insert(items_.begin() + index, Item{std::move(s), object});
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  TObject* object = items_[static_cast<size_t>(index)].object;
  items_.erase(items_.begin() + index);
  FreeObject(object);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  std::vector<Item> old;
  old.swap(items_);
  for (Item& item : old) FreeObject(item.object);
  Changed();
}

void TStringList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
  Changed();
}

void TStringList::Move(int from, int to) {
  if (from == to) return;
  CheckIndex(from);
  CheckIndex(to);
  Item item = std::move(items_[static_cast<size_t>(from)]);
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, std::move(item));
  Changed();
}

int TStringList::IndexOf(std::string_view s) const {
  if (sorted_) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (size_t i = 0; i < items_.size(); ++i)
    if (CompareStrings(items_[i].text, s) == 0) return static_cast<int>(i);
  return -1;
}

int TStringList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string& t = items_[i].text;
    size_t eq = t.find('=');
    if (eq != std::string::npos && CompareStrings(std::string_view(t).substr(0, eq), name) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

void TStringList::StableSortBy(const std::function<bool(size_t, size_t)>& less) {
  std::vector<size_t> order(items_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), less);
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (size_t i : order) sorted.push_back(std::move(items_[i]));
  items_.swap(sorted);
}

void TStringList::SortByKeys() {
  if (items_.size() < 2) return;
  std::vector<std::string> keys;
  keys.reserve(items_.size());
  for (const Item& item : items_) keys.push_back(AnsiSortKey(item.text, !caseSensitive_));
  StableSortBy([&](size_t a, size_t b) { return keys[a] < keys[b]; });
}

void TStringList::Sort() {
  SortByKeys();
  Changed();
}

void TStringList::CustomSort(const std::function<int(const std::string&, const std::string&)>& compare) {
  StableSortBy([&](size_t a, size_t b) { return compare(items_[a].text, items_[b].text) < 0; });
  Changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  sorted_ = sorted;
  if (!sorted) return;
  SortByKeys();
  if (duplicates_ == TDuplicates::dupIgnore && items_.size() > 1) {
    // After a stable sort equal entries are neighbours in insertion order: keep the first of each.
    std::vector<Item> unique;
    unique.reserve(items_.size());
    for (Item& item : items_) {
      if (!unique.empty() && CompareStrings(unique.back().text, item.text) == 0) {
        FreeObject(item.object);
        continue;
      }
      unique.push_back(std::move(item));
    }
    items_.swap(unique);
  }
  Changed();
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
  if (caseSensitive == caseSensitive_) return;
  caseSensitive_ = caseSensitive;
  if (sorted_) Sort();
}

std::string TStringList::Text() const {
  std::string out;
  for (const Item& item : items_) {
    out += item.text;
    out += "\r\n";
  }
  return out;
}

void TStringList::SetText(std::string_view text) {
  BeginUpdate();
  Clear();
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    Add(std::string(text.substr(i, end - i)));
    i = end;
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
  EndUpdate();
}

std::string TStringList::CommaText() const {
  std::string out;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i > 0) out += ',';
    out += '"';
    for (char c : items_[i].text) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

void TStringList::SetCommaText(std::string_view text) {
  // A NUL ends the text, as it would end the original character array.
  if (size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  auto isSkippable = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= 32; };
  BeginUpdate();
  Clear();
  size_t p = 0;
  while (p < text.size() && isSkippable(text[p])) ++p;
  while (p < text.size()) {
    std::string item;
    if (text[p] == '"') {
      ++p;
      while (p < text.size()) {
        if (text[p] == '"') {
          if (p + 1 < text.size() && text[p + 1] == '"') {
            item += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += text[p++];
      }
    } else {
      size_t start = p;
      while (p < text.size() && static_cast<unsigned char>(text[p]) > 32 && text[p] != ',') ++p;
      item.assign(text.substr(start, p - start));
    }
    Add(std::move(item));
    while (p < text.size() && isSkippable(text[p])) ++p;
    if (p < text.size() && text[p] == ',') {
      if (p + 1 == text.size()) Add(std::string());
      do {
        ++p;
      } while (p < text.size() && isSkippable(text[p]));
    }
  }
  EndUpdate();
}

void TStringList::Assign(const TStringList& other) {
  if (&other == this) return;
  BeginUpdate();
  Clear();
  AddStrings(other);
  EndUpdate();
}

void TStringList::AddStrings(const TStringList& other) {
  BeginUpdate();
  for (const Item& item : other.items_) AddObject(item.text, item.object);
  EndUpdate();
}

}  // namespace dravello
