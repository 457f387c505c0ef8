// The program's two windows on the Win32 front end, looked at as native windows: the main window's
// title, frame and client size, every control with its class and its caption in English and
// German, the buttons' clicks reaching the window's commands (with the message boxes and the
// editor they open), the editor closed with OK, Cancel and Enter, positions kept without drift,
// accelerators, hints, and the change of DPI.
#include <filesystem>

#include "Win32TestSupport.h"
#include "app/u_frmConfig.h"
#include "ini/SectionIni.h"

namespace dravello::win32test {
namespace {

constexpr const char* kTitle = "Velmora's Dravello";

class Win32App : public Win32Fixture {
 protected:
  // The editor standing now, once its window is shown.
  static TfrmConfig* Editor() {
    TForm* active = Screen ? Screen->ActiveForm() : nullptr;
    auto* editor = dynamic_cast<TfrmConfig*>(active);
    HWND hwnd = editor && TWin32FrontEnd::Current() ? TWin32FrontEnd::Current()->HwndOf(editor) : nullptr;
    return hwnd && IsWindowVisible(hwnd) ? editor : nullptr;
  }
  HWND EditorHwnd() const { return Editor() ? Hwnd(Editor()) : nullptr; }

  void AddScript(const std::string& name, const std::string& source, const std::string& destination) {
    TSectionIniFile ini(IniFileName);
    ini.WriteText("scripts", name, "");
    ini.WriteText("script: " + name, "CopyFiles", "1");
    ini.WriteText("script: " + name, "DstPath", destination);
    ini.WriteText("script: " + name, "DstFormat", "2");
    ini.WriteText("script: " + name, "SrcPath", "\"1" + source + "\"");
    ini.UpdateFile();
  }
  int ComboCount() const { return static_cast<int>(SendMessageW(Hwnd(main_->cbxScriptName), CB_GETCOUNT, 0, 0)); }
  std::string ComboText() const { return TextOf(Hwnd(main_->cbxScriptName)); }
};

struct CaptionCase {
  const char* control;
  const char* windowClass;
  const char* en;
  const char* de;
};

TEST_F(Win32App, TheMainWindowHasItsTitleFrameAndClientSize) {
  TfrmMain& form = StartMain();
  HWND hwnd = Hwnd(&form);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(TextOf(hwnd), kTitle);
  const int dpi = ui_->DpiOf(form);
  const SIZE client = ClientSize(hwnd);
  EXPECT_EQ(client.cx, win32::Scale(312, dpi));
  EXPECT_EQ(client.cy, win32::Scale(108, dpi));
  // Single fixed border, system menu and minimise box, no maximise box.
  EXPECT_TRUE(Style(hwnd) & WS_CAPTION);
  EXPECT_TRUE(Style(hwnd) & WS_SYSMENU);
  EXPECT_TRUE(Style(hwnd) & WS_MINIMIZEBOX);
  EXPECT_FALSE(Style(hwnd) & WS_MAXIMIZEBOX);
  EXPECT_FALSE(Style(hwnd) & WS_THICKFRAME);
  // The window's client corner is where the model has it.
  const POINT origin = ClientOrigin(hwnd);
  EXPECT_EQ(origin.x, form.Left() + form.ClientOffsetX());
  EXPECT_EQ(origin.y, form.Top() + form.ClientOffsetY());
}

TEST_F(Win32App, EveryControlOfTheMainWindowInEnglishAndGerman) {
  const CaptionCase cases[] = {
      {"gbxScript", "Button", " Script ", " Skript "},
      {"cbxScriptName", "ComboBox", "", ""},
      {"sbAdd", "DravelloSpeedButton", "&Add", "&Neu"},
      {"sbDel", "DravelloSpeedButton", "&Delete", "&L\xC3\xB6schen"},
      {"sbEdt", "DravelloSpeedButton", "&Edit", "&Bearb."},
      {"sbRun", "DravelloSpeedButton", "&Run", "&Ausf."},
      {"bvlProgBar", "Static", nullptr, nullptr},
      {"prbMain", "msctls_progress32", nullptr, nullptr},
      {"stbMain", "DravelloPanel", "", ""},
      {"pnlStatus", "DravelloPanel", nullptr, nullptr},
      {"sbLang", "DravelloSpeedButton", "de", "en"},
  };
  TfrmMain& form = StartMain();
  for (bool german : {false, true}) {
    if (german) {
      // The language button, clicked as a user clicks it.
      SendMessageW(Hwnd(form.sbLang), BM_CLICK, 0, 0);
      Pump();
    }
    for (const CaptionCase& c : cases) {
      auto* control = dynamic_cast<TControl*>(form.FindComponent(c.control));
      ASSERT_NE(control, nullptr) << c.control;
      HWND hwnd = Hwnd(control);
      ASSERT_NE(hwnd, nullptr) << c.control;
      EXPECT_TRUE(IsWindowVisible(hwnd)) << c.control;
      EXPECT_EQ(ClassOf(hwnd), c.windowClass) << c.control;
      if (const char* caption = german ? c.de : c.en) {
        EXPECT_EQ(TextOf(hwnd), caption) << c.control;
      }
    }
  }
  // The glyphs: the four command buttons carry theirs, the language button none.
  for (TSpeedButton* b : {form.sbAdd, form.sbDel, form.sbEdt, form.sbRun})
    EXPECT_NE(ui_->GlyphFor(*b->Glyph(), ui_->DpiOf(*b), false), nullptr) << b->Name();
  EXPECT_TRUE(form.sbLang->Glyph()->Empty());
  // The progress bar lies at the bottom of the box, the bevel's line just under it.
  RECT bar, box;
  GetWindowRect(Hwnd(form.prbMain), &bar);
  GetWindowRect(Hwnd(form.gbxScript), &box);
  EXPECT_LT(bar.bottom, box.bottom);
  EXPECT_GT(bar.top, (box.top + box.bottom) / 2);
}

TEST_F(Win32App, HintsAreTooltipsOfTheControls) {
  TfrmMain& form = StartMain();
  HWND tooltip = ui_->TooltipOf(form);
  ASSERT_NE(tooltip, nullptr);
  EXPECT_EQ(ClassOf(tooltip), "tooltips_class32");
  auto tipOf = [&](TControl* control) {
    wchar_t text[256] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = GetParent(Hwnd(control));
    tool.uId = reinterpret_cast<UINT_PTR>(Hwnd(control));
    tool.lpszText = text;
    SendMessageW(tooltip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
    return win32::U8(text);
  };
  // The language button has no hint of its own and shows the status panel's.
  EXPECT_EQ(tipOf(form.sbLang), "Send a mail to the author.");
  EXPECT_EQ(tipOf(form.pnlStatus), form.pnlStatus->ActiveHint());
  EXPECT_FALSE(tipOf(form.pnlStatus).empty());
  // A hint changed in the model is the tooltip's at once.
  form.stbMain->SetHint("Changed");
  EXPECT_EQ(tipOf(form.sbLang), "Changed");
  form.stbMain->SetShowHint(false);
  EXPECT_EQ(tipOf(form.sbLang), "");
}

TEST_F(Win32App, TheStatusLineShowsTheHandCursorAndABusyRunTheHourGlass) {
  TfrmMain& form = StartMain();
  HWND status = Hwnd(form.pnlStatus);
  EXPECT_EQ(form.pnlStatus->Cursor(), crHandPoint);
  SendMessageW(status, WM_SETCURSOR, reinterpret_cast<WPARAM>(status), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
  Screen->SetCursor(crHourGlass);
  SendMessageW(status, WM_SETCURSOR, reinterpret_cast<WPARAM>(status), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  Screen->SetCursor(crDefault);
}

TEST_F(Win32App, AddOpensTheEditorAndTheNewScriptIsListed) {
  StartMain();
  ModalDriver driver;
  driver.Then([&] {
    HWND editor = EditorHwnd();
    if (!editor) return false;
    EXPECT_EQ(TextOf(editor), "Add script");
    // Typed into the native fields, as a user types.
    SetWindowTextW(Hwnd(Editor()->edtScriptName), L"Weekly");
    SetWindowTextW(Hwnd(Editor()->edtDstPath), win32::W(Path("dst")).c_str());
    SendMessageW(Hwnd(Editor()->sbOk), BM_CLICK, 0, 0);
    return true;
  });
  SendMessageW(Hwnd(main_->sbAdd), BM_CLICK, 0, 0);
  EXPECT_TRUE(driver.Done());
  EXPECT_EQ(ComboCount(), 1);
  EXPECT_EQ(ComboText(), "Weekly");
  // Stored as a folder, with its trailing separator.
  EXPECT_EQ(TSectionIniFile(IniFileName).ReadText("script: Weekly", "DstPath", ""), Path("dst") + "\\");
  // The editor is gone and the main window takes input again.
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(Hwnd(main_)));
}

TEST_F(Win32App, AddWithoutANameShowsTheErrorBoxAndTheEditorAgain) {
  StartMain();
  ModalDriver driver;
  driver.Then([&] {
    if (!EditorHwnd()) return false;
    SendMessageW(Hwnd(Editor()->sbOk), BM_CLICK, 0, 0);  // no name
    return true;
  });
  driver.Then([&] {
    HWND box = DialogTitled("Error: Missing script name");
    if (!box) return false;
    std::vector<std::string> texts = ChildTexts(box, "Static");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "A script name must be specified."), texts.end());
    // An error icon and a lone OK button.
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDYES), nullptr);
    bool errorIcon = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      errorIcon = errorIcon ||
                  reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0)) == LoadIconW(nullptr, IDI_HAND);
    EXPECT_TRUE(errorIcon);
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return true;
  });
  driver.Then([&] {
    if (!EditorHwnd()) return false;  // the editor opens again
    SendMessageW(Hwnd(Editor()->sbCancel), BM_CLICK, 0, 0);
    return true;
  });
  SendMessageW(Hwnd(main_->sbAdd), BM_CLICK, 0, 0);
  EXPECT_TRUE(driver.Done());
  EXPECT_EQ(ComboCount(), 0);
}

