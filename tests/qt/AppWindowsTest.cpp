// The program's two windows on the Qt front end: captions in English and German as the user
// sees them, the editor's frame and size, and a run watched through the widgets: progress in the
// window title and the status line, controls and hints off while it runs and back afterwards.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QScreen>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <vector>

#include "QtTestSupport.h"
#include "app/u_frmConfig.h"
#include "app/u_frmMain.h"
#include "app/u_types.h"
#include "lang/u_language.h"
#include "runtime/CommandLine.h"
#include "ui/qt/QtControls.h"

namespace dravello::qttest {
namespace {

// Notes, after each change the model announces, what the widgets of the main window show.
class TWatchingFrontEnd : public TQtFrontEnd {
 public:
  using TQtFrontEnd::TQtFrontEnd;
  TfrmMain* Main = nullptr;
  std::vector<QString> Titles, Statuses, StatusHints, ProgressTips;
  // Asks the window to close at the first step of a run, as a user might.
  bool CloseDuringRun = false;
  bool StillOpenAfterClose = false;
  std::vector<bool> RunEnabled, LangEnabled;
  int MaxPosition = 0;

  void PropertyChanged(TControl& control, TProperty property) override {
    TQtFrontEnd::PropertyChanged(control, property);
    // Before the window is first shown (its OnShow runs first) there is nothing to watch.
    if (!Main || !WidgetOf(Main)) return;
    if (&control == Main && property == TProperty::Caption) Titles.push_back(WidgetOf(Main)->windowTitle());
    if (&control == Main->pnlStatus && property == TProperty::Caption)
      Statuses.push_back(static_cast<qtui::TPanelWidget*>(WidgetOf(Main->pnlStatus))->Caption());
    if (&control == Main->pnlStatus && (property == TProperty::ShowHint || property == TProperty::Hint))
      StatusHints.push_back(WidgetOf(Main->pnlStatus)->toolTip());
    if (&control == Main->sbRun && property == TProperty::Enabled) RunEnabled.push_back(WidgetOf(Main->sbRun)->isEnabled());
    if (&control == Main->sbLang && property == TProperty::Enabled) LangEnabled.push_back(WidgetOf(Main->sbLang)->isEnabled());
    if (&control == Main->prbMain && property == TProperty::Position)
      MaxPosition = std::max(MaxPosition, static_cast<QProgressBar*>(WidgetOf(Main->prbMain))->value());
    if (&control == Main->prbMain && property == TProperty::Hint) ProgressTips.push_back(WidgetOf(Main->prbMain)->toolTip());
    if (&control == Main->prbMain && property == TProperty::Hint && CloseDuringRun && !Main->ControlsEnabled) {
      CloseDuringRun = false;
      WidgetOf(Main)->close();  // the close box
      StillOpenAfterClose = WidgetOf(Main)->isVisible();
    }
  }
};

class AppWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    IniFileName = Path("dravello.ini").toStdString();
    LogFileName = Path("dravello.log").toStdString();
    SetParams({});
    app = std::make_unique<TApplication>();
    app->SetTitle("Velmora's Dravello");
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    auto frontEnd = std::make_unique<TWatchingFrontEnd>(argc, argv);
    qt = frontEnd.get();
    app->SetFrontEnd(std::move(frontEnd));
    mlMessages().SetLanguage("");
  }
  void TearDown() override {
    app.reset();
    mlMessages().SetLanguage("");
  }

  QString Path(const QString& rel) const { return QDir(dir_.path()).filePath(rel); }
  void Write(const QString& rel, const QByteArray& data) {
    QDir().mkpath(QFileInfo(Path(rel)).path());
    QFile file(Path(rel));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
  }
  void WriteIni(const QStringList& lines) { Write("dravello.ini", (lines.join("\r\n") + "\r\n").toUtf8()); }

  // The main window as the program makes and first shows it.
  TfrmMain* Start() {
    main = app->CreateForm<TfrmMain>();
    qt->Main = main;
    main->Show();
    return main;
  }
  QWidget* W(const TControl* control) const { return qt->WidgetOf(control); }
  QString Text(const TControl* control) const {
    QWidget* w = W(control);
    if (auto* button = dynamic_cast<QAbstractButton*>(w)) return button->text();
    if (auto* group = dynamic_cast<QGroupBox*>(w)) return group->title();
    if (auto* label = dynamic_cast<QLabel*>(w)) return label->text();
    return QString();
  }

