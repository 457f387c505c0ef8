// The engine's side of the callback conversation: one callback record owned here, filled for
// each call on the calling thread. Once the caller asks to stop, Aborted() stays true.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "zip/ZipEngineApi.h"

namespace dravello::zipengine {

class EngineReporter {
 public:
  EngineReporter(ZipEngineCallback callback, void* componentRef);

  // Makes one callback; returns true when the caller asked to stop (now or before).
  bool Call(int32_t action, int32_t arg, uint64_t value, std::string_view text);

  // Action 4: a message with its code (0 for plain information).
  void Message(int code, std::string_view text) { Call(zcaMessage, code, 0, text); }

  // Action 8: asks for the password of an add. Nothing when the caller gives none.
  std::optional<std::string> AskPassword(std::string_view forFile);

  bool Aborted() const { return aborted_; }

 private:
  // The record the caller sees, with room to spare beyond the fields it reads.
  struct Record {
    ZipCallbackData Data;
    char Spare[64];
  };

  void Fill(int32_t action, int32_t arg, uint64_t value, std::string_view text);

  ZipEngineCallback callback_;
  void* componentRef_;
  Record record_{};
  bool aborted_ = false;
};

}  // namespace dravello::zipengine
