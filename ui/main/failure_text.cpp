#include "ui/main/failure_text.h"

#include <array>
#include <iterator>

namespace quillet {
namespace {

constexpr std::size_t kReasonCount =
    static_cast<std::size_t>(FailureReason::kCount);

// The program's own reasons, one line per FailureReason in its order.
// kSystem has no words of its own: the system's text is shown as it came.
constexpr const char* kGermanReasons[] = {
    "",                                         // kSystem
    "der Zielordner existiert nicht",           // kTargetMissing
    "das Ziel ist kein Ordner",                 // kTargetNotFolder
    "die Mailbox existiert nicht",              // kSourceMissing
    "die Mailbox ist keine gewöhnliche Datei",  // kSourceNotRegular
    "der Name der Ausgabe ist durch etwas belegt, das keine "
    "gewöhnliche Datei ist",  // kOutputNotRegular
    "die Ausgabe würde eine Mailbox dieses Laufs überschreiben",  // kOutputIsSource
    "eine andere Mailbox dieses Laufs hat dieselbe Ausgabe",  // kOutputClash
    "der Name der Ausgabe ist ein symbolischer Link, dem nicht gefolgt "
    "wird",                                                 // kOutputIsLink
    "keine Berechtigung, die Mailbox zu lesen",             // kSourceUnreadable
    "keine Berechtigung, im Zielordner Dateien anzulegen",  // kTargetNotWritable
    "der Zielordner liegt auf einem schreibgeschützten Dateisystem",  // kTargetReadOnly
    "der Name der Ausgabe ist länger, als das Dateisystem des Ziels "
    "erlaubt",  // kNameTooLong
    "das Dateisystem des Ziels erlaubt diesen Namen der Ausgabe nicht",  // kNameNotAllowed
    "eine andere Mailbox dieses Laufs hat auf diesem Dateisystem, das "
    "Groß- und Kleinschreibung nicht unterscheidet, dieselbe Ausgabe",  // kOutputCaseClash
    "die Ausgabe würde eine andere Ausgabe dieses Laufs ersetzen (das "
    "Dateisystem unterscheidet Groß- und Kleinschreibung nicht)",  // kReplacesOwnOutput
    "ein anderes Programm hat eine Datei dieses Namens angelegt, während "
    "die Ausgabe geschrieben wurde",                             // kOutputTaken
    "die Mailbox hat sich geändert, während sie gelesen wurde",  // kSourceChanged
    "ein anderes Programm schreibt die Mailbox (sie ist gesperrt)",  // kSourceLocked
    "der Name ist kein gültiges UTF-8 und kann nicht unverändert "
    "weitergegeben werden",  // kNameNotUtf8
};
constexpr const char* kFrenchReasons[] = {
    "",                                                     // kSystem
    "le dossier de destination n'existe pas",               // kTargetMissing
    "la destination n'est pas un dossier",                  // kTargetNotFolder
    "la boîte aux lettres n'existe pas",                    // kSourceMissing
    "la boîte aux lettres n'est pas un fichier ordinaire",  // kSourceNotRegular
    "le nom du fichier de sortie est pris par autre chose qu'un "
    "fichier ordinaire",  // kOutputNotRegular
    "le fichier de sortie écraserait une boîte de cette conversion",  // kOutputIsSource
    "une autre boîte de cette conversion a le même fichier de sortie",  // kOutputClash
    "le nom du fichier de sortie est un lien symbolique, qui n'est pas "
    "suivi",                                           // kOutputIsLink
    "pas de permission de lire la boîte aux lettres",  // kSourceUnreadable
    "pas de permission de créer des fichiers dans le dossier de "
    "destination",  // kTargetNotWritable
    "le dossier de destination est sur un système de fichiers en "
    "lecture seule",  // kTargetReadOnly
    "le nom du fichier de sortie est plus long que ne le permet le "
    "système de fichiers de la destination",  // kNameTooLong
    "le système de fichiers de la destination n'accepte pas ce nom de "
    "fichier de sortie",  // kNameNotAllowed
    "une autre boîte de cette conversion a le même fichier de sortie sur "
    "ce système de fichiers, qui ne distingue pas majuscules et "
    "minuscules",  // kOutputCaseClash
    "le fichier de sortie remplacerait un autre fichier de sortie de "
    "cette conversion (le système de fichiers ne distingue pas "
    "majuscules et minuscules)",  // kReplacesOwnOutput
    "un autre programme a créé un fichier de ce nom pendant l'écriture "
    "du fichier de sortie",                              // kOutputTaken
    "la boîte aux lettres a changé pendant sa lecture",  // kSourceChanged
    "un autre programme écrit la boîte aux lettres (elle est "
    "verrouillée)",  // kSourceLocked
    "le nom n'est pas de l'UTF-8 valide et ne peut pas être transmis "
    "tel quel",  // kNameNotUtf8
};
static_assert(std::size(kGermanReasons) == kReasonCount);
static_assert(std::size(kFrenchReasons) == kReasonCount);
constexpr std::size_t kStepCount =
    static_cast<std::size_t>(RunStep::kSyncFolder) + 1;

struct FailureTable {
  const char* run_stopped;        // first line
  const char* job_check;          // %1 reason (the job could not start)
  const char* mailbox;            // %1 number, %2 name
  const char* file;               // %1 path
  const char* step;               // %1 step
  const char* reason;             // %1 reason
  const char* converted;          // %1 count
  const char* again;              // last line
  const char* open_dialog;        // %1 reason
  const char* folder_picker;      // %1 reason
  const char* status_stopped;     // status line after a check failure
  const char* status_stopped_at;  // %1 number, %2 name
  std::array<const char*, kStepCount> steps;  // by RunStep
  // By FailureReason; none for English, whose words are the engine's own.
  const char* const* reasons;
};

constexpr FailureTable kGerman = {
    "Die Konvertierung wurde abgebrochen.",
    "Der Auftrag kann so nicht ausgeführt werden.",
    "Mailbox %1: %2",
    "Pfad: %1",
    "Schritt: %1",
    "Grund: %1",
    "Davor vollständig konvertiert: %1 Mailbox(en).",
    "Beheben Sie die Ursache und klicken Sie erneut auf \"Go!\".",
    "Der Dateiauswahldialog konnte nicht gezeigt werden.\nGrund: %1",
    "Die Ordnerauswahl konnte nicht gezeigt werden.\nGrund: %1",
    "Konvertierung abgebrochen.",
    "Konvertierung abgebrochen bei Mailbox %1 (%2).",
    {"Prüfen des Auftrags", "Größe der Quelle ermitteln", "Quelle öffnen",
     "Quelle lesen", "Quelle schließen", "Ausgabe anlegen", "Ausgabe schreiben",
     "Ausgabe speichern", "Ausgabe fertigstellen",
     "Ausgabe auf die Platte bringen", "Ordnereinträge auf die Platte bringen"},
    kGermanReasons,
};

constexpr FailureTable kEnglish = {
    "The conversion has stopped.",
    "The job cannot run as it stands.",
    "Mailbox %1: %2",
    "Path: %1",
    "Step: %1",
    "Reason: %1",
    "Converted completely before: %1 mailbox(es).",
    "Mend the cause and click \"Go!\" again.",
    "The file dialog could not be shown.\nReason: %1",
    "The folder picker could not be shown.\nReason: %1",
    "Conversion stopped.",
    "Conversion stopped at mailbox %1 (%2).",
    {"checking the job", "finding the source's size", "opening the source",
     "reading the source", "closing the source", "creating the output",
     "writing the output", "saving the output", "completing the output",
     "storing the output on the disk",
     "storing the folder's entries on the disk"},
    nullptr,
};

constexpr FailureTable kFrench = {
    "La conversion a été interrompue.",
    "La tâche ne peut pas être exécutée telle quelle.",
    "Boîte n° %1 : %2",
    "Chemin : %1",
    "Étape : %1",
    "Raison : %1",
    "Converties entièrement auparavant : %1 boîte(s).",
    "Corrigez la cause et cliquez de nouveau sur \"Go!\".",
    "La boîte de dialogue des fichiers n'a pas pu s'ouvrir.\nRaison : %1",
    "Le choix du dossier n'a pas pu s'ouvrir.\nRaison : %1",
    "Conversion interrompue.",
    "Conversion interrompue à la boîte n° %1 (%2).",
    {"vérification de la tâche", "taille de la source",
     "ouverture de la source", "lecture de la source", "fermeture de la source",
     "création du fichier", "écriture du fichier", "enregistrement du fichier",
     "finalisation du fichier", "écriture du fichier sur le disque",
     "écriture des entrées du dossier sur le disque"},
    kFrenchReasons,
};

const FailureTable& TableFor(Language language) {
  return ForLanguage(language, kGerman, kEnglish, kFrench);
}

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

QString OwnReasonWords(Language language, FailureReason reason) {
  const auto index = static_cast<std::size_t>(reason);
  if (reason == FailureReason::kSystem || index >= kReasonCount) return {};
  const FailureTable& t = TableFor(language);
  return t.reasons == nullptr ? ReasonText(reason) : Text(t.reasons[index]);
}

QString ReasonInWords(Language language, const RunFailure& failure) {
  const QString own = OwnReasonWords(language, failure.code);
  return own.isEmpty() ? failure.reason : own;
}

QString RunStoppedStatus(Language language, const RunFailure& failure) {
  const FailureTable& t = TableFor(language);
  if (failure.mailbox_number <= 0) return Text(t.status_stopped);
  return Text(t.status_stopped_at)
      .arg(QString::number(failure.mailbox_number), failure.mailbox);
}

QString RunFailureMessage(Language language, const RunFailure& failure,
                          int converted_before) {
  const FailureTable& t = TableFor(language);
  QStringList lines{Text(t.run_stopped)};
  if (failure.step == RunStep::kCheck) lines.append(Text(t.job_check));
  lines.append(QString());
  if (failure.mailbox_number > 0 || !failure.mailbox.isEmpty()) {
    lines.append(Text(t.mailbox).arg(QString::number(failure.mailbox_number),
                                     failure.mailbox));
  }
  if (!failure.path.isEmpty()) lines.append(Text(t.file).arg(failure.path));
  const auto step = static_cast<std::size_t>(failure.step);
  if (step < t.steps.size())
    lines.append(Text(t.step).arg(Text(t.steps[step])));
  lines.append(Text(t.reason).arg(ReasonInWords(language, failure)));
  lines.append(QString());
  lines.append(Text(t.converted).arg(converted_before));
  lines.append(Text(t.again));
  return lines.join(QLatin1Char('\n'));
}

QString OpenDialogFailureMessage(Language language, const QString& reason) {
  return Text(TableFor(language).open_dialog).arg(reason);
}

QString FolderPickerFailureMessage(Language language, const QString& reason) {
  return Text(TableFor(language).folder_picker).arg(reason);
}

}  // namespace quillet
