// TStringList: the run-time library's list of strings, each with an optional object.
//
// Unsorted lists keep the order of insertion. Sorted lists keep their strings ordered by the
// locale comparison (AnsiCompareText, or AnsiCompareStr when CaseSensitive) and find entries by
// binary search; Duplicates decides what adding an equal string does. Equality in IndexOf uses the
// same comparison, so an unsorted list also finds "ABC" when asked for "abc" unless CaseSensitive.
//
// Not safe for use from several threads at once, even for reading: under a language collation a
// sorted list keeps its entries' sort keys and builds them on its first search.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Object.h"

namespace dravello {

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TObject {
  DV_CLASS(TStringList)

 public:
  TStringList() = default;
  explicit TStringList(bool sorted, TDuplicates duplicates = TDuplicates::dupIgnore)
      : sorted_(sorted), duplicates_(duplicates) {}
  ~TStringList() override;

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  // Makes room for `count` entries in all, so that a list filled from one of known size grows
  // once rather than by doubling (which holds it twice at every growth).
  void SetCapacity(int count) { items_.reserve(static_cast<size_t>(std::max(count, 0))); }

  // Index checks raise EListError ("List index out of bounds (%d)").
  const std::string& Strings(int index) const;
  const std::string& operator[](int index) const { return Strings(index); }
  // Replacing a string of a sorted list raises EListError ("Operation not allowed on sorted list").
  void SetString(int index, std::string s);
  TObject* Objects(int index) const;
  void SetObject(int index, TObject* object);

  // Adds s. Sorted: at its place; an equal string already present is ignored (dupIgnore, the
  // index of the present one is returned), raises EListError (dupError) or is added after the
  // equal ones (dupAccept). Unsorted: at the end.
  int Add(std::string s) { return AddObject(std::move(s), nullptr); }
  int AddObject(std::string s, TObject* object);
  // Inserts at index; raises EListError on a sorted list.
  void Insert(int index, std::string s, TObject* object = nullptr);
  void Delete(int index);
  // Deletes every entry whose index satisfies `remove` (asked once per index, last to first), in
  // one pass: O(n) where deleting one by one would be O(n^2).
  void DeleteWhere(const std::function<bool(int index)>& remove);
  void Clear();
  // Index checks as for Strings; Move takes the entry out at `from` and puts it in at `to`.
  void Exchange(int a, int b);
  void Move(int from, int to);

  // The first entry equal to s, or -1. Binary search when sorted.
  int IndexOf(std::string_view s) const;
  // Sorted lists only: true when s is present; index is its position or where it would go.
  bool Find(std::string_view s, int& index) const;
  // The first "name=value" entry whose name equals `name`, or -1.
  int IndexOfName(std::string_view name) const;

  bool Sorted() const { return sorted_; }
  // Switching sorting on orders the list at once (stably). With dupIgnore, later entries equal to
  // an earlier one are then removed, so the result is exactly what adding the entries one by one
  // to a sorted list would have given; collecting many strings unsorted and sorting once is the
  // fast way to build a large sorted list.
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates d) { duplicates_ = d; }
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool caseSensitive);
  // When set, only byte-identical strings are equal (duplicates, IndexOf, Find), while the order
  // stays that of the list's comparison, texts equal under it being ordered by their bytes. File
  // names on a case-sensitive file system need this: "Report.txt" and "report.txt" are two
  // files, yet a listing still sorts without regard to case.
  bool ExactDuplicates() const { return exactDuplicates_; }
  void SetExactDuplicates(bool exact);
  // When set, the list deletes the objects of entries it removes and of itself.
  bool OwnsObjects() const { return ownsObjects_; }
  void SetOwnsObjects(bool owns) { ownsObjects_ = owns; }

  // Stable sort by the list's comparison (does not change Sorted).
  void Sort();
  // Stable sort by the given comparison (<0, 0, >0).
  void CustomSort(const std::function<int(const std::string&, const std::string&)>& compare);

  // The lines, each followed by CR LF. Setting splits at CR LF, CR or LF; a final line break
  // does not start another line.
  std::string Text() const;
  void SetText(std::string_view text);

  // Comma text: every item in double quotes with inner quotes doubled, joined by single commas;
  // the empty list gives "". Setting clears the list and parses: characters 1 to 32 are skipped
  // before and after an item; a quoted item runs to its closing quote ("" inside is one quote);
  // an unquoted one ends at a comma or a character of code 32 or less; each comma starts one more
  // item, so ",," gives an empty item and a trailing comma adds an empty last item. A NUL ends
  // the text.
  std::string CommaText() const;
  void SetCommaText(std::string_view text);

  // Replaces the content with other's strings and object pointers. The objects are shared, not
  // copied, so at most one of the two lists may own them.
  void Assign(const TStringList& other);
  // As Assign, but moves other's entries here and leaves other empty: for handing over a long
  // list, where a copy would hold it twice. Each list keeps its own settings.
  void TakeStrings(TStringList& other);
  // Adds other's entries as Add would (a list may be added to itself).
  void AddStrings(const TStringList& other);

  int CompareStrings(std::string_view a, std::string_view b) const;

  // Change notification for observers (controls mirror their item lists this way). Changes made
  // between BeginUpdate and the matching EndUpdate are announced once, at EndUpdate.
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  std::function<void(TStringList&)> OnChange;

  auto begin() const { return Iterator{items_.begin()}; }
  auto end() const { return Iterator{items_.end()}; }

 private:
  struct Item {
    std::string text;
    TObject* object = nullptr;
  };
  struct Iterator {
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string*;
    using reference = const std::string&;
    std::vector<Item>::const_iterator it;
    const std::string& operator*() const { return it->text; }
    const std::string* operator->() const { return &it->text; }
    Iterator& operator++() { return ++it, *this; }
    Iterator operator++(int) { Iterator old = *this; ++it; return old; }
    bool operator==(const Iterator& o) const { return it == o.it; }
  };

  void CheckIndex(int index) const;
  void Changed();
  void FreeObject(TObject* object) const;
  bool SameStrings(std::string_view a, std::string_view b) const;
  // The byte string whose order is the list's order (see ExactDuplicates).
  std::string KeyOf(std::string_view s) const;
  void Permute(const std::vector<uint32_t>& order);
  // Sorts stably by sort key; with `equalToPrevious`, also tells for each entry in the new order
  // whether it equals the one before it. Drops the search keys.
  void SortStably(std::vector<char>* equalToPrevious);
  // Sort-key cache of a sorted list (see CollationGeneration): comparing through the collation
  // costs two sort keys each time, so a sorted list keeps its entries' keys while the collation
  // is not code-point order. Every change to the entries keeps keys_ in step or drops it.
  bool KeyedSearch() const;
  void EnsureKeys() const;
  void DropKeys();
  bool FindKey(const std::string& key, int& index) const;

  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = TDuplicates::dupIgnore;
  bool caseSensitive_ = false;
  bool exactDuplicates_ = false;
  bool ownsObjects_ = false;
  int updateCount_ = 0;
  bool changedInUpdate_ = false;
  mutable std::vector<std::string> keys_;
  mutable uint32_t keysGeneration_ = 0;
};

}  // namespace dravello
