// The Qt front end's dialogs: message boxes with their icons, buttons and answers, the
// text-input dialog, and the folder chooser opening at the folder it is given.
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "QtTestSupport.h"

namespace dravello::qttest {
namespace {

class DialogsTest : public QtTest {};

TEST_F(DialogsTest, MessageBoxesShowTheirIconAndButtonsAndReturnTheAnswer) {
  struct Row {
    uint32_t flags;
    QMessageBox::Icon icon;
    std::vector<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton press;  // NoButton: Escape
    int answer;
  };
  const Row rows[] = {
      {MB_OK | MB_ICONERROR, QMessageBox::Critical, {QMessageBox::Ok}, QMessageBox::Ok, IDOK},
      {MB_OK | MB_ICONERROR, QMessageBox::Critical, {QMessageBox::Ok}, QMessageBox::NoButton, IDOK},
      {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, {QMessageBox::Yes, QMessageBox::No}, QMessageBox::Yes, IDYES},
      {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, {QMessageBox::Yes, QMessageBox::No}, QMessageBox::No, IDNO},
      {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, {QMessageBox::Yes, QMessageBox::No}, QMessageBox::NoButton,
       IDNO},
      {MB_OKCANCEL | MB_ICONWARNING, QMessageBox::Warning, {QMessageBox::Ok, QMessageBox::Cancel},
       QMessageBox::NoButton, IDCANCEL},
      {MB_YESNOCANCEL | MB_ICONINFORMATION, QMessageBox::Information,
       {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, QMessageBox::Cancel, IDCANCEL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    bool seen = false;
    WhenModal([&](QWidget* dialog) {
      auto* box = dynamic_cast<QMessageBox*>(dialog);
      ASSERT_NE(box, nullptr);
      seen = true;
      EXPECT_EQ(box->windowTitle(), "Delete");
      EXPECT_EQ(box->text(), "Do you really want to delete the script \"<Daily>\"?");
      EXPECT_EQ(box->textFormat(), Qt::PlainText);
      EXPECT_EQ(box->icon(), row.icon);
      EXPECT_EQ(box->buttons().size(), static_cast<qsizetype>(row.buttons.size()));
      for (QMessageBox::StandardButton b : row.buttons) EXPECT_NE(box->button(b), nullptr);
      if (row.press == QMessageBox::NoButton)
        QTest::keyClick(box, Qt::Key_Escape);
      else
        box->button(row.press)->click();
    });
    EXPECT_EQ(app->MessageBox("Do you really want to delete the script \"<Daily>\"?", "Delete", row.flags), row.answer);
    EXPECT_TRUE(seen);
  }
}

TEST_F(DialogsTest, TheDefaultButtonIsTheOneTheFlagsName) {
  bool seen = false;
  WhenModal([&seen](QWidget* dialog) {
    seen = true;
    auto* box = dynamic_cast<QMessageBox*>(dialog);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    box->defaultButton()->click();
  });
  EXPECT_EQ(app->MessageBox("Sure?", "Question", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
  EXPECT_TRUE(seen);
}

TEST_F(DialogsTest, TheStandardErrorReportIsAnErrorBoxWithTheTitle) {
  bool seen = false;
  WhenModal([&seen](QWidget* dialog) {
    seen = true;
    auto* box = dynamic_cast<QMessageBox*>(dialog);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Test App");
    EXPECT_EQ(box->text(), "Cannot create directory");
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    box->button(QMessageBox::Ok)->click();
  });
  app->HandleUserAction([] { throw Exception("Cannot create directory"); });
  EXPECT_TRUE(seen);
}

TEST_F(DialogsTest, TheInputDialogEditsTheTextAndTellsWhetherItWasConfirmed) {
  WhenModal([](QWidget* dialog) {
    auto* input = dynamic_cast<QInputDialog*>(dialog);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->windowTitle(), "Test App");
    EXPECT_EQ(input->labelText(), "Filter:");
    EXPECT_EQ(input->textValue(), "*.tmp");
    input->setTextValue("*.bäk");
    input->accept();
  });
  std::string value = "*.tmp";
  EXPECT_TRUE(app->InputQuery("Test App", "Filter:", value));
  EXPECT_EQ(value, "*.bäk");

  WhenModal([](QWidget* dialog) {
    auto* input = dynamic_cast<QInputDialog*>(dialog);
    ASSERT_NE(input, nullptr);
    input->setTextValue("ignored");
    input->reject();
  });
  EXPECT_EQ(app->InputBox("Test App", "Filter:", ""), "");
}

TEST_F(DialogsTest, TheFolderChooserOpensAtTheInitialFolderAndReturnsTheChoice) {
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  ASSERT_TRUE(QDir(temp.path()).mkdir("Data"));
  const QString data = QDir(temp.path()).filePath("Data");
  WhenModal([&](QWidget* dialog) {
    auto* chooser = dynamic_cast<QFileDialog*>(dialog);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->windowTitle(), "Select a directory");
    EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(QDir(chooser->directory()).canonicalPath(), QDir(data).canonicalPath());
    static_cast<QDialog*>(chooser)->accept();  // as the Choose button does
  });
  std::optional<std::string> chosen = app->BrowseForFolder("Select a directory", data.toStdString());
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(QDir(QString::fromStdString(*chosen)).canonicalPath(), QDir(data).canonicalPath());

  // Cancelled: no result. A folder that does not exist leaves the chooser at its own place.
  const QString missing = QDir(temp.path()).filePath("missing");
  WhenModal([&](QWidget* dialog) {
    auto* chooser = dynamic_cast<QFileDialog*>(dialog);
    ASSERT_NE(chooser, nullptr);
    EXPECT_NE(chooser->directory().absolutePath(), missing);
    chooser->reject();
  });
  EXPECT_FALSE(app->BrowseForFolder("Select a directory", missing.toStdString()).has_value());
}

}  // namespace
}  // namespace dravello::qttest