  QTemporaryDir dir_;
  std::unique_ptr<TApplication> app;
  TWatchingFrontEnd* qt = nullptr;
  TfrmMain* main = nullptr;
};

TEST_F(AppWindowsTest, TheMainWindowShowsItsCaptionsInEnglishAndGerman) {
  Start();
  QWidget* window = W(main);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Velmora's Dravello");
  EXPECT_EQ(window->size(), QSize(312, 108));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(static_cast<qtui::TPanelWidget*>(W(main->pnlStatus))->Caption(), kCreditLine);
  EXPECT_EQ(W(main->pnlStatus)->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(W(main->pnlStatus)->toolTip(), "Visit the author's homepage");
  EXPECT_EQ(W(main->sbLang)->toolTip(), "Send a mail to the author.");

  struct Language {
    const char* add;
    const char* del;
    const char* edit;
    const char* run;
    const char* box;
    const char* button;
  };
  const Language english{"&Add", "&Delete", "&Edit", "&Run", " Script ", "de"};
  const Language german{"&Neu", "&L\xC3\xB6schen", "&Bearb.", "&Ausf.", " Skript ", "en"};
  for (const Language* expected : {&english, &german, &english}) {
    SCOPED_TRACE(expected->button);
    EXPECT_EQ(Text(main->sbAdd), QString::fromUtf8(expected->add));
    EXPECT_EQ(Text(main->sbDel), QString::fromUtf8(expected->del));
    EXPECT_EQ(Text(main->sbEdt), QString::fromUtf8(expected->edit));
    EXPECT_EQ(Text(main->sbRun), QString::fromUtf8(expected->run));
    EXPECT_EQ(Text(main->gbxScript), QString::fromUtf8(expected->box));
    EXPECT_EQ(Text(main->sbLang), QString::fromUtf8(expected->button));
    // Every caption fits its button.
    for (TSpeedButton* b : {main->sbAdd, main->sbDel, main->sbEdt, main->sbRun}) {
      auto* button = static_cast<qtui::TSpeedButtonWidget*>(W(b));
      EXPECT_TRUE(button->rect().contains(button->TextRect().united(button->GlyphRect()))) << b->Name();
    }
    QTest::mouseClick(W(main->sbLang), Qt::LeftButton);  // the language button switches
  }
}

TEST_F(AppWindowsTest, AClickOnTheIdleStatusLineOpensTheHomepage) {
  TUrlCatcher browser("https");
  Start();
  QTest::mouseClick(W(main->pnlStatus), Qt::LeftButton);
  ASSERT_EQ(browser.Urls.size(), 1);
  EXPECT_EQ(browser.Urls.front(), QUrl(kHomepage));
  // A double click (press, release, double-click press, release) opens it once more, not twice.
  QTest::mouseClick(W(main->pnlStatus), Qt::LeftButton);
  QTest::mouseDClick(W(main->pnlStatus), Qt::LeftButton);
  QTest::mouseRelease(W(main->pnlStatus), Qt::LeftButton);
  EXPECT_EQ(browser.Urls.size(), 2);
  // Not so on the language button beside it.
  QTest::mouseClick(W(main->sbLang), Qt::LeftButton);
  EXPECT_EQ(browser.Urls.size(), 2);
}

// The captions the editor shows in one language: control name to text.
using Captions = std::map<std::string, QString>;

Captions EditorCaptions(bool german) {
  auto t = [german](const char* en, const char* de) { return QString::fromUtf8(german ? de : en); };
  return {
      {"gbxGeneral", t(" General settings ", " Allgemeine Einstellungen ")},
      {"gbxSource", t(" What files in which paths to include (checked = recursive) ",
                      " Welche Dateien in welchen Verzeichnissen einbeziehen (Haken = rekursiv) ")},
      {"gbxDestination", t(" Where to store the backup ", " Wo soll die Sicherung gespeichert werden ")},
      {"lblScriptName", t("Script Name", "Skriptname")},
      {"lblCopyOrPack", t("How to treat the files:", "Sicherungsdateien...")},
      {"lblSrcPath", t("Directory", "Pfad")},
      {"lblDstPath", t("Directory", "Pfad")},
      {"lblKeepBackups", t("Keep the last N backups (0 = all)", "Nur die letzten N Sicherungen behalten (0 = alle)")},
      {"lblSrcExt", t("Filter", "Filter")},
      {"rbCopy", t("Copy files", "kopieren")},
      {"rbPack", t("Zip files", "packen")},
      {"rbInclFiles", t("Incl.", "nur")},
      {"rbExclFiles", t("Excl.", "ohne")},
      {"cbxUseArchiveAttrib", t("Use archive attribute", "nur gesetztes Archivattr.")},
      {"cbxRemArchiveAttrib", t("Remove achive attribute", "Entferne Archivattribut")},
      {"sbOk", t("OK", "OK")},
      {"sbCancel", t("Cancel", "Abbrechen")},
      {"sbDstPath", t("Browse", "Ausw.")},
      {"sbSrcPathAdd", t("Add", "Neu")},
      {"sbSrcPathEdit", t("Edit", "\xC3\x84nd.")},
      {"sbSrcPathDel", t("Del", "L\xC3\xB6s.")},
      {"sbSrcExtAdd", t("Add", "Neu")},
      {"sbSrcExtEdit", t("Edit", "\xC3\x84nd.")},
      {"sbSrcExtDel", t("Del", "L\xC3\xB6s.")},
  };
}

TEST_F(AppWindowsTest, TheEditorShowsItsCaptionsInEnglishAndGermanAsAToolWindowOfItsSize) {
  Start();
  for (bool german : {false, true}) {
    SCOPED_TRACE(german ? "de" : "en");
    if (german) QTest::mouseClick(W(main->sbLang), Qt::LeftButton);
    bool seen = false;
    WhenModal([&](QWidget* dialog) {
      auto* editor = dynamic_cast<TfrmConfig*>(qt->ControlOf(dialog));
      ASSERT_NE(editor, nullptr);
      seen = true;
      EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(german ? "Skript anlegen" : "Add script"));
      EXPECT_EQ(dialog->windowType(), Qt::Tool);
      EXPECT_FALSE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
      EXPECT_FALSE(dialog->windowFlags() & Qt::WindowSystemMenuHint);
      EXPECT_EQ(dialog->size(), QSize(412, 356));
      EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
      for (const auto& [name, caption] : EditorCaptions(german)) {
        auto* control = dynamic_cast<TControl*>(editor->FindComponent(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(Text(control), caption) << name;
        EXPECT_TRUE(W(control)->isVisible()) << name;
      }
      // The copy examples, for a new script with no destination yet.
      EXPECT_TRUE(Text(editor->rbFixedPath).endsWith("[files]"));
      // Add mode: the name field has the focus.
      EXPECT_TRUE(WaitFor([&] { return QApplication::focusWidget() == W(editor->edtScriptName); }));
      QTest::mouseClick(W(editor->sbCancel), Qt::LeftButton);
    });
    QTest::mouseClick(W(main->sbAdd), Qt::LeftButton);
    EXPECT_TRUE(seen);
    EXPECT_EQ(main->cbxScriptName->Items()->Count(), 0);  // cancelled: nothing added
  }
}

TEST_F(AppWindowsTest, TheEditorAddsAScriptTypedIntoItsWidgets) {
  Start();
  WhenModal([&](QWidget* dialog) {
    auto* editor = dynamic_cast<TfrmConfig*>(qt->ControlOf(dialog));
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == W(editor->edtScriptName); }));
    QTest::keyClicks(W(editor->edtScriptName), "Weekly");
    QTest::mouseClick(W(editor->rbPack), Qt::LeftButton);
    EXPECT_TRUE(Text(editor->rbFixedPath).endsWith(".zip"));
    // Typing in the destination updates the fixed-path example at each keystroke.
    QTest::mouseClick(W(editor->edtDstPath), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == W(editor->edtDstPath); }));
    EXPECT_EQ(editor->ActiveControl(), editor->edtDstPath);
    QTest::keyClick(W(editor->edtDstPath), Qt::Key_Slash);
    EXPECT_EQ(Text(editor->rbFixedPath), ".zip");  // the trailing separator is dropped
    QTest::keyClick(W(editor->edtDstPath), Qt::Key_B);
    EXPECT_EQ(Text(editor->rbFixedPath), "/b.zip");
    QTest::keyClick(W(editor->edtDstPath), Qt::Key_Return);  // Enter acts as OK
  });
  QTest::mouseClick(W(main->sbAdd), Qt::LeftButton);
  ASSERT_EQ(main->cbxScriptName->Items()->Count(), 1);
  EXPECT_EQ(main->cbxScriptName->Text(), "Weekly");
  EXPECT_EQ(static_cast<QComboBox*>(W(main->cbxScriptName))->currentText(), "Weekly");
  TBackupScript script;
  main->ResetScript(script);
  script.Name = "Weekly";
  main->ReadScript(script);
  EXPECT_FALSE(script.CopyFiles);
  EXPECT_EQ(script.DstPath.substr(0, 2), "/b");
}

