// A window framework for the archiver component that shows nothing and answers every question
// with "no": the fuzzers run it unattended, and a message box or dialog that still appeared
// would be a finding of its own (counted here).
#pragma once

#include <cstdint>
#include <string>

#include "zip/ZipArchiverUi.h"

namespace dravello::fuzz {

class SilentZipUi : public TZipArchiverUi {
 public:
  uintptr_t OwnerWindow() override { return 0; }
  void ShowMessage(const std::string&) override { ++Shown; }
  void ProcessMessages() override {}
  bool ActiveWindowIsOurs() override { return false; }
  int16_t ScreenCursor() override { return 0; }
  void SetScreenCursor(int16_t) override {}
  int32_t ShowPasswordDialog(const std::string&, const std::string&, uint32_t, std::string*) override {
    ++Shown;
    return 2;  // Cancel
  }

  int Shown = 0;
};

}  // namespace dravello::fuzz