TEST_F(Win32App, EditOpensTheEditorOnTheSelectedScript) {
  AddScript("Daily", Path("src"), Path("dst") + "\\");
  StartMain();
  ASSERT_EQ(ComboCount(), 1);
  main_->cbxScriptName->SetItemIndex(0);
  ModalDriver driver;
  driver.Then([&] {
    HWND editor = EditorHwnd();
    if (!editor) return false;
    EXPECT_EQ(TextOf(editor), "Edit script");
    EXPECT_EQ(TextOf(Hwnd(Editor()->edtScriptName)), "Daily");
    EXPECT_FALSE(IsWindowEnabled(Hwnd(Editor()->edtScriptName)));
    EXPECT_EQ(TextOf(Hwnd(Editor()->edtDstPath)), Path("dst") + "\\");
    SetWindowTextW(Hwnd(Editor()->edtDstPath), win32::W(Path("elsewhere")).c_str());
    SendMessageW(Hwnd(Editor()->sbOk), BM_CLICK, 0, 0);
    return true;
  });
  SendMessageW(Hwnd(main_->sbEdt), BM_CLICK, 0, 0);
  EXPECT_TRUE(driver.Done());
  EXPECT_EQ(TSectionIniFile(IniFileName).ReadText("script: Daily", "DstPath", ""), Path("elsewhere") + "\\");
}

