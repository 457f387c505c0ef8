#include "runtime/Classes.h"

#include <algorithm>
#include <exception>
#include <numeric>

#include "runtime/Locale.h"
#include "runtime/SysUtils.h"

namespace dravello {

namespace {

// BeginUpdate/EndUpdate for a block, also when it raises, so a failed bulk change does not leave
// the list silenced for good.
class UpdateScope {
 public:
  explicit UpdateScope(TStringList& list) : list_(list), exceptions_(std::uncaught_exceptions()) { list_.BeginUpdate(); }
  // The change notice may raise; while another failure unwinds, that one is the one to report.
  ~UpdateScope() noexcept(false) {
    if (std::uncaught_exceptions() == exceptions_) {
      list_.EndUpdate();
      return;
    }
    try {
      list_.EndUpdate();
    } catch (...) {
    }
  }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  TStringList& list_;
  int exceptions_;
};

}  // namespace

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
  int c = caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
  if (c == 0 && exactDuplicates_) c = a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
  return c;
}

bool TStringList::SameStrings(std::string_view a, std::string_view b) const {
  return caseSensitive_ || exactDuplicates_ ? a == b : AnsiSameText(a, b);
}

std::string TStringList::KeyOf(std::string_view s) const {
  std::string primary = AnsiSortKey(s, !caseSensitive_);
  if (!exactDuplicates_) return primary;
  // (primary key, bytes) as one byte string: zero bytes of the primary key are escaped and it
  // ends with 00 00, which sorts before any continuation, so byte order is pair order.
  std::string key;
  key.reserve(primary.size() + s.size() + 2);
  for (char c : primary) {
    key.push_back(c);
    if (c == '\0') key.push_back('\1');
  }
  key.append(2, '\0');
  key.append(s);
  return key;
}

void TStringList::SetExactDuplicates(bool exact) {
  if (exact == exactDuplicates_) return;
  exactDuplicates_ = exact;
  DropKeys();
  if (sorted_) Sort();
}

void TStringList::DeleteWhere(const std::function<bool(int index)>& remove) {
  std::vector<char> drop(items_.size(), 0);
  for (size_t i = items_.size(); i-- > 0;) drop[i] = remove(static_cast<int>(i)) ? 1 : 0;
  std::vector<Item> kept;
  kept.reserve(items_.size());
  bool changed = false;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (drop[i]) {
      FreeObject(items_[i].object);
      changed = true;
    } else {
      kept.push_back(std::move(items_[i]));
    }
  }
  items_.swap(kept);
  DropKeys();
  if (changed) Changed();
}

bool TStringList::KeyedSearch() const { return sorted_ && CollationGeneration() != 0; }

void TStringList::EnsureKeys() const {
  uint32_t generation = CollationGeneration();
  if (keysGeneration_ == generation && keys_.size() == items_.size()) return;
  keys_.clear();
  keys_.reserve(items_.size());
  for (const Item& item : items_) keys_.push_back(KeyOf(item.text));
  keysGeneration_ = generation;
}

void TStringList::DropKeys() {
  keys_.clear();
  keys_.shrink_to_fit();
  keysGeneration_ = 0;
}

bool TStringList::FindKey(const std::string& key, int& index) const {
  EnsureKeys();
  auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
  index = static_cast<int>(it - keys_.begin());
  return it != keys_.end() && *it == key;
}

bool TStringList::Find(std::string_view s, int& index) const {
  if (KeyedSearch()) return FindKey(KeyOf(s), index);
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
  std::string key;
  if (sorted_) {
    const bool keyed = KeyedSearch();
    bool found;
    if (keyed) {
      key = KeyOf(s);
      found = FindKey(key, index);
    } else {
      found = Find(s, index);
    }
    if (found) {
      switch (duplicates_) {
        case TDuplicates::dupIgnore:
          return index;
        case TDuplicates::dupError:
          throw EListError("String list does not allow duplicates");
        case TDuplicates::dupAccept:
          while (index < Count() && (keyed ? keys_[static_cast<size_t>(index)] == key
                                           : SameStrings(items_[static_cast<size_t>(index)].text, s)))
            ++index;
          break;
      }
    }
    if (keyed) {
      items_.insert(items_.begin() + index, Item{std::move(s), object});
      keys_.insert(keys_.begin() + index, std::move(key));
      Changed();
      return index;
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
  if (keys_.size() == items_.size())
    keys_.erase(keys_.begin() + index);
  else
    DropKeys();
  items_.erase(items_.begin() + index);
  FreeObject(object);
  Changed();
}

void TStringList::Clear() {
  DropKeys();
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
  DropKeys();
  Changed();
}

void TStringList::Move(int from, int to) {
  CheckIndex(from);
  CheckIndex(to);
  if (from == to) return;
  DropKeys();
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
    if (SameStrings(items_[i].text, s)) return static_cast<int>(i);
  return -1;
}

int TStringList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string& t = items_[i].text;
    size_t eq = t.find('=');
    if (eq != std::string::npos && SameStrings(std::string_view(t).substr(0, eq), name))
      return static_cast<int>(i);
  }
  return -1;
}

