// The headless front end: the transcript of a command-line run, the in-place status line on a
// terminal, scripted answers and unscripted defaults.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "ui/ExtCtrls.h"

namespace dravello::testing {
namespace {

class HeadlessTest : public UiTest {
 protected:
  // A main form titled like the application, with a status panel as its status line.
  void MakeMainWindow() {
    main = app->CreateForm<TForm>();
    main->SetCaption(app->Title());
    status = Make<TPanel>(main, main, "pnlStatus");
    app->SetStatusLine(status);
  }
  TForm* main = nullptr;
  TPanel* status = nullptr;
};

TEST_F(HeadlessTest, MessageBoxesGoToStderrAndLogLinesToStdout) {
  app->MessageBox("Script already exists.", "Error", MB_OK | MB_ICONERROR);
  app->LogLine("2004-03-15 14:07:33 [Daily] === Starting script ===");
  app->MessageBox("No caption here", "", MB_OK);
  app->MessageBox("line one\nline two", "Parameter error", MB_OK | MB_ICONERROR);
  app->LogLine("2004-03-15 14:07:40 [Daily] === Finished script ===");
  EXPECT_EQ(err.str(), "Error: Script already exists.\nNo caption here\nParameter error: line one\nline two\n");
  EXPECT_EQ(out.str(),
            "2004-03-15 14:07:33 [Daily] === Starting script ===\n"
            "2004-03-15 14:07:40 [Daily] === Finished script ===\n");
}

TEST_F(HeadlessTest, NoInPlaceLineWhenStdoutIsNotATerminal) {
  MakeMainWindow();
  EXPECT_FALSE(fe->IsTerminal());
  status->SetCaption("Copying a.txt");
  main->SetCaption("Test App (25%, rem: 0:03)");
  fe->ProcessMessages();
  app->LogLine("logged");
  app->MessageBox("boom", "Error", MB_OK);
  app.reset();
  EXPECT_EQ(out.str(), "logged\n");
}

TEST_F(HeadlessTest, OnATerminalOneLineFollowsTheTitleAndTheStatusLine) {
  Start(true);
  MakeMainWindow();
  EXPECT_TRUE(fe->IsTerminal());
  const std::string clear = "\r\x1b[K";
  std::string expected;

  status->SetCaption("Copying a.txt");
  fe->ProcessMessages();
  expected += clear + "Test App | Copying a.txt";
  EXPECT_EQ(out.str(), expected);

  fe->ProcessMessages();  // nothing changed: nothing written
  status->SetHint("ignored");
  fe->ProcessMessages();
  EXPECT_EQ(out.str(), expected);

  main->SetCaption("Test App (25%, rem: 0:03)");
  fe->ProcessMessages();
  expected += clear + "Test App (25%, rem: 0:03) | Copying a.txt";
  EXPECT_EQ(out.str(), expected);

  // Other output first takes the line away, then puts it back.
  app->LogLine("2004-03-15 14:07:34 [Daily] Processing 57 files...");
  expected += clear + "2004-03-15 14:07:34 [Daily] Processing 57 files...\n" + clear +
              "Test App (25%, rem: 0:03) | Copying a.txt";
  EXPECT_EQ(out.str(), expected);
  app->MessageBox("boom", "Error", MB_OK);
  expected += clear + clear + "Test App (25%, rem: 0:03) | Copying a.txt";
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(err.str(), "Error: boom\n");

  // Going away leaves a clean line behind.
  app.reset();
  expected += clear;
  EXPECT_EQ(out.str(), expected);
}

TEST_F(HeadlessTest, TheInPlaceLineFitsOneTerminalLine) {
  Start(true);
  MakeMainWindow();
  main->SetCaption("");
  std::string umlauts;
  for (int i = 0; i < 100; ++i) umlauts += "\xC3\xA4";  // ä
  status->SetCaption(umlauts + "\nsecond line");
  fe->ProcessMessages();
  std::string expected = "\r\x1b[K";
  for (int i = 0; i < 79; ++i) expected += "\xC3\xA4";
  EXPECT_EQ(out.str(), expected);
}

TEST_F(HeadlessTest, ScriptedAnswersAreUsedInOrderAndRecorded) {
  fe->QueueMessageBoxResult(IDYES);
  fe->QueueInput(std::string("*.doc"));
  fe->QueueInput(std::nullopt);
  fe->QueueInput(std::string(""));
  fe->QueueFolder(std::string("/home/ann/Data"));
  fe->QueueFolder(std::nullopt);

  EXPECT_EQ(app->MessageBox("Do you really want to delete the script \"Daily\"?", "Delete", MB_YESNO | MB_ICONQUESTION),
            IDYES);
  EXPECT_EQ(app->InputBox("Test App", "Filter", ""), "*.doc");
  std::string value = "*.txt";
  EXPECT_FALSE(app->InputQuery("Test App", "Edit filter", value));
  EXPECT_EQ(value, "*.txt");
  EXPECT_TRUE(app->InputQuery("Test App", "Edit filter", value));
  EXPECT_EQ(value, "");
  EXPECT_EQ(app->BrowseForFolder("Select directory", "/home"), std::optional<std::string>("/home/ann/Data"));
  EXPECT_EQ(app->BrowseForFolder("Select directory", ""), std::nullopt);
  EXPECT_EQ(fe->PendingAnswers(), 0u);

  const auto& h = fe->History();
  ASSERT_EQ(h.size(), 6u);
  EXPECT_EQ(h[0].Kind, THeadlessRecord::TKind::MessageBox);
  EXPECT_EQ(h[0].Icon(), MB_ICONQUESTION);
  EXPECT_EQ(h[0].Buttons(), (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(h[0].Result, IDYES);
  EXPECT_EQ(h[2].Kind, THeadlessRecord::TKind::InputDialog);
  EXPECT_EQ(h[2].Text, "Edit filter");
  EXPECT_EQ(h[2].Value, "*.txt");
  EXPECT_EQ(h[2].Answer, std::nullopt);
  EXPECT_EQ(h[4].Kind, THeadlessRecord::TKind::FolderChooser);
  EXPECT_EQ(h[4].Caption, "Select directory");
  EXPECT_EQ(h[4].Text, "/home");
}

TEST_F(HeadlessTest, UnscriptedQuestionsGetTheAnswerThatChangesNothing) {
  EXPECT_EQ(app->MessageBox("t", "c", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(app->MessageBox("t", "c", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(app->InputBox("c", "p", "keep"), "keep");
  EXPECT_EQ(app->BrowseForFolder("t", "/"), std::nullopt);
  EXPECT_FALSE(app->OpenAddress("https://example.org/"));
  auto opened = fe->Records(THeadlessRecord::TKind::OpenAddress);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].Text, "https://example.org/");
}

struct BoxCase {
  uint32_t flags;
  std::vector<int> buttons;
  int safe;
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << "flags " << c.flags; }

class MessageBoxFlagsTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxFlagsTest, ButtonsAndSafeAnswer) {
  const BoxCase& c = GetParam();
  EXPECT_EQ(MessageBoxButtons(c.flags), c.buttons);
  EXPECT_EQ(MessageBoxSafeAnswer(c.flags), c.safe);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, MessageBoxFlagsTest,
    ::testing::Values(BoxCase{MB_OK | MB_ICONERROR, {IDOK}, IDOK},
                      BoxCase{MB_OKCANCEL | MB_ICONWARNING, {IDOK, IDCANCEL}, IDCANCEL},
                      BoxCase{MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}, IDABORT},
                      BoxCase{MB_YESNOCANCEL | MB_DEFBUTTON2, {IDYES, IDNO, IDCANCEL}, IDCANCEL},
                      BoxCase{MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}, IDNO},
                      BoxCase{MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, IDCANCEL}));

}  // namespace
}  // namespace dravello::testing