TEST_F(Win32App, DeleteAsksWithAQuestionAndRemovesOnYesOnly) {
  AddScript("Daily", Path("src"), Path("dst"));
  StartMain();
  main_->cbxScriptName->SetItemIndex(0);
  for (int answer : {IDNO, IDYES}) {
    ModalDriver driver;
    driver.Then([&] {
      HWND box = DialogTitled("Confirm deletion");
      if (!box) return false;
      std::vector<std::string> texts = ChildTexts(box, "Static");
      EXPECT_NE(std::find(texts.begin(), texts.end(), "Do you really want to delete the script \"Daily\"?"),
                texts.end());
      EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
      EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
      EXPECT_EQ(GetDlgItem(box, IDOK), nullptr);
      bool questionIcon = false;
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        questionIcon = questionIcon || reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0)) ==
                                           LoadIconW(nullptr, IDI_QUESTION);
      EXPECT_TRUE(questionIcon);
      PostMessageW(GetDlgItem(box, answer), BM_CLICK, 0, 0);
      return true;
    });
    SendMessageW(Hwnd(main_->sbDel), BM_CLICK, 0, 0);
    EXPECT_TRUE(driver.Done());
    EXPECT_EQ(ComboCount(), answer == IDYES ? 0 : 1) << "answer " << answer;
  }
  EXPECT_FALSE(TSectionIniFile(IniFileName).SectionExists("script: Daily"));
}

