// A set of positions in a vector, looked up by a text each element holds (a path, a name): it
// tells whether an element with a given text was taken, without holding any text a second time.
// A backup of many files would otherwise keep a copy of every path and every name just to find
// duplicates.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace dravello::zipengine {

template <class Element, std::string_view (*KeyOf)(const Element&)>
class KeyedIndexSet {
 public:
  // `elements` must outlive the set; positions stay valid when it grows.
  explicit KeyedIndexSet(const std::vector<Element>& elements)
      : set_(16, Hash{&elements}, Equal{&elements}) {}

  bool Contains(std::string_view key) const { return set_.find(key) != set_.end(); }
  // Takes the element at `index` (its text is read from the vector).
  void Insert(size_t index) { set_.insert(static_cast<uint32_t>(index)); }

 private:
  struct Hash {
    using is_transparent = void;
    const std::vector<Element>* elements;
    size_t operator()(uint32_t i) const { return (*this)(KeyOf((*elements)[i])); }
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
  };
  struct Equal {
    using is_transparent = void;
    const std::vector<Element>* elements;
    std::string_view Of(uint32_t i) const { return KeyOf((*elements)[i]); }
    std::string_view Of(std::string_view key) const { return key; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return Of(a) == Of(b);
    }
  };
  std::unordered_set<uint32_t, Hash, Equal> set_;
};

}  // namespace dravello::zipengine
