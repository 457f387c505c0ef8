#include "lang/u_language.h"

#include <array>

namespace dravello {

namespace {

// The lines as they are stored: a backslash followed by "n" is still two characters here and
// becomes a line break when an entry is read.
constexpr std::array<std::string_view, 111> kCatalogue = {
    R"([en])",
    R"(fM_msgDup_cap = 'Error: Duplicate Name')",
    R"(fM_msgDup_txt = 'Script already exists.')",
    R"(fM_msgMis_cap = 'Error: Missing script name')",
    R"(fM_msgMis_txt = 'A script name must be specified.')",
    R"(fM_msgDel_cap = 'Confirm deletion')",
    R"(fM_msgDel_txt = 'Do you really want to delete the script "%s"?')",
    R"(fM_msgCLP_cap = 'Parameter error')",
    R"(fM_msgCLP_txt = 'You specified more than one parameter.\nThe application can only execute one script file per start.\nMaybe you tried to pass a script name that contains\none or more spaces. To use such a script name put\ndouble quotes (ASCII: 34) around the name.')",
    R"(fM_msgNoScript_cap = 'Parameter error')",
    R"(fM_msgNoScript_txt = 'The following script does not exist:#CRLF#%s\nPlease choose one manually.')",
    R"(fM_msgDLL_cap = 'DLL error')",
    R"(fM_msgDLL_txt = 'The necessary ZIPENGINE.DLL could not be found.\nPlease make sure these files are located in the same\ndirectory as the application is.')",
    R"(fM_stbShowScript = 'showing script name in ComboBox')",
    R"(fM_stbRetrieving = 'Retrieving filenames...')",
    R"(fM_stbRetrievingErr = 'retrieving files from %s')",
    R"(fM_stbSortErr = 'sorting out files')",
    R"(fM_stbScrStart = '=== Starting script ===')",
    R"(fM_stbScrFinish = '=== Finished script ===')",
    R"(fM_stbProcPath = 'Processing %d directories...')",
    R"(fM_stbProcFile = 'Processing %d files...')",
    R"(fM_stbCreatePathErr = 'creating path %s')",
    R"(fM_stbCopying = 'Copying %s')",
    R"(fM_stbCopyingErr = 'copying %s -> %s')",
    R"(fM_stbCopied = 'Copied %d files...')",
    R"(fM_stbPacking = 'Packing %d files...')",
    R"(fM_stbPackingErr = 'adding files to zip')",
    R"(fM_stbPackDone = 'Packing done.')",
    R"(fM_stbStatusError = '### Exception during %s [%s]')",
    R"(fM_stbLogWriteErr = 'writing to log')",
    R"(fM_stbTraceWriteErr = 'writing to trace')",
    R"(fM_stbIniReadErr = 'reading ini file')",
    R"(fM_stbResetProgBarErr = 'resetting progress bar')",
    R"(fM_stbStepProgBarErr = 'stepping progress bar')",
    R"(fM_stbPackingFile = 'Packing %s')",
    R"(fM_stbHint = 'Visit the author's homepage')",
    R"(fC_frmConfigAdd = 'Add script')",
    R"(fC_frmConfigEdt = 'Edit script')",
    R"(fC_SelDest = 'Select backup destination')",
    R"(fC_SelFilter = 'Enter filter')",
    R"(fC_EdtFilter = 'Edit filter')",
    R"(fM_msgBadName_cap = 'Error: Invalid script name')",
    R"(fM_msgBadName_txt = 'A script name must not begin or end with a blank\nand must not contain "=", line breaks or other control characters.')",
    R"(fM_stbRunFailed = 'Failed steps: %d - the log has the details')",
    R"(fM_stbNoArchiveAttr = 'The file system of %s cannot keep the archive attribute: its files are backed up again on every run')",
    R"(fM_stbDestInSource = 'The destination %s lies inside a source and is left out of the backup')",
    R"(fM_stbSyncErr = 'writing the copies in %s to disk')",
    R"(fM_stbVerifying = 'Verifying %d files...')",
    R"(fM_stbVerified = 'Verified %d files.')",
    R"(fM_stbVerifyErr = 'verifying %s')",
    R"(fM_stbArchiveBitErr = 'clearing the archive attribute of %s')",
    R"(fM_stbSyncArchiveErr = 'writing the archive %s to disk')",
    R"(fM_stbRemovedOld = 'Removed old backup %s')",
    R"(fM_stbRemoveOldErr = 'removing old backup %s')",
    R"(fM_stbCloseRefused = 'A script is running - close the window when it has finished')",
    R"()",
    R"([de])",
    R"(fM_msgDup_cap = 'Fehler: Doppelter Name')",
    R"(fM_msgDup_txt = 'Script mit diesem Namen existiert bereits.')",
    R"(fM_msgMis_cap = 'Error: Fehlender Skriptname')",
    R"(fM_msgMis_txt = 'Es muss ein Name für das Skript angegeben werden.')",
    R"(fM_msgDel_cap = 'Betätigung')",
    R"(fM_msgDel_txt = 'Möchten Sie wirklich das Skript "%s" löschen?')",
    R"(fM_msgCLP_cap = 'Parameterfehler')",
    R"(fM_msgCLP_txt = 'Sie haben mehr als einen Parameter angegeben.\nDie Anwendung kann lediglich ein Skript pro Start ausführen.\nVielleicht haben Sie versucht, einen Skriptname zu verwenden, der\neinen oder mehrere Leerzeichen enthält.\nUm diesen verwenden zu können, muss der Skriptname in doppelte\nAnführungszeichen (ASCII: 34) gestellt werden.')",
    R"(fM_msgNoScript_cap = 'Parameterfehler')",
    R"(fM_msgNoScript_txt = 'Das Skript "%s" existiert nicht.\nBitte wählen Sie nun manuell ein Skript aus.')",
    R"(fM_msgDLL_cap = 'DLL Fehler')",
    R"(fM_msgDLL_txt = 'Die notwendige ZIPENGINE.DLL konnte nicht gefunden werden.\nBitte stellen Sie sicher, dass sich diese Datei\nim Anwendungsverzeichnis befindet.')",
    R"(fM_stbShowScript = 'beim Anzeigen des Akriptnamen in der ComboBox')",
    R"(fM_stbRetrieving = 'Stelle Liste der Dateinamen zusammen...')",
    R"(fM_stbRetrievingErr = 'beim Suchen von Dateien in %s')",
    R"(fM_stbSortErr = 'Sortieren der Dateien')",
    R"(fM_stbScrStart = '=== Skriptbeginn ===')",
    R"(fM_stbScrFinish = '=== SkriptEnde ===')",
    R"(fM_stbProcPath = 'Bearbeite %d Verzeichnisse...')",
    R"(fM_stbProcFile = 'Bearbeite %d Dateien...')",
    R"(fM_stbCreatePathErr = 'Erzeuge Verzeichnis %s')",
    R"(fM_stbCopying = 'Kopiere %s')",
    R"(fM_stbCopyingErr = 'beim Kopieren von %s nach %s')",
    R"(fM_stbCopied = '%d Dateien kopiert...')",
    R"(fM_stbPacking = 'Packe %d Dateien...')",
    R"(fM_stbPackingErr = 'beim Hinzufügen von Dateien zum Archiv')",
    R"(fM_stbPackDone = 'Packvorgang beendet.')",
    R"(fM_stbStatusError = '### Ausnahmefehler %s [%s]')",
    R"(fM_stbLogWriteErr = 'beim Schreiben in die Protokolldatei')",
    R"(fM_stbTraceWriteErr = 'beim Schreiben in die erweiterte Protokolldatei')",
    R"(fM_stbIniReadErr = 'bei Lesen der INI-Datei')",
    R"(fM_stbResetProgBarErr = 'Rücksetzen des Fortschrittsbalken')",
    R"(fM_stbStepProgBarErr = 'Weiterzählen des Fortschrittsbalken')",
    R"(fM_stbPackingFile = 'Packe %s')",
    R"(fM_stbHint = 'Internetseite des Authors besuchen')",
    R"(fC_frmConfigAdd = 'Skript anlegen')",
    R"(fC_frmConfigEdt = 'Skript bearbeiten')",
    R"(fC_SelDest = 'Zielverzeichnis der Sicherung auswählen')",
    R"(fC_SelFilter = 'Filtereingabe')",
    R"(fC_EdtFilter = 'Filter bearbeiten')",
    R"(fM_msgBadName_cap = 'Fehler: Ungültiger Skriptname')",
    R"(fM_msgBadName_txt = 'Ein Skriptname darf nicht mit einem Leerzeichen beginnen oder enden\nund kein "=", keinen Zeilenumbruch und kein anderes Steuerzeichen enthalten.')",
    R"(fM_stbRunFailed = 'Fehlgeschlagene Schritte: %d - Einzelheiten im Protokoll')",
    R"(fM_stbNoArchiveAttr = 'Das Dateisystem von %s kann das Archivattribut nicht halten: seine Dateien werden bei jedem Lauf erneut gesichert')",
    R"(fM_stbDestInSource = 'Das Ziel %s liegt in einer Quelle und wird nicht mitgesichert')",
    R"(fM_stbSyncErr = 'beim Schreiben der Kopien in %s auf die Platte')",
    R"(fM_stbVerifying = 'Prüfe %d Dateien...')",
    R"(fM_stbVerified = '%d Dateien geprüft.')",
    R"(fM_stbVerifyErr = 'beim Prüfen von %s')",
    R"(fM_stbArchiveBitErr = 'beim Löschen des Archivattributs von %s')",
    R"(fM_stbSyncArchiveErr = 'beim Schreiben des Archivs %s auf die Platte')",
    R"(fM_stbRemovedOld = 'Alte Sicherung %s entfernt')",
    R"(fM_stbRemoveOldErr = 'beim Entfernen der alten Sicherung %s')",
    R"(fM_stbCloseRefused = 'Ein Skript läuft - schließen Sie das Fenster, wenn es beendet ist')",
};

}  // namespace

std::span<const std::string_view> MessageCatalogue() { return kCatalogue; }

bool CatalogueHasLanguage(std::string_view code) {
  for (std::string_view line : kCatalogue)
    if (line.size() == code.size() + 2 && line.front() == '[' && line.back() == ']' && line.substr(1, code.size()) == code)
      return true;
  return false;
}

TLocalizer& mlMessages() {
  static TLocalizer instance(nullptr);
  return instance;
}

std::string MessageText(std::string_view key) {
  TLocalizer& messages = mlMessages();
  if (messages.Script()->Empty()) {
    TStringList lines;
    for (std::string_view line : kCatalogue) lines.Add(std::string(line));
    messages.SetScript(lines);
  }
  return messages.Lookup(key);
}

std::string MessageTextFmt(std::string_view key, std::initializer_list<FormatArg> args) {
  return Format(MessageText(key), args);
}

}  // namespace dravello