TEST_F(Win32App, RunCopiesAndTheWindowShowsTheRun) {
  WriteFile("src/a.txt", "alpha");
  WriteFile("src/sub/b.txt", "beta");
  AddScript("Daily", Path("src"), Path("dst"));
  StartMain();
  main_->cbxScriptName->SetItemIndex(0);
  SendMessageW(Hwnd(main_->sbRun), BM_CLICK, 0, 0);
  Pump();
  // The copy mirrors the source below the destination, without the drive.
  std::string mirrored = Path("src");
  mirrored = mirrored.substr(mirrored.find('\\') + 1);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(Path("dst") + "\\" + mirrored + "\\sub\\b.txt")));
  EXPECT_NE(ReadFile("prog/dravello.log").find("[Daily] Copied 2 files..."), std::string::npos);
  // Idle again: the controls are enabled, the bar is full, the status line shows the idle text.
  EXPECT_TRUE(IsWindowEnabled(Hwnd(main_->sbRun)));
  EXPECT_EQ(SendMessageW(Hwnd(main_->prbMain), PBM_GETPOS, 0, 0), main_->prbMain->Position());
  EXPECT_EQ(TextOf(Hwnd(main_->pnlStatus)), main_->pnlStatus->Caption());
}

TEST_F(Win32App, AltAndTheMarkedLetterClicksTheButton) {
  StartMain();
  ModalDriver driver;
  driver.Then([&] {
    if (!EditorHwnd()) return false;
    SendMessageW(Hwnd(Editor()->sbCancel), BM_CLICK, 0, 0);
    return true;
  });
  // Alt+A, as the keyboard delivers it to the focused window: "&Add".
  PostMessageW(GetFocus() ? GetFocus() : Hwnd(main_), WM_SYSCHAR, 'a', 1 << 29);
  driver.RunUntilDone();
  EXPECT_TRUE(driver.Done());
}

