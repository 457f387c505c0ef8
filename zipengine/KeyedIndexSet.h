// A set of positions in a vector, looked up by a text each element holds (a path, a name): it
// tells whether an element with a given text was taken, without holding any text a second time.
// A backup of many files would otherwise keep a copy of every path and every name just to find
// duplicates.
//
// Open addressing over 8-byte slots (a position and its text's hash): no allocation per element,
// and growing rehashes no text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace dravello::zipengine {

template <class Element, std::string_view (*KeyOf)(const Element&)>
class KeyedIndexSet {
 public:
  // `elements` must outlive the set; positions stay valid when it grows.
  explicit KeyedIndexSet(const std::vector<Element>& elements) : elements_(elements) {}

  // Makes room for `n` elements, so that taking that many allocates nothing more.
  void Reserve(size_t n) {
    size_t want = 16;
    while (want * 3 < n * 4) want *= 2;
    if (want > slots_.size()) Rehash(want);
  }

  static constexpr size_t kNone = SIZE_MAX;

  // The position of the element taken with this text, or kNone.
  size_t Find(std::string_view key) const {
    if (slots_.empty()) return kNone;
    const uint32_t h = HashOf(key);
    for (size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& s = slots_[i];
      if (s.Index == kEmpty) return kNone;
      if (s.Hash == h && KeyOf(elements_[s.Index]) == key) return s.Index;
    }
  }
  bool Contains(std::string_view key) const { return Find(key) != kNone; }

  // Takes the element at `index`, whose text must not be in the set yet.
  void Insert(size_t index) {
    if ((size_ + 1) * 4 > slots_.size() * 3) Rehash(slots_.empty() ? 16 : slots_.size() * 2);
    Place({static_cast<uint32_t>(index), HashOf(KeyOf(elements_[index]))});
    ++size_;
  }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  struct Slot {
    uint32_t Index = kEmpty;
    uint32_t Hash = 0;
  };

  static uint32_t HashOf(std::string_view key) { return static_cast<uint32_t>(std::hash<std::string_view>()(key)); }

  void Place(Slot slot) {
    size_t i = slot.Hash & (slots_.size() - 1);
    while (slots_[i].Index != kEmpty) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = slot;
  }

  void Rehash(size_t count) {  // `count` a power of two
    std::vector<Slot> old(count);
    old.swap(slots_);
    for (const Slot& s : old)
      if (s.Index != kEmpty) Place(s);
  }

  const std::vector<Element>& elements_;
  std::vector<Slot> slots_;  // a power of two in size, at most three quarters taken
  size_t size_ = 0;
};

}  // namespace dravello::zipengine