TEST_F(AppWindowsTest, ARunShowsItsProgressInTheTitleAndStatusLineAndEnablesTheControlsAgain) {
  for (const char* name : {"a.txt", "b.txt", "c.txt", "sub/d.txt"}) Write(QString("src/") + name, name);
  WriteIni({"[applic]", "script no=0", "[scripts]", "Daily=", "[script: Daily]", "CopyFiles=1",
            "DstPath=" + Path("dst") + "/", "DstFormat=2", "SrcPath=\"1" + Path("src") + "/\"", "SrcExt=",
            "UseArchiveAttrib=0", "RemArchiveAttrib=0", "InclFiles=1"});
  Start();
  ASSERT_EQ(static_cast<QComboBox*>(W(main->cbxScriptName))->currentText(), "Daily");
  qt->Titles.clear();
  qt->Statuses.clear();

  QTest::mouseClick(W(main->sbRun), Qt::LeftButton);

  // The title showed percent done and time left, and went back to the plain title.
  QRegularExpression progress(R"(^Velmora's Dravello \(\d+%, rem: \d+:\d\d\)$)");
  bool sawProgress = false;
  for (const QString& title : qt->Titles) sawProgress |= progress.match(title).hasMatch();
  EXPECT_TRUE(sawProgress) << qt->Titles.size();
  ASSERT_FALSE(qt->Titles.empty());
  EXPECT_EQ(qt->Titles.back(), "Velmora's Dravello");
  EXPECT_EQ(W(main)->windowTitle(), "Velmora's Dravello");
  EXPECT_GT(qt->MaxPosition, 0);

  // The status line showed the run's messages, then the idle line with its hand and hint.
  ASSERT_FALSE(qt->Statuses.empty());
  EXPECT_EQ(qt->Statuses.front(), "=== Starting script ===");
  EXPECT_NE(std::find(qt->Statuses.begin(), qt->Statuses.end(), "Copying a.txt"), qt->Statuses.end());
  EXPECT_NE(std::find(qt->Statuses.begin(), qt->Statuses.end(), "=== Finished script ==="), qt->Statuses.end());
  EXPECT_EQ(qt->Statuses.back(), kCreditLine);
  EXPECT_EQ(W(main->pnlStatus)->cursor().shape(), Qt::PointingHandCursor);

  // The script controls were off during the run and are on again; the language button never was.
  ASSERT_FALSE(qt->RunEnabled.empty());
  EXPECT_FALSE(qt->RunEnabled.front());
  EXPECT_TRUE(qt->RunEnabled.back());
  EXPECT_TRUE(qt->LangEnabled.empty() || qt->LangEnabled == std::vector<bool>(qt->LangEnabled.size(), true));
  for (TControl* c : std::vector<TControl*>{main->sbAdd, main->sbDel, main->sbEdt, main->sbRun, main->cbxScriptName})
    EXPECT_TRUE(W(c)->isEnabled()) << c->Name();
  // Hints were off while it ran and are back.
  EXPECT_NE(std::find(qt->StatusHints.begin(), qt->StatusHints.end(), QString()), qt->StatusHints.end());
  EXPECT_EQ(W(main->pnlStatus)->toolTip(), "Visit the author's homepage");
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  EXPECT_TRUE(QFile::exists(Path("dst") + Path("src/sub/d.txt")));
}

