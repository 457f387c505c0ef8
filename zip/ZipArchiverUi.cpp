// Provisional: the window framework's application object is not there yet. No windows exist, so
// there is nothing to own, repaint or point at; message boxes go to the error stream and the
// password dialog is cancelled.
#include "zip/ZipArchiverUi.h"

#include <iostream>

namespace dravello {

namespace {

class ProvisionalUi final : public TZipArchiverUi {
 public:
  uintptr_t OwnerWindow() override { return 0; }
  void ShowMessage(const std::string& text) override { std::cerr << text << '\n'; }
  void ProcessMessages() override {}
  bool ActiveWindowIsOurs() override { return false; }
  int16_t ScreenCursor() override { return 0; }
  void SetScreenCursor(int16_t) override {}
  int32_t ShowPasswordDialog(const std::string&, const std::string&, uint32_t, std::string*) override { return 2; }
};

}  // namespace

TZipArchiverUi& TZipArchiverUi::Default() {
  static ProvisionalUi ui;
  return ui;
}

}  // namespace dravello
