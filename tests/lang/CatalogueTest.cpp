#include <gtest/gtest.h>

#include "lang/u_language.h"

namespace dravello {
namespace {

// Every key with its English and German text as a lookup gives it (line breaks as CR LF).
struct Message {
  const char* key;
  const char* en;
  const char* de;
};
const Message kMessages[] = {
    {"fM_msgDup_cap", "Error: Duplicate Name",
     "Fehler: Doppelter Name"},
    {"fM_msgDup_txt", "Script already exists.",
     "Script mit diesem Namen existiert bereits."},
    {"fM_msgMis_cap", "Error: Missing script name",
     "Error: Fehlender Skriptname"},
    {"fM_msgMis_txt", "A script name must be specified.",
     "Es muss ein Name für das Skript angegeben werden."},
    {"fM_msgDel_cap", "Confirm deletion",
     "Betätigung"},
    {"fM_msgDel_txt", "Do you really want to delete the script \"%s\"?",
     "Möchten Sie wirklich das Skript \"%s\" löschen?"},
    {"fM_msgCLP_cap", "Parameter error",
     "Parameterfehler"},
    {"fM_msgCLP_txt", "You specified more than one parameter.\r\nThe application can only execute one script file per start.\r\nMaybe you tried to pass a script name that contains\r\none or more spaces. To use such a script name put\r\ndouble quotes (ASCII: 34) around the name.",
     "Sie haben mehr als einen Parameter angegeben.\r\nDie Anwendung kann lediglich ein Skript pro Start ausführen.\r\nVielleicht haben Sie versucht, einen Skriptname zu verwenden, der\r\neinen oder mehrere Leerzeichen enthält.\r\nUm diesen verwenden zu können, muss der Skriptname in doppelte\r\nAnführungszeichen (ASCII: 34) gestellt werden."},
    {"fM_msgNoScript_cap", "Parameter error",
     "Parameterfehler"},
    {"fM_msgNoScript_txt", "The following script does not exist:#CRLF#%s\r\nPlease choose one manually.",
     "Das Skript \"%s\" existiert nicht.\r\nBitte wählen Sie nun manuell ein Skript aus."},
    {"fM_msgDLL_cap", "DLL error",
     "DLL Fehler"},
    {"fM_msgDLL_txt", "The necessary ZIPENGINE.DLL could not be found.\r\nPlease make sure these files are located in the same\r\ndirectory as the application is.",
     "Die notwendige ZIPENGINE.DLL konnte nicht gefunden werden.\r\nBitte stellen Sie sicher, dass sich diese Datei\r\nim Anwendungsverzeichnis befindet."},
    {"fM_stbShowScript", "showing script name in ComboBox",
     "beim Anzeigen des Akriptnamen in der ComboBox"},
    {"fM_stbRetrieving", "Retrieving filenames...",
     "Stelle Liste der Dateinamen zusammen..."},
    {"fM_stbRetrievingErr", "retrieving files from %s",
     "beim Suchen von Dateien in %s"},
    {"fM_stbSortErr", "sorting out files",
     "Sortieren der Dateien"},
    {"fM_stbScrStart", "=== Starting script ===",
     "=== Skriptbeginn ==="},
    {"fM_stbScrFinish", "=== Finished script ===",
     "=== SkriptEnde ==="},
    {"fM_stbProcPath", "Processing %d directories...",
     "Bearbeite %d Verzeichnisse..."},
    {"fM_stbProcFile", "Processing %d files...",
     "Bearbeite %d Dateien..."},
    {"fM_stbCreatePathErr", "creating path %s",
     "Erzeuge Verzeichnis %s"},
    {"fM_stbCopying", "Copying %s",
     "Kopiere %s"},
    {"fM_stbCopyingErr", "copying %s -> %s",
     "beim Kopieren von %s nach %s"},
    {"fM_stbCopied", "Copied %d files...",
     "%d Dateien kopiert..."},
    {"fM_stbPacking", "Packing %d files...",
     "Packe %d Dateien..."},
    {"fM_stbPackingErr", "adding files to zip",
     "beim Hinzufügen von Dateien zum Archiv"},
    {"fM_stbPackDone", "Packing done.",
     "Packvorgang beendet."},
    {"fM_stbStatusError", "### Exception during %s [%s]",
     "### Ausnahmefehler %s [%s]"},
    {"fM_stbLogWriteErr", "writing to log",
     "beim Schreiben in die Protokolldatei"},
    {"fM_stbTraceWriteErr", "writing to trace",
     "beim Schreiben in die erweiterte Protokolldatei"},
    {"fM_stbIniReadErr", "reading ini file",
     "bei Lesen der INI-Datei"},
    {"fM_stbResetProgBarErr", "resetting progress bar",
     "Rücksetzen des Fortschrittsbalken"},
    {"fM_stbStepProgBarErr", "stepping progress bar",
     "Weiterzählen des Fortschrittsbalken"},
    {"fM_stbPackingFile", "Packing %s",
     "Packe %s"},
    {"fM_stbHint", "Visit the author's homepage",
     "Internetseite des Authors besuchen"},
    {"fC_frmConfigAdd", "Add script",
     "Skript anlegen"},
    {"fC_frmConfigEdt", "Edit script",
     "Skript bearbeiten"},
    {"fC_SelDest", "Select backup destination",
     "Zielverzeichnis der Sicherung auswählen"},
    {"fC_SelFilter", "Enter filter",
     "Filtereingabe"},
    {"fC_EdtFilter", "Edit filter",
     "Filter bearbeiten"},
    {"fM_msgBadName_cap", "Error: Invalid script name",
     "Fehler: Ungültiger Skriptname"},
    {"fM_msgBadName_txt", "A script name must not begin or end with a blank\r\nand must not contain \"=\", line breaks or other control characters.",
     "Ein Skriptname darf nicht mit einem Leerzeichen beginnen oder enden\r\nund kein \"=\", keinen Zeilenumbruch und kein anderes Steuerzeichen enthalten."},
    {"fM_stbRunFailed", "Failed steps: %d - the log has the details",
     "Fehlgeschlagene Schritte: %d - Einzelheiten im Protokoll"},
    {"fM_stbNoArchiveAttr", "The file system of %s cannot keep the archive attribute: its files are backed up again on every run",
     "Das Dateisystem von %s kann das Archivattribut nicht halten: seine Dateien werden bei jedem Lauf erneut gesichert"},
    {"fM_stbDestInSource", "The destination %s lies inside a source and is left out of the backup",
     "Das Ziel %s liegt in einer Quelle und wird nicht mitgesichert"},
    {"fM_stbSyncErr", "writing the copies in %s to disk",
     "beim Schreiben der Kopien in %s auf die Platte"},
    {"fM_stbVerifying", "Verifying %d files...",
     "Prüfe %d Dateien..."},
    {"fM_stbVerified", "Verified %d files.",
     "%d Dateien geprüft."},
    {"fM_stbVerifyErr", "verifying %s",
     "beim Prüfen von %s"},
    {"fM_stbArchiveBitErr", "clearing the archive attribute of %s",
     "beim Löschen des Archivattributs von %s"},
    {"fM_stbSyncArchiveErr", "writing the archive %s to disk",
     "beim Schreiben des Archivs %s auf die Platte"},
    {"fM_stbRemovedOld", "Removed old backup %s",
     "Alte Sicherung %s entfernt"},
    {"fM_stbRemoveOldErr", "removing old backup %s",
     "beim Entfernen der alten Sicherung %s"},
    {"fM_stbCloseRefused", "A script is running - close the window when it has finished",
     "Ein Skript läuft - schließen Sie das Fenster, wenn es beendet ist"},
};
constexpr size_t kCount = std::size(kMessages);

// mlMessages is program-wide: every test starts and ends with it as the program starts.
class CatalogueTest : public ::testing::Test {
 protected:
  CatalogueTest() { Reset(); }
  ~CatalogueTest() override { Reset(); }
  static void Reset() {
    mlMessages().SetLanguage("");
    mlMessages().Script()->Clear();
  }
};

TEST_F(CatalogueTest, TwoSectionsOfTheSameEntriesInTheSameOrder) {
  auto lines = MessageCatalogue();
  ASSERT_EQ(lines.size(), 2 * kCount + 3);
  EXPECT_EQ(lines[0], "[en]");
  EXPECT_EQ(lines[kCount + 1], "");
  EXPECT_EQ(lines[kCount + 2], "[de]");
  // Line breaks are stored as backslash and "n", turned into CR LF only when read.
  EXPECT_NE(lines[8].find("contains\\none"), std::string_view::npos) << lines[8];
  for (size_t i = 0; i < kCount; ++i) {
    for (size_t line : {1 + i, kCount + 3 + i}) {
      const std::string_view l = lines[line];
      const std::string prefix = std::string(kMessages[i].key) + " = '";
      EXPECT_EQ(l.substr(0, prefix.size()), prefix) << l;
      EXPECT_EQ(l.back(), '\'') << l;
      EXPECT_EQ(l.find('\r'), std::string_view::npos) << l;
    }
  }
}

TEST_F(CatalogueTest, EveryTextInBothLanguages) {
  for (const char* code : {"en", "de"}) {
    mlMessages().SetLanguage(code);
    for (const Message& m : kMessages)
      EXPECT_EQ(MessageText(m.key), std::string(code) == "en" ? m.en : m.de) << code << " " << m.key;
    EXPECT_EQ(mlMessages().SelectedLines().Count(), static_cast<int>(kCount));
  }
}

TEST_F(CatalogueTest, EmptyUntilALanguageIsSetThenFollowsEverySwitch) {
  EXPECT_TRUE(mlMessages().Script()->Empty());
  EXPECT_EQ(mlMessages().Owner(), nullptr);
  EXPECT_EQ(MessageText("fM_msgDup_cap"), "");
  EXPECT_EQ(mlMessages().Script()->Count(), static_cast<int>(2 * kCount + 3));
  mlMessages().SetLanguage("en");
  EXPECT_EQ(MessageText("fM_msgDup_cap"), "Error: Duplicate Name");
  mlMessages().SetLanguage("de");
  EXPECT_EQ(MessageText("fM_msgDup_cap"), "Fehler: Doppelter Name");
  mlMessages().SetLanguage("en");
  EXPECT_EQ(MessageText("fM_msgDup_cap"), "Error: Duplicate Name");
  mlMessages().SetLanguage("EN");
  EXPECT_EQ(MessageText("fM_stbHint"), "Visit the author's homepage");
}

TEST_F(CatalogueTest, LanguageSetBeforeTheFirstLookup) {
  mlMessages().SetLanguage("de");
  EXPECT_EQ(MessageText("fC_SelDest"), "Zielverzeichnis der Sicherung ausw\xC3\xA4hlen");
}

TEST_F(CatalogueTest, UnknownKeysAndLanguagesGiveTheEmptyText) {
  mlMessages().SetLanguage("en");
  EXPECT_EQ(MessageText("fM_noSuchKey"), "");
  EXPECT_EQ(MessageText("fm_msgdup_cap"), "");
  EXPECT_EQ(MessageText(""), "");
  EXPECT_EQ(MessageTextFmt("fM_noSuchKey", {int64_t{1}, std::string("x")}), "");
  mlMessages().SetLanguage("fr");
  EXPECT_EQ(MessageText("fM_msgDup_cap"), "");
}

TEST_F(CatalogueTest, TextsKeepHashCrlfAndGetRealLineBreaks) {
  mlMessages().SetLanguage("en");
  EXPECT_EQ(MessageText("fM_msgNoScript_txt"),
            "The following script does not exist:#CRLF#%s\r\nPlease choose one manually.");
  EXPECT_EQ(MessageTextFmt("fM_msgNoScript_txt", {std::string("Nightly")}),
            "The following script does not exist:#CRLF#Nightly\r\nPlease choose one manually.");
}

TEST_F(CatalogueTest, FormattedTexts) {
  mlMessages().SetLanguage("en");
  EXPECT_EQ(MessageTextFmt("fM_msgDel_txt", {std::string("Docs")}),
            "Do you really want to delete the script \"Docs\"?");
  EXPECT_EQ(MessageTextFmt("fM_stbCopyingErr", {std::string("a"), std::string("b")}), "copying a -> b");
  EXPECT_EQ(MessageTextFmt("fM_stbProcFile", {int64_t{12}}), "Processing 12 files...");
  EXPECT_EQ(MessageTextFmt("fM_stbStatusError", {std::string("sorting out files"), std::string("boom")}),
            "### Exception during sorting out files [boom]");
  mlMessages().SetLanguage("de");
  EXPECT_EQ(MessageTextFmt("fM_stbCopied", {int64_t{3}}), "3 Dateien kopiert...");
}

TEST_F(CatalogueTest, FormatErrorsReachTheCaller) {
  mlMessages().SetLanguage("en");
  EXPECT_THROW(MessageTextFmt("fM_stbProcFile", {std::string("twelve")}), EConvertError);
  EXPECT_THROW(MessageTextFmt("fM_stbCopyingErr", {std::string("only one")}), EConvertError);
}

TEST_F(CatalogueTest, ScriptIsLoadedOnlyWhileEmpty) {
  TStringList own;
  own.Add("[en]");
  own.Add("fM_msgDup_cap = 'replaced'");
  mlMessages().SetScript(own);
  mlMessages().SetLanguage("en");
  EXPECT_EQ(MessageText("fM_msgDup_cap"), "replaced");
  EXPECT_EQ(mlMessages().Script()->Count(), 2);
}

}  // namespace
}  // namespace dravello