TEST_F(AppWindowsTest, ARunTellsItsProgressInTheBarsTooltipAndARefusedCloseSaysWhy) {
  for (int i = 0; i < 6; ++i) Write(QString("src/f%1.txt").arg(i), "data");
  WriteIni({"[applic]", "script no=0", "[scripts]", "Daily=", "[script: Daily]", "CopyFiles=1",
            "DstPath=" + Path("dst") + "/", "DstFormat=2", "SrcPath=\"1" + Path("src") + "/\"", "InclFiles=1"});
  Start();
  qt->CloseDuringRun = true;
  qt->Statuses.clear();
  QTest::mouseClick(W(main->sbRun), Qt::LeftButton);

  // The bar's tooltip had the title's figures while the run went on, and is empty again.
  QRegularExpression progress(R"(^\d+%, rem: \d+:\d\d$)");
  ASSERT_FALSE(qt->ProgressTips.empty());
  bool sawProgress = false;
  for (const QString& tip : qt->ProgressTips) sawProgress |= progress.match(tip).hasMatch();
  EXPECT_TRUE(sawProgress);
  EXPECT_EQ(W(main->prbMain)->toolTip(), "");

  // The close box was refused with a reason in the status line, and the run went on to its end.
  EXPECT_FALSE(qt->CloseDuringRun);
  EXPECT_TRUE(qt->StillOpenAfterClose);
  EXPECT_NE(std::find(qt->Statuses.begin(), qt->Statuses.end(),
                      "A script is running - close the window when it has finished"),
            qt->Statuses.end());
  EXPECT_TRUE(W(main)->isVisible());
  EXPECT_FALSE(app->Terminated());
  EXPECT_TRUE(QFile::exists(Path("dst") + Path("src/f5.txt")));
}