void TStringList::Permute(const std::vector<uint32_t>& order) {
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (uint32_t i : order) sorted.push_back(std::move(items_[i]));
  items_.swap(sorted);
}

void TStringList::SortStably(std::vector<char>* equalToPrevious) {
  const size_t n = items_.size();
  // The primary keys of all entries in one block of memory: a list of hundreds of thousands of
  // paths would otherwise hold a string object for every key. Of two entries with equal primary
  // keys, an exact list orders (and tells apart) by their bytes.
  std::string primary;
  size_t texts = 0;
  for (const Item& item : items_) texts += item.text.size();
  primary.reserve(texts + texts / 8);  // a key is about as long as its text, outside some locales
  std::vector<size_t> ends(n);
  for (size_t i = 0; i < n; ++i) {
    primary += AnsiSortKey(items_[i].text, !caseSensitive_);
    ends[i] = primary.size();
  }
  auto key = [&](uint32_t i) {
    const size_t begin = i == 0 ? 0 : ends[i - 1];
    return std::string_view(primary).substr(begin, ends[i] - begin);
  };
  auto compare = [&](uint32_t a, uint32_t b) {
    int c = key(a).compare(key(b));
    if (c == 0 && exactDuplicates_) c = items_[a].text.compare(items_[b].text);
    return c;
  };
  std::vector<uint32_t> order(n);
  std::iota(order.begin(), order.end(), uint32_t{0});
  // Equal keys keep their insertion order (the index decides), so the sort is stable.
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const int c = compare(a, b);
    return c < 0 || (c == 0 && a < b);
  });
  if (equalToPrevious) {
    equalToPrevious->assign(n, 0);
    for (size_t k = 1; k < n; ++k) (*equalToPrevious)[k] = compare(order[k - 1], order[k]) == 0;
  }
  Permute(order);
  // The search keys come back on demand (EnsureKeys): a list that is only walked never needs them.
  DropKeys();
}

void TStringList::Sort() {
  SortStably(nullptr);
  Changed();
}

void TStringList::CustomSort(const std::function<int(const std::string&, const std::string&)>& compare) {
  std::vector<uint32_t> order(items_.size());
  std::iota(order.begin(), order.end(), uint32_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return compare(items_[a].text, items_[b].text) < 0; });
  Permute(order);
  DropKeys();
  Changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  sorted_ = sorted;
  if (!sorted) {
    DropKeys();
    return;
  }
  std::vector<char> equal;
  SortStably(&equal);
  if (duplicates_ == TDuplicates::dupIgnore && items_.size() > 1) {
    // After a stable sort equal entries are neighbours in insertion order: keep the first of each.
    size_t kept = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (kept > 0 && equal[i]) {
        FreeObject(items_[i].object);
        continue;
      }
      if (kept != i) items_[kept] = std::move(items_[i]);
      ++kept;
    }
    items_.resize(kept);
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
  UpdateScope update(*this);
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
  UpdateScope update(*this);
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
      do {
        ++p;
      } while (p < text.size() && isSkippable(text[p]));
      // Every comma starts one more item, so a comma at the end (blanks after it or not) adds
      // an empty last item.
      if (p == text.size()) Add(std::string());
    }
  }
}

void TStringList::Assign(const TStringList& other) {
  if (&other == this) return;
  UpdateScope update(*this);
  Clear();
  AddStrings(other);
}

void TStringList::TakeStrings(TStringList& other) {
  if (&other == this) return;
  UpdateScope update(*this);
  UpdateScope otherUpdate(other);
  Clear();
  std::vector<Item> taken;
  taken.swap(other.items_);
  other.DropKeys();
  other.Changed();
  if (!sorted_) {
    items_.swap(taken);
    Changed();
    return;
  }
  for (Item& item : taken) AddObject(std::move(item.text), item.object);
}

void TStringList::AddStrings(const TStringList& other) {
  // Adding a list to itself would grow the vector being walked: walk a copy then.
  const std::vector<Item> copy = &other == this ? items_ : std::vector<Item>();
  const std::vector<Item>& source = &other == this ? copy : other.items_;
  UpdateScope update(*this);
  for (const Item& item : source) AddObject(item.text, item.object);
}

}  // namespace dravello
