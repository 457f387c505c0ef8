// The few window-framework services the archiver component needs: a blocking message box, the
// busy cursor, processing of waiting window messages, the owner window handle and the run-time
// password dialog. The default implementation (ZipArchiverUi.cpp) uses the application object of
// ui/; tests install a double with TZipArchiver::SetUi.
#pragma once

#include <cstdint>
#include <string>

namespace dravello {

class TZipArchiverUi {
 public:
  virtual ~TZipArchiverUi() = default;

  // The application's own window (owner of the engine's windows); 0 where there is none.
  virtual uintptr_t OwnerWindow() = 0;
  // Shows the text in a message box and returns when it is closed.
  virtual void ShowMessage(const std::string& text) = 0;
  // Handles the window messages that are waiting, so that the host's windows repaint and react.
  virtual void ProcessMessages() = 0;
  // Whether the active window belongs to the program's own thread (the busy cursor is only
  // changed then), and the screen cursor itself.
  virtual bool ActiveWindowIsOurs() = 0;
  virtual int16_t ScreenCursor() = 0;
  virtual void SetScreenCursor(int16_t cursor) = 0;
  // Shows the password dialog modally with the buttons of `buttons` (bit n: TPasswordButton n;
  // OK is always there). Returns its modal result and, when that is OK, the entry in *entry.
  virtual int32_t ShowPasswordDialog(const std::string& title, const std::string& prompt, uint32_t buttons,
                                     std::string* entry) = 0;

  // The implementation on the application object of ui/.
  static TZipArchiverUi& Default();
};

}  // namespace dravello