TEST_F(AppWindowsTest, ALongScriptNameIsCutInTheBoxAndWholeInItsListWithinTheScreen) {
  const QString longName = QString("Weekly backup of the photo archive ").repeated(12).trimmed();
  const QString fitting = "Weekly backup of the whole photo archive to the blue disk";
  WriteIni({"[applic]", "script no=0", "[scripts]", longName + "=", fitting + "=", "Daily="});
  Start();
  QWidget* window = W(main);
  auto* box = dynamic_cast<qtui::TComboBoxWidget*>(W(main->cbxScriptName));
  ASSERT_NE(box, nullptr);
  const QRect area = window->screen()->availableGeometry();
  struct Row {
    QString name;
    bool fitsTheScreen;
  };
  for (const Row& row : {Row{fitting, true}, Row{longName, false}}) {
    SCOPED_TRACE(row.name.left(20).toStdString());
    main->cbxScriptName->SetItemIndex(main->cbxScriptName->Items()->IndexOf(row.name.toStdString()));
    ASSERT_EQ(box->currentText(), row.name);
    // The window and the box keep their sizes; the box shows the name cut with an ellipsis.
    EXPECT_EQ(window->size(), QSize(312, 108));
    EXPECT_EQ(box->size(), QSize(296, 21));
    const QString shown = box->ShownText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(row.name.startsWith(shown.chopped(1)));
    EXPECT_LT(box->fontMetrics().horizontalAdvance(shown), box->width());

    box->showPopup();
    QWidget* popup = box->view()->window();
    ASSERT_TRUE(WaitFor([&] { return popup->isVisible(); }));
    EXPECT_TRUE(area.contains(popup->geometry())) << popup->geometry().width();
    const int index = box->findText(row.name);
    const int textWidth = box->view()->fontMetrics().horizontalAdvance(row.name);
    if (row.fitsTheScreen) {
      EXPECT_GE(box->view()->viewport()->width(), textWidth);
      EXPECT_FALSE(box->itemData(index, Qt::ToolTipRole).isValid());
    } else {
      EXPECT_EQ(popup->width(), area.width());
      EXPECT_EQ(box->itemData(index, Qt::ToolTipRole).toString(), row.name);
    }
    box->hidePopup();
    EXPECT_EQ(window->size(), QSize(312, 108));
  }
}

}  // namespace
}  // namespace dravello::qttest