// The editor's controls as the dialog is designed; the path-style captions are examples the
// dialog writes itself.
TEST_F(Win32App, EveryControlOfTheEditorInEnglishAndGerman) {
  const CaptionCase cases[] = {
      {"cbxRemArchiveAttrib", "Button", "Remove achive attribute", "Entferne Archivattribut"},
      {"cbxUseArchiveAttrib", "Button", "Use archive attribute", "nur gesetztes Archivattr."},
      {"gbxGeneral", "Button", " General settings ", " Allgemeine Einstellungen "},
      {"gbxSource", "Button", " What files in which paths to include (checked = recursive) ",
       " Welche Dateien in welchen Verzeichnissen einbeziehen (Haken = rekursiv) "},
      {"gbxDestination", "Button", " Where to store the backup ", " Wo soll die Sicherung gespeichert werden "},
      {"lblCopyOrPack", "Static", "How to treat the files:", "Sicherungsdateien..."},
      {"lblDstPath", "Static", "Directory", "Pfad"},
      {"lblScriptName", "Static", "Script Name", "Skriptname"},
      {"lblSrcExt", "Static", "Filter", "Filter"},
      {"lblSrcPath", "Static", "Directory", "Pfad"},
      {"rbCopy", "Button", "Copy files", "kopieren"},
      {"rbExclFiles", "Button", "Excl.", "ohne"},
      {"rbInclFiles", "Button", "Incl.", "nur"},
      {"rbPack", "Button", "Zip files", "packen"},
      {"rbLongPath", "Button", nullptr, nullptr},
      {"rbShortPath", "Button", nullptr, nullptr},
      {"rbFixedPath", "Button", nullptr, nullptr},
      {"sbCancel", "DravelloSpeedButton", "Cancel", "Abbrechen"},
      {"sbDstPath", "DravelloSpeedButton", "Browse", "Ausw."},
      {"sbOk", "DravelloSpeedButton", "OK", "OK"},
      {"sbSrcExtAdd", "DravelloSpeedButton", "Add", "Neu"},
      {"sbSrcExtDel", "DravelloSpeedButton", "Del", "L\xC3\xB6s."},
      {"sbSrcExtEdit", "DravelloSpeedButton", "Edit", "\xC3\x84nd."},
      {"sbSrcPathAdd", "DravelloSpeedButton", "Add", "Neu"},
      {"sbSrcPathDel", "DravelloSpeedButton", "Del", "L\xC3\xB6s."},
      {"sbSrcPathEdit", "DravelloSpeedButton", "Edit", "\xC3\x84nd."},
      {"lbSrcPath", "SysListView32", nullptr, nullptr},
      {"lbSrcExt", "ListBox", nullptr, nullptr},
      {"edtScriptName", "Edit", nullptr, nullptr},
      {"edtDstPath", "Edit", nullptr, nullptr},
      {"bvlSrc1", "Static", nullptr, nullptr},
      {"pnlMain", "DravelloPanel", nullptr, nullptr},
      {"pnlButton", "DravelloPanel", nullptr, nullptr},
  };
  for (const char* language : {"en", "de"}) {
    mlMessages().SetLanguage(language);
    app_->SetLanguage(language);
    TBackupScript script;
    script.CopyFiles = true;
    script.DstPath = "C:\\Backup\\";
    int32_t left = 40, top = 40;
    ModalDriver driver;
    driver.Then([&] {
      HWND editor = EditorHwnd();
      if (!editor) return false;
      TfrmConfig& form = *Editor();
      EXPECT_EQ(TextOf(editor), language == std::string("en") ? "Add script" : "Skript anlegen");
      // A tool window with a small title bar, no system menu and no close box, 412 by 356.
      EXPECT_TRUE(ExStyle(editor) & WS_EX_TOOLWINDOW);
      EXPECT_FALSE(Style(editor) & WS_SYSMENU);
      const SIZE client = ClientSize(editor);
      EXPECT_EQ(client.cx, win32::Scale(form.ClientWidth(), ui_->DpiOf(form)));
      EXPECT_EQ(client.cy, win32::Scale(form.ClientHeight(), ui_->DpiOf(form)));
      for (const CaptionCase& c : cases) {
        auto* control = dynamic_cast<TControl*>(form.FindComponent(c.control));
        HWND hwnd = control ? Hwnd(control) : nullptr;
        if (!hwnd) {
          ADD_FAILURE() << c.control << " has no window";
          continue;
        }
        EXPECT_EQ(ClassOf(hwnd), c.windowClass) << c.control;
        if (const char* caption = language == std::string("en") ? c.en : c.de) {
          EXPECT_EQ(TextOf(hwnd), caption) << c.control << " in " << language;
        }
      }
      // The fixed-path example follows the destination field.
      EXPECT_EQ(TextOf(Hwnd(form.rbFixedPath)), "C:\\Backup\\[files]");
      SetWindowTextW(Hwnd(form.edtDstPath), L"D:\\Save");
      EXPECT_EQ(TextOf(Hwnd(form.rbFixedPath)), "D:\\Save\\[files]");
      SendMessageW(Hwnd(form.sbCancel), BM_CLICK, 0, 0);
      return true;
    });
    EXPECT_FALSE(EditScript(script, left, top));
    EXPECT_TRUE(driver.Done());
    EXPECT_EQ(script.DstPath, "C:\\Backup\\") << "Cancel leaves the record as it was";
  }
}

