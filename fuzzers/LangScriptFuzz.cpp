// Language scripts on arbitrary text. A window's script comes with the program, but the routines
// promise that malformed lines never fail, and the form translation that a script drives must
// end either normally or with one of its documented errors, never with a crash or a hang.
//
// Per input (the bytes as script lines): SplitLine on every line, SelectLanguage for a few codes
// (with FindValue over the selection), then a small test form translated by the script in every
// one of those languages, once on its own and once inside an application tree with a language
// synchroniser.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fuzzers/FuzzTargets.h"
#include "lang/Localizer.h"
#include "lang/LocalizerUtils.h"
#include "runtime/SysUtils.h"
#include "tests/lang/TestForm.h"

namespace dravello::fuzz {

namespace {

constexpr int kMaxLines = 512;
constexpr size_t kMaxCodes = 7;

bool IsTrimmed(std::string_view s) {
  return s.empty() || (static_cast<unsigned char>(s.front()) > 32 && static_cast<unsigned char>(s.back()) > 32);
}

void CheckSplitLine(const std::string& line) {
  const TScriptEntry e = SplitLine(line);
  DV_FUZZ_CHECK(IsTrimmed(e.Name), "untrimmed name from " + Printable(line));
  DV_FUZZ_CHECK(e.Name.find('=') == std::string::npos, "name with \"=\" from " + Printable(line));
  if (line.find('=') == std::string::npos) DV_FUZZ_CHECK(e.Name.empty(), "name without \"=\" from " + Printable(line));
  // "\n" becomes CR LF everywhere, and the replacement cannot leave a new "\n" behind.
  DV_FUZZ_CHECK(e.Value.find("\\n") == std::string::npos, "escape left in the value of " + Printable(line));
}

void CheckSelection(const TStringList& script, const std::string& code) {
  TStringList lines;
  SelectLanguage(script, lines, code);
  DV_FUZZ_CHECK(lines.Count() <= script.Count(), "more lines selected than the script has");
  for (const std::string& line : lines) {
    DV_FUZZ_CHECK(!line.empty() && IsTrimmed(line), "selected line not trimmed: " + Printable(line));
    DV_FUZZ_CHECK(line.front() != '[' && line.front() != ';', "header or comment selected: " + Printable(line));
  }
  TStringList upper;
  SelectLanguage(script, upper, UpperCaseAscii(code));
  DV_FUZZ_CHECK(std::vector<std::string>(upper.begin(), upper.end()) == std::vector<std::string>(lines.begin(), lines.end()),
                "code " + Printable(code) + " selects other lines in capitals");

  // FindValue gives the value of the first line with that name.
  for (int i = 0; i < lines.Count() && i < 16; ++i) {
    const std::string name = SplitLine(lines[i]).Name;
    std::string first;
    for (int j = 0; j <= i; ++j) {
      TScriptEntry e = SplitLine(lines[j]);
      if (e.Name == name) {
        first = e.Value;
        break;
      }
    }
    DV_FUZZ_CHECK(FindValue(lines, name) == first, "FindValue of " + Printable(name) + " is not the first entry's value");
  }
}

// Runs a step that may end in one of the translation's documented errors.
template <class F>
void Guarded(F&& step) {
  try {
    step();
  } catch (const EConvertError&) {  // enumeration, set, character, 64-bit and float texts
  } catch (const EPropertyError&) {  // events, records and other kinds without a text form
  } catch (const EListError&) {      // a collection index outside the collection
  }
}

class ScopedApplicationRoot {
 public:
  explicit ScopedApplicationRoot(TComponent* root) { SetApplicationRoot(root); }
  ~ScopedApplicationRoot() { SetApplicationRoot(nullptr); }
  ScopedApplicationRoot(const ScopedApplicationRoot&) = delete;
  ScopedApplicationRoot& operator=(const ScopedApplicationRoot&) = delete;
};

void TranslateForm(const TStringList& script, const std::vector<std::string>& codes, bool inTree) {
  using namespace dravello::test;
  TComponent application(nullptr);
  ScopedApplicationRoot root(inTree ? &application : nullptr);
  // Destroyed before the application, which it then leaves.
  TTestForm form(inTree ? &application : nullptr, "frmFuzz");
  auto* button = new TTestButton(&form, "sbOk");
  button->Columns()->Add();
  button->Columns()->Add();
  new TTestControl(&form, "lblInfo");
  auto* frame = new TTestForm(&form, "pnlFrame");
  new TTestControl(frame, "lblDeep");
  if (inTree) (new TLocalizerSync(&form))->SetName("lsSync");
  auto* ml = new TLocalizer(&form);
  ml->SetName("mlFuzz");

  Guarded([&] { ml->SetScript(script); });
  for (const std::string& code : codes) Guarded([&] { ml->SetLanguage(code); });
  // Every path the selection names resolves without harm, whatever it reaches.
  for (const std::string& line : ml->SelectedLines()) {
    const std::string name = SplitLine(line).Name;
    const size_t dot = name.rfind('.');
    Guarded([&] { (void)ResolvePath(&form, dot == std::string::npos ? std::string() : name.substr(0, dot)); });
  }
}

}  // namespace

int LangScript(const uint8_t* data, size_t size) {
  TStringList script;
  script.SetText(std::string_view(reinterpret_cast<const char*>(data), size));
  if (script.Count() > kMaxLines) return 0;  // long scripts add time, not paths

  std::vector<std::string> codes = {"", "en", "de"};
  for (const std::string& line : script) {
    CheckSplitLine(line);
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() != '[' || codes.size() >= kMaxCodes) continue;
    const std::string code = SectionName(trimmed);
    if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
  }
  for (const std::string& code : codes) CheckSelection(script, code);

  TranslateForm(script, codes, false);
  TranslateForm(script, codes, true);
  return 0;
}

}  // namespace dravello::fuzz

DV_FUZZ_ENTRY(LangScript)
