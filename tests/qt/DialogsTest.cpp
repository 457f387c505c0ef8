// The Qt front end's dialogs: message boxes with their icons, buttons and answers, the
// text-input dialog, and the folder chooser opening at the folder it is given.
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
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

// The width a title bar needs for the caption in a bold face of the dialog's font, with two of its
// buttons and the window icon beside it.
int TitleBarNeeds(const QString& caption, const QWidget& dialog) {
  QFont bold = dialog.font();
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  return metrics.horizontalAdvance(caption) + 3 * metrics.height();
}

TEST_F(DialogsTest, MessageBoxesAndInputDialogsAreWideEnoughForTheirCaption) {
  struct Row {
    const char* caption;
    const char* text;
  };
  const Row rows[] = {
      {"Error: Missing script name", "A script name must be specified."},
      {"Fehler: Doppelter Name", "OK?"},
      {"Velmora's Dravello", "Enter filter"},
      {"A caption far longer than anything the box would hold for its own short text", "No."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.caption);
    WhenModal([&](QWidget* dialog) {
      auto* box = dynamic_cast<QMessageBox*>(dialog);
      ASSERT_NE(box, nullptr);
      EXPECT_GE(box->width(), TitleBarNeeds(row.caption, *box));
      // The text is still whole on one line where it fits.
      auto* label = box->findChild<QLabel*>("qt_msgbox_label");
      ASSERT_NE(label, nullptr);
      EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(row.text));
      box->button(QMessageBox::Ok)->click();
    });
    app->MessageBox(row.text, row.caption, MB_OK | MB_ICONERROR);

    WhenModal([&](QWidget* dialog) {
      auto* input = dynamic_cast<QInputDialog*>(dialog);
      ASSERT_NE(input, nullptr);
      EXPECT_GE(input->width(), TitleBarNeeds(row.caption, *input));
      input->reject();
    });
    std::string value;
    app->InputQuery(row.caption, row.text, value);
  }
}

// The toolkit's own texts follow the program's language, and go back with it.
TEST_F(DialogsTest, TheToolkitsOwnTextsFollowTheLanguage) {
  const QString catalogue = QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath)).filePath("qtbase_de.qm");
  ASSERT_TRUE(QFile::exists(catalogue)) << catalogue.toStdString()
                                        << " is missing: Debian's qt6-translations-l10n has it (tools/deps.sh)";
  struct Row {
    const char* language;
    const char* yes;
    const char* no;
    const char* cancel;
    const char* lookIn;
  };
  const Row rows[] = {
      {"de", "&Ja", "&Nein", "Abbrechen", "Suchen in:"},
      {"en", "&Yes", "&No", "Cancel", "Look in:"},
      {"de", "&Ja", "&Nein", "Abbrechen", "Suchen in:"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.language);
    app->SetLanguage(row.language);
    WhenModal([&](QWidget* dialog) {
      auto* box = dynamic_cast<QMessageBox*>(dialog);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->button(QMessageBox::Yes)->text(), QString::fromUtf8(row.yes));
      EXPECT_EQ(box->button(QMessageBox::No)->text(), QString::fromUtf8(row.no));
      box->button(QMessageBox::No)->click();
    });
    app->MessageBox("Delete?", "Confirm", MB_YESNO | MB_ICONQUESTION);

    WhenModal([&](QWidget* dialog) {
      auto* buttons = dialog->findChild<QDialogButtonBox*>();
      ASSERT_NE(buttons, nullptr);
      EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8(row.cancel));
      static_cast<QDialog*>(dialog)->reject();
    });
    std::string value;
    app->InputQuery("Filter", "Filter:", value);

    WhenModal([&](QWidget* dialog) {
      auto* lookIn = dialog->findChild<QLabel*>("lookInLabel");
      ASSERT_NE(lookIn, nullptr);
      EXPECT_EQ(lookIn->text(), QString::fromUtf8(row.lookIn));
      static_cast<QDialog*>(dialog)->reject();
    });
    app->BrowseForFolder("Folder", "");
  }
}

}  // namespace
}  // namespace dravello::qttest
