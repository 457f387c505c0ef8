// Comma text, both ways. Two of the script store's fields live in the INI file as comma text, so
// whatever a user or another program leaves there must parse without harm, and every list we
// write must read back as exactly the same items.
#include <string>
#include <vector>

#include "fuzzers/FuzzTargets.h"
#include "runtime/Classes.h"

namespace dravello::fuzz {

namespace {

std::vector<std::string> Items(const TStringList& list) { return {list.begin(), list.end()}; }

std::string Describe(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + Printable(items[i]);
  return out + "]";
}

// Writes `items` as comma text and parses it back; the result must be the same items.
void CheckRoundTrip(const std::vector<std::string>& items) {
  TStringList written;
  for (const std::string& item : items) written.Add(item);
  const std::string text = written.CommaText();
  TStringList read;
  read.SetCommaText(text);
  DV_FUZZ_CHECK(Items(read) == items, "wrote " + Describe(items) + " as " + Printable(text) + ", read back " +
                                          Describe(Items(read)));
}

}  // namespace

int CommaText(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Any bytes parse. What they parse to has no NUL in it (a NUL ends the text), so it is itself
  // a list we may write.
  TStringList parsed;
  parsed.SetCommaText(bytes);
  for (const std::string& item : parsed)
    DV_FUZZ_CHECK(item.find('\0') == std::string::npos, "parsed item with a NUL from " + Printable(bytes));
  CheckRoundTrip(Items(parsed));

  // The bytes as items of their own: NUL separates them (a NUL cannot be in an item).
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t nul = bytes.find('\0', start);
    items.emplace_back(bytes.substr(start, nul == std::string_view::npos ? std::string_view::npos : nul - start));
    if (nul == std::string_view::npos) break;
    start = nul + 1;
  }
  // No input at all stands for the empty list, which writes as "" and must read back empty.
  if (size == 0) items.clear();
  CheckRoundTrip(items);
  return 0;
}

}  // namespace dravello::fuzz

DV_FUZZ_ENTRY(CommaText)