TEST_F(Win32App, TheEditorClosesWithOkCancelAndEnter) {
  struct Case {
    const char* how;
    bool result;
  } const cases[] = {{"ok", true}, {"cancel", false}, {"enter", true}, {"escape", false}};
  for (const Case& c : cases) {
    TBackupScript script;
    script.Name = "";
    script.SrcPath = "\"1C:\\b\",\"0C:\\a\"";
    int32_t left = 60, top = 60;
    ModalDriver driver;
    driver.Then([&] {
      if (!EditorHwnd()) return false;
      TfrmConfig& form = *Editor();
      SetWindowTextW(Hwnd(form.edtScriptName), L"Named");
      // The list with check marks shows the paths sorted, each with its own mark; the user
      // toggles the mark of the first.
      HWND paths = Hwnd(form.lbSrcPath);
      EXPECT_EQ(ListView_GetItemCount(paths), 2);
      EXPECT_FALSE(ListView_GetCheckState(paths, 0));
      EXPECT_TRUE(ListView_GetCheckState(paths, 1));
      ListView_SetCheckState(paths, 0, TRUE);
      const std::string how = c.how;
      if (how == "ok") SendMessageW(Hwnd(form.sbOk), BM_CLICK, 0, 0);
      if (how == "cancel") SendMessageW(Hwnd(form.sbCancel), BM_CLICK, 0, 0);
      // Keys arrive in the focused field, as the keyboard delivers them.
      if (how == "enter") PostMessageW(Hwnd(form.edtScriptName), WM_KEYDOWN, VK_RETURN, 1);
      if (how == "escape") PostMessageW(Hwnd(form.edtScriptName), WM_KEYDOWN, VK_ESCAPE, 1);
      return true;
    });
    EXPECT_EQ(EditScript(script, left, top), c.result) << c.how;
    EXPECT_TRUE(driver.Done()) << c.how;
    EXPECT_EQ(script.Name, c.result ? "Named" : "") << c.how;
    EXPECT_EQ(script.SrcPath, c.result ? "\"1C:\\a\",\"1C:\\b\"" : "\"1C:\\b\",\"0C:\\a\"") << c.how;
    EXPECT_EQ(Dialogs().size(), 0u);
  }
}

