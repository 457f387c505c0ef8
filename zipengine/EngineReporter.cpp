#include "zipengine/EngineReporter.h"

#include <algorithm>
#include <cstring>

namespace dravello::zipengine {

EngineReporter::EngineReporter(ZipEngineCallback callback, void* componentRef)
    : callback_(callback), componentRef_(componentRef) {}

void EngineReporter::Fill(int32_t action, int32_t arg, uint64_t value, std::string_view text) {
  std::memset(&record_, 0, sizeof record_);
  record_.Data.ComponentRef = componentRef_;
  record_.Data.IsZipAction = 1;
  record_.Data.ActionCode = action;
  record_.Data.ActionArg = arg;
  record_.Data.FileSize = static_cast<uintptr_t>(value);
  size_t n = std::min(text.size(), sizeof record_.Data.Text - 1);
  std::memcpy(record_.Data.Text, text.data(), n);
}

bool EngineReporter::Call(int32_t action, int32_t arg, uint64_t value, std::string_view text) {
  if (!callback_) return aborted_;
  Fill(action, arg, value, text);
  if (callback_(&record_.Data) != 0) aborted_ = true;
  return aborted_;
}

std::optional<std::string> EngineReporter::AskPassword(std::string_view forFile) {
  if (!callback_) return std::nullopt;
  Fill(zcaPassword, 1, 1, forFile);  // bit 0 of the argument: a password for adding
  if (callback_(&record_.Data) != 0) aborted_ = true;
  if (record_.Data.ActionArg != 1) return std::nullopt;
  record_.Data.Text[sizeof record_.Data.Text - 1] = 0;
  std::string answer(record_.Data.Text);
  if (answer.empty()) return std::nullopt;
  return answer;
}

}  // namespace dravello::zipengine