TEST_F(Win32App, TheEditorReopensWhereItWasLeftWithoutDrift) {
  int32_t left = 120, top = 90;
  POINT lastOrigin{};
  for (int round = 0; round < 3; ++round) {
    TBackupScript script;
    ModalDriver driver;
    driver.Then([&] {
      HWND editor = EditorHwnd();
      if (!editor) return false;
      TfrmConfig& form = *Editor();
      // It opens where it was left: the window's client corner at the model's.
      const POINT origin = ClientOrigin(editor);
      EXPECT_EQ(origin.x, left + form.ClientOffsetX()) << "round " << round;
      EXPECT_EQ(origin.y, top + form.ClientOffsetY()) << "round " << round;
      if (round > 0) {
        EXPECT_EQ(origin.x, lastOrigin.x) << "round " << round;
        EXPECT_EQ(origin.y, lastOrigin.y) << "round " << round;
      }
      if (round == 0) {
        // Moved by the user the first time only.
        RECT r;
        GetWindowRect(editor, &r);
        SetWindowPos(editor, nullptr, r.left + 37, r.top + 23, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      }
      lastOrigin = ClientOrigin(editor);
      SendMessageW(Hwnd(form.sbCancel), BM_CLICK, 0, 0);
      return true;
    });
    EditScript(script, left, top);
    EXPECT_TRUE(driver.Done());
  }
  EXPECT_EQ(left, 120 + 37);
  EXPECT_EQ(top, 90 + 23);
}

TEST_F(Win32App, TheMainWindowReopensWhereItWasLeftWithoutDrift) {
  POINT expected{};
  int32_t savedLeft = 0;
  for (int round = 0; round < 3; ++round) {
    StartMain();
    HWND hwnd = Hwnd(main_);
    if (round == 0) {
      SetWindowPos(hwnd, nullptr, 211, 157, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      Pump();
      expected = ClientOrigin(hwnd);
    } else {
      const POINT origin = ClientOrigin(hwnd);
      EXPECT_EQ(origin.x, expected.x) << "round " << round;
      EXPECT_EQ(origin.y, expected.y) << "round " << round;
    }
    savedLeft = main_->Left();
    CloseMain();
    NewApplication();
  }
  // What was saved is the model's position, from which the window opened where it was left.
  EXPECT_EQ(TSectionIniFile(IniFileName).ReadInteger("applic", "main left", -1), savedLeft);
}

TEST_F(Win32App, AChangeOfDpiScalesTheWindowAndItsControls) {
  TfrmMain& form = StartMain();
  HWND hwnd = Hwnd(&form);
  const int before = ui_->DpiOf(form);
  struct Case {
    int dpi;
  } const cases[] = {{144}, {192}, {before}};
  for (const Case& c : cases) {
    RECT suggested;
    GetWindowRect(hwnd, &suggested);
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(c.dpi, c.dpi), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(ui_->DpiOf(form), c.dpi);
    const SIZE client = ClientSize(hwnd);
    EXPECT_EQ(client.cx, win32::Scale(312, c.dpi)) << c.dpi;
    EXPECT_EQ(client.cy, win32::Scale(108, c.dpi)) << c.dpi;
    RECT add;
    GetWindowRect(Hwnd(form.sbAdd), &add);
    EXPECT_EQ(add.right - add.left, win32::Scale(76, c.dpi) - win32::Scale(8, c.dpi)) << c.dpi;
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Hwnd(form.cbxScriptName), WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_EQ(font.lfHeight, -win32::Scale(11, c.dpi)) << c.dpi;
    // The model follows the window's client corner.
    const POINT origin = ClientOrigin(hwnd);
    EXPECT_EQ(origin.x, form.Left() + form.ClientOffsetX()) << c.dpi;
    EXPECT_EQ(origin.y, form.Top() + form.ClientOffsetY()) << c.dpi;
  }
}

TEST_F(Win32App, TheTextInputDialogInBothLanguages) {
  for (const char* language : {"en", "de"}) {
    app_->SetLanguage(language);
    for (bool confirm : {true, false}) {
      ModalDriver driver;
      driver.Then([&] {
        HWND dialog = DialogTitled(kTitle);
        if (!dialog) return false;
        std::vector<std::string> buttons = ChildTexts(dialog, "Button");
        EXPECT_NE(std::find(buttons.begin(), buttons.end(), language == std::string("de") ? "Abbrechen" : "Cancel"),
                  buttons.end());
        std::vector<std::string> labels = ChildTexts(dialog, "Static");
        EXPECT_NE(std::find(labels.begin(), labels.end(), "Enter filter"), labels.end());
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
          if (ClassOf(child) == "Edit") SetWindowTextW(child, L"*.tmp");
        PostMessageW(GetDlgItem(dialog, confirm ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
        return true;
      });
      EXPECT_EQ(Application->InputBox(kTitle, "Enter filter", "none"), confirm ? "*.tmp" : "none");
      EXPECT_TRUE(driver.Done());
    }
  }
}

TEST_F(Win32App, TheFolderChooserIsTheSystemsFolderPicker) {
  std::filesystem::create_directories(root_ / "chosen");
  ModalDriver driver;
  driver.Then([&] {
    // The picker titled as asked, a dialog of the system (the item dialog of the shell).
    HWND chooser = DialogTitled("Select the destination");
    if (!chooser) return false;
    EXPECT_FALSE(IsWindowEnabled(Hwnd(main_))) << "the picker is modal to the program's window";
    PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
    return true;
  });
  StartMain();
  // Cancelled: no folder, and nothing else changes.
  EXPECT_FALSE(Application->BrowseForFolder("Select the destination", Path("chosen")).has_value());
  EXPECT_TRUE(driver.Done());
  EXPECT_TRUE(IsWindowEnabled(Hwnd(main_)));
}

TEST_F(Win32App, AListsHintFollowsThePointerRowByRowAtEveryDpi) {
  for (int dpi : {96, 144, 192}) {
    TBackupScript script;
    script.SrcPath = "\"1C:\\Alpha\",\"0C:\\Beta\",\"1C:\\Gamma\"";
    int32_t left = 60, top = 60;
    ModalDriver driver;
    driver.Then([&] {
      HWND editor = EditorHwnd();
      if (!editor) return false;
      TfrmConfig& form = *Editor();
      if (dpi != ui_->DpiOf(form)) {
        RECT suggested;
        GetWindowRect(editor, &suggested);
        SendMessageW(editor, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
      }
      HWND paths = Hwnd(form.lbSrcPath);
      const char* const rows[] = {"C:\\Alpha", "C:\\Beta", "C:\\Gamma"};
      for (int row = 0; row < 3; ++row) {
        RECT r{};
        ListView_GetItemRect(paths, row, &r, LVIR_BOUNDS);
        // The top, the middle and the bottom pixel of the row as drawn: always that row.
        for (int y : {r.top, (r.top + r.bottom) / 2, r.bottom - 1}) {
          SendMessageW(paths, WM_MOUSEMOVE, 0, MAKELPARAM(r.left + 10, y));
          EXPECT_EQ(form.lbSrcPath->Hint(), rows[row]) << "dpi " << dpi << " row " << row << " y " << y;
        }
      }
      // Below the last row: no line, no hint.
      RECT last{};
      ListView_GetItemRect(paths, 2, &last, LVIR_BOUNDS);
      SendMessageW(paths, WM_MOUSEMOVE, 0, MAKELPARAM(last.left + 10, last.bottom + 2));
      EXPECT_EQ(form.lbSrcPath->Hint(), "") << "dpi " << dpi;
      SendMessageW(Hwnd(form.sbCancel), BM_CLICK, 0, 0);
      return true;
    });
    EditScript(script, left, top);
    EXPECT_TRUE(driver.Done());
  }
}

TEST_F(Win32App, AClickOnTheIdleStatusLineOpensTheHomepage) {
  TfrmMain& form = StartMain();
  HWND status = Hwnd(form.pnlStatus);
  // Pressed and released inside: one click.
  SendMessageW(status, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
  SendMessageW(status, WM_LBUTTONUP, 0, MAKELPARAM(10, 5));
  ASSERT_EQ(ui_->Opened.size(), 1u);
  EXPECT_EQ(ui_->Opened[0], kHomepage);
  // Released outside: no click.
  SendMessageW(status, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
  SendMessageW(status, WM_LBUTTONUP, 0, MAKELPARAM(-20, 5));
  EXPECT_EQ(ui_->Opened.size(), 1u);
}

TEST_F(Win32App, TabMovesTheFocusAndTheModelFollows) {
  TBackupScript script;
  int32_t left = 60, top = 60;
  ModalDriver driver;
  std::vector<std::string> visited;
  driver.Then([&] {
    if (!EditorHwnd()) return false;
    TfrmConfig& form = *Editor();
    EXPECT_EQ(form.ActiveControl(), form.edtScriptName) << "a new script starts in the name field";
    EXPECT_EQ(GetFocus(), Hwnd(form.edtScriptName));
    for (int i = 0; i < 3; ++i) {
      PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
      Pump(30);
      // Wherever the focus went, the model's active control is that window's control.
      TControl* focused = ui_->ControlOf(GetFocus());
      EXPECT_NE(focused, nullptr);
      EXPECT_EQ(static_cast<TControl*>(form.ActiveControl()), focused);
      if (focused) visited.push_back(focused->Name());
    }
    SendMessageW(Hwnd(form.sbCancel), BM_CLICK, 0, 0);
    return true;
  });
  EditScript(script, left, top);
  EXPECT_TRUE(driver.Done());
  ASSERT_EQ(visited.size(), 3u);
  EXPECT_NE(visited[0], "edtScriptName") << "Tab left the name field";
}

}  // namespace
}  // namespace dravello::win32test
