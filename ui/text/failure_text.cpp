// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/text/failure_text.h"

#include <algorithm>
#include <iterator>

namespace quillet {
namespace {

// One text in the window's three languages, side by side. The tables are
// kept as UTF-8 literals.
struct Words {
  const char* german;
  const char* english;
  const char* french;
};

QString In(Language language, const Words& words) {
  return QString::fromUtf8(
      ForLanguage(language, words.german, words.english, words.french));
}

// The first line of a failure.
constexpr Words kRunStopped = {"Die Konvertierung wurde abgebrochen.",
                               "The conversion has stopped.",
                               "La conversion a été interrompue."};
// The second line when the job could not start.
constexpr Words kJobCheck = {
    "Der Auftrag kann so nicht ausgeführt werden.",
    "The job cannot run as it stands.",
    "La tâche ne peut pas être exécutée telle quelle."};
// %1 number, %2 name
constexpr Words kMailbox = {"Mailbox %1: %2", "Mailbox %1: %2",
                            "Boîte n° %1 : %2"};
// %1 path
constexpr Words kFile = {"Pfad: %1", "Path: %1", "Chemin : %1"};
// %1 step
constexpr Words kStep = {"Schritt: %1", "Step: %1", "Étape : %1"};
// %1 reason
constexpr Words kReason = {"Grund: %1", "Reason: %1", "Raison : %1"};
// %1 count
constexpr Words kConverted = {
    "Davor vollständig konvertiert: %1 Mailbox(en).",
    "Converted completely before: %1 mailbox(es).",
    "Converties entièrement auparavant : %1 boîte(s)."};
// The last line of a failure.
constexpr Words kAgain = {
    "Beheben Sie die Ursache und klicken Sie erneut auf \"Go!\".",
    "Mend the cause and click \"Go!\" again.",
    "Corrigez la cause et cliquez de nouveau sur \"Go!\"."};
// %1 reason
constexpr Words kOpenDialog = {
    "Der Dateiauswahldialog konnte nicht gezeigt werden.\nGrund: %1",
    "The file dialog could not be shown.\nReason: %1",
    "La boîte de dialogue des fichiers n'a pas pu s'ouvrir.\nRaison : %1"};
// %1 reason
constexpr Words kFolderPicker = {
    "Die Ordnerauswahl konnte nicht gezeigt werden.\nGrund: %1",
    "The folder picker could not be shown.\nReason: %1",
    "Le choix du dossier n'a pas pu s'ouvrir.\nRaison : %1"};
// The status line after a check failure.
constexpr Words kStatusStopped = {"Konvertierung abgebrochen.",
                                  "Conversion stopped.",
                                  "Conversion interrompue."};
// %1 number, %2 name
constexpr Words kStatusStoppedAt = {
    "Konvertierung abgebrochen bei Mailbox %1 (%2).",
    "Conversion stopped at mailbox %1 (%2).",
    "Conversion interrompue à la boîte n° %1 (%2)."};
// one output exists
constexpr Words kReplaceOne = {
    "Diese Datei gibt es schon; die Konvertierung würde sie ersetzen:",
    "This file exists already; the conversion would replace it:",
    "Ce fichier existe déjà ; la conversion le remplacerait :"};
// %1 count
constexpr Words kReplaceMany = {
    "Diese %1 Dateien gibt es schon; die Konvertierung würde sie ersetzen:",
    "These %1 files exist already; the conversion would replace them:",
    "Ces %1 fichiers existent déjà ; la conversion les remplacerait :"};
// %1 names not shown
constexpr Words kReplaceMore = {"… und %1 weitere", "… and %1 more",
                                "… et %1 de plus"};
// The last line of the question.
constexpr Words kReplaceAsk = {
    "Ersetzen? Ohne Ihre Zustimmung wird nichts geschrieben.",
    "Replace? Nothing is written without your agreement.",
    "Remplacer ? Rien n'est écrit sans votre accord."};
constexpr Words kReplaceButton = {"Ersetzen", "Replace", "Remplacer"};
constexpr Words kCancelButton = {"Abbrechen", "Cancel", "Annuler"};
// %1 folder, %2 names, %3 the command that renames them.
constexpr Words kUndecodable = {
    "Im Ordner %1 liegen Dateien, deren Namen kein gültiges UTF-8 sind "
    "(etwa aus einem Windows-Archiv). Die Dateiauswahl kann sie nicht "
    "zeigen, und sie werden nicht konvertiert:\n\n%2\n\nBenennen Sie sie "
    "um, zum Beispiel (bei chinesischen Namen) mit\n  %3\nund wählen Sie "
    "sie dann erneut.",
    "The folder %1 holds files whose names are not valid UTF-8 (as from a "
    "Windows archive). The file dialog cannot show them, and they are not "
    "converted:\n\n%2\n\nRename them, for instance (for Chinese names) "
    "with\n  %3\nand then choose them again.",
    "Le dossier %1 contient des fichiers dont le nom n'est pas de l'UTF-8 "
    "valide (comme ceux d'une archive Windows). La boîte de dialogue ne "
    "peut pas les montrer et ils ne sont pas convertis :\n\n%2\n\n"
    "Renommez-les, par exemple (noms chinois) avec\n  %3\npuis "
    "choisissez-les de nouveau."};
// By RunStep.
constexpr Words kSteps[] = {
    {"Prüfen des Auftrags", "checking the job",
     "vérification de la tâche"},  // kCheck
    {"Größe der Quelle ermitteln", "finding the source's size",
     "taille de la source"},  // kSizeQuery
    {"Quelle öffnen", "opening the source",
     "ouverture de la source"},  // kOpenSource
    {"Quelle lesen", "reading the source", "lecture de la source"},  // kRead
    {"Quelle schließen", "closing the source",
     "fermeture de la source"},  // kCloseSource
    {"Ausgabe anlegen", "creating the output",
     "création du fichier"},  // kOpenOutput
    {"Ausgabe schreiben", "writing the output",
     "écriture du fichier"},  // kWrite
    {"Ausgabe speichern", "saving the output",
     "enregistrement du fichier"},  // kFlush
    {"Ausgabe fertigstellen", "completing the output",
     "finalisation du fichier"},  // kCommit
    {"Ausgabe auf die Platte bringen", "storing the output on the disk",
     "écriture du fichier sur le disque"},  // kSync
    {"Ordnereinträge auf die Platte bringen",
     "storing the folder's entries on the disk",
     "écriture des entrées du dossier sur le disque"},  // kSyncFolder
};
// By CommonSystemFailure, after kOther (the system's own words).
constexpr Words kSystemWords[] = {
    {"auf dem Datenträger ist kein Platz mehr", "the disk is full",
     "le disque est plein"},  // kNoSpace
    {"Ihr Speicherkontingent auf dem Datenträger ist erschöpft",
     "your disk quota is used up", "votre quota disque est épuisé"},  // kQuota
    {"der Datenträger ist schreibgeschützt", "the disk is read-only",
     "le disque est en lecture seule"},  // kReadOnlyDisk
    {"keine Berechtigung", "permission denied",
     "permission refusée"},  // kPermission
    {"der Datenträger ließ sich nicht lesen oder beschreiben (ist er "
     "beschädigt oder wurde er entfernt?)",
     "the disk could not be read or written (is it damaged or removed?)",
     "le disque n'a pas pu être lu ou écrit (est-il endommagé ou retiré "
     "?)"},  // kIoError
    {"die Datei oder der Ordner existiert nicht (mehr)",
     "the file or folder does not exist (any more)",
     "le fichier ou le dossier n'existe pas (ou plus)"},  // kNoSuchFile
    {"zu viele Dateien sind geöffnet; schließen Sie andere Programme",
     "too many files are open; close other programs",
     "trop de fichiers sont ouverts ; fermez d'autres programmes"},  // kTooManyOpen
    {"der Name ist zu lang für das Dateisystem",
     "the name is too long for the file system",
     "le nom est trop long pour le système de fichiers"},  // kNameTooLong
};
// By FailureReason; English: %1 stands for the engine's words (ReasonText).
constexpr Words kOwnReasons[] = {
    {"", "", ""},  // kSystem
    {"der Zielordner existiert nicht", "%1",
     "le dossier de destination n'existe pas"},  // kTargetMissing
    {"das Ziel ist kein Ordner", "%1",
     "la destination n'est pas un dossier"},  // kTargetNotFolder
    {"die Mailbox existiert nicht", "%1",
     "la boîte aux lettres n'existe pas"},  // kSourceMissing
    {"die Mailbox ist keine gewöhnliche Datei", "%1",
     "la boîte aux lettres n'est pas un fichier ordinaire"},  // kSourceNotRegular
    {"der Name der Ausgabe ist durch etwas belegt, das keine "
     "gewöhnliche Datei ist",
     "%1",
     "le nom du fichier de sortie est pris par autre chose qu'un "
     "fichier ordinaire"},  // kOutputNotRegular
    {"die Ausgabe würde eine Mailbox dieses Laufs überschreiben", "%1",
     "le fichier de sortie écraserait une boîte de cette conversion"},  // kOutputIsSource
    {"eine andere Mailbox dieses Laufs hat dieselbe Ausgabe", "%1",
     "une autre boîte de cette conversion a le même fichier de sortie"},  // kOutputClash
    {"der Name der Ausgabe ist ein symbolischer Link, dem nicht gefolgt "
     "wird",
     "%1",
     "le nom du fichier de sortie est un lien symbolique, qui n'est pas "
     "suivi"},  // kOutputIsLink
    {"keine Berechtigung, die Mailbox zu lesen", "%1",
     "pas de permission de lire la boîte aux lettres"},  // kSourceUnreadable
    {"keine Berechtigung, im Zielordner Dateien anzulegen", "%1",
     "pas de permission de créer des fichiers dans le dossier de "
     "destination"},  // kTargetNotWritable
    {"der Zielordner liegt auf einem schreibgeschützten Dateisystem", "%1",
     "le dossier de destination est sur un système de fichiers en "
     "lecture seule"},  // kTargetReadOnly
    {"der Name der Ausgabe ist länger, als das Dateisystem des Ziels "
     "erlaubt",
     "%1",
     "le nom du fichier de sortie est plus long que ne le permet le "
     "système de fichiers de la destination"},  // kNameTooLong
    {"das Dateisystem des Ziels erlaubt diesen Namen der Ausgabe nicht", "%1",
     "le système de fichiers de la destination n'accepte pas ce nom de "
     "fichier de sortie"},  // kNameNotAllowed
    {"eine andere Mailbox dieses Laufs hat auf diesem Dateisystem, das "
     "Groß- und Kleinschreibung nicht unterscheidet, dieselbe Ausgabe",
     "%1",
     "une autre boîte de cette conversion a le même fichier de sortie sur "
     "ce système de fichiers, qui ne distingue pas majuscules et "
     "minuscules"},  // kOutputCaseClash
    {"die Ausgabe würde eine andere Ausgabe dieses Laufs ersetzen (das "
     "Dateisystem unterscheidet Groß- und Kleinschreibung nicht)",
     "%1",
     "le fichier de sortie remplacerait un autre fichier de sortie de "
     "cette conversion (le système de fichiers ne distingue pas "
     "majuscules et minuscules)"},  // kReplacesOwnOutput
    {"ein anderes Programm hat eine Datei dieses Namens angelegt, während "
     "die Ausgabe geschrieben wurde",
     "%1",
     "un autre programme a créé un fichier de ce nom pendant l'écriture "
     "du fichier de sortie"},  // kOutputTaken
    {"die Mailbox hat sich geändert, während sie gelesen wurde", "%1",
     "la boîte aux lettres a changé pendant sa lecture"},  // kSourceChanged
    {"ein anderes Programm schreibt die Mailbox (sie ist gesperrt)", "%1",
     "un autre programme écrit la boîte aux lettres (elle est "
     "verrouillée)"},  // kSourceLocked
    {"der Name ist kein gültiges UTF-8 und kann nicht unverändert "
     "weitergegeben werden",
     "%1",
     "le nom n'est pas de l'UTF-8 valide et ne peut pas être transmis "
     "tel quel"},  // kNameNotUtf8
    {"die Datei ist eine mbox-Datei; wählen Sie mbox → Rerure",
     "%1; choose mbox → Foxmail .BOX",
     "le fichier est un fichier mbox ; choisissez mbox → Foxmail .BOX"},  // kSourceIsMbox
    {"die Datei ist eine Rerure-Datei (Foxmail .box); wählen Sie Rerure → "
     "mbox",
     "%1; choose Foxmail .BOX → mbox",
     "le fichier est une boîte Foxmail .box ; choisissez Foxmail .BOX → "
     "mbox"},  // kSourceIsBox
    {"die Datei ist keine mbox-Datei: keine Zeile ihres ersten MiB beginnt "
     "eine Nachricht",
     "%1",
     "le fichier n'est pas un fichier mbox : aucune ligne de son premier "
     "Mio ne commence un message"},  // kNoMboxMessage
    {"die Datei ist keine Rerure-Datei (Foxmail .box): ihr erstes MiB hat "
     "keine Trennzeile",
     "%1",
     "le fichier n'est pas une boîte Foxmail .box : son premier Mio n'a "
     "aucune ligne de séparation"},  // kNoBoxMessage
    {"die Datei ist keine Mailbox: sie enthält Binärdaten, etwa ein Bild, "
     "ein Programm oder ein Archiv",
     "%1",
     "le fichier n'est pas une boîte aux lettres : il contient des données "
     "binaires, comme une image, un programme ou une archive"},  // kSourceIsBinary
    {"eine Datei mit dem Namen der Ausgabe gibt es schon", "%1",
     "un fichier du nom du fichier de sortie existe déjà"},  // kOutputExists
    {"die Datei mit dem Namen der Ausgabe ist unveränderlich oder nur "
     "erweiterbar und kann nicht ersetzt werden",
     "%1",
     "le fichier du nom du fichier de sortie est immuable ou en ajout "
     "seul et ne peut être remplacé"},  // kOutputImmutable
    {"der Zielordner ist unveränderlich oder nur erweiterbar, keine Ausgabe "
     "kann hinein",
     "%1",
     "le dossier cible est immuable ou en ajout seul, aucun fichier de "
     "sortie ne peut y être placé"},  // kTargetImmutable
    {"die Datei mit dem Namen der Ausgabe gehört einem anderen Benutzer, in "
     "einem Ordner, in dem nur ihr Besitzer sie ersetzen darf",
     "%1",
     "le fichier du nom du fichier de sortie appartient à un autre "
     "utilisateur, dans un dossier où seul son propriétaire peut le "
     "remplacer"},  // kOutputOtherOwner
    {"der Zielordner wurde während des Schreibens verschoben oder ersetzt; "
     "in keinen der Ordner wurde etwas gelegt",
     "%1",
     "le dossier cible a été déplacé ou remplacé pendant l'écriture ; rien "
     "n'a été placé dans l'un ou l'autre dossier"},  // kTargetMoved
    {"die Datei mit dem Namen der Ausgabe hat denselben Inhalt, dieselbe "
     "Größe und Zeit wie eine Mailbox dieses Laufs, auf einem Dateisystem, "
     "das nicht zeigt, ob es dieselbe Datei ist",
     "%1",
     "le fichier du nom du fichier de sortie a le même contenu, la même "
     "taille et la même date qu'une boîte de cette conversion, sur un système "
     "de fichiers qui ne dit pas s'il s'agit du même fichier"},  // kOutputLooksLikeSource
    {"der Arbeitsspeicher reichte nicht aus", "%1",
     "la mémoire n'a pas suffi"},  // kOutOfMemory
    {"ein unerwarteter Fehler im Programm", "%1",
     "une erreur inattendue dans le programme"},  // kUnexpected
    {"der Arbeitsordner wurde gelöscht, ein relativer Name führt "
     "nirgendwohin; bitte den vollständigen Namen angeben",
     "%1",
     "le dossier de travail a été supprimé, un nom relatif ne mène nulle "
     "part ; donnez le nom complet"},  // kWorkingFolderGone
};

constexpr std::size_t kReasonCount =
    static_cast<std::size_t>(FailureReason::kCount);
static_assert(std::size(kOwnReasons) == kReasonCount);
static_assert(std::size(kSteps) ==
              static_cast<std::size_t>(RunStep::kSyncFolder) + 1);
static_assert(std::size(kSystemWords) ==
              static_cast<std::size_t>(CommonSystemFailure::kNameTooLong));

}  // namespace

QString OwnReasonWords(Language language, FailureReason reason) {
  const auto index = static_cast<std::size_t>(reason);
  if (reason == FailureReason::kSystem || index >= kReasonCount) return {};
  // The English is the engine's, which the command line shows too.
  return In(language, kOwnReasons[index])
      .replace(QLatin1String("%1"), ReasonText(reason));
}

QString ReasonInWords(Language language, const RunFailure& failure) {
  const FileError& error = failure.error;
  if (error.code != FailureReason::kSystem) {
    return OwnReasonWords(language, error.code);
  }
  const CommonSystemFailure common = CommonFailureOf(error.system_code);
  if (common == CommonSystemFailure::kOther) {
    return SystemErrorText(error.system_code);
  }
  return In(language, kSystemWords[static_cast<std::size_t>(common) - 1]);
}

QString RunStoppedStatus(Language language, const RunFailure& failure) {
  if (failure.mailbox_number <= 0) return In(language, kStatusStopped);
  return In(language, kStatusStoppedAt)
      .arg(QString::number(failure.mailbox_number), failure.mailbox);
}

QString RunFailureMessage(Language language, const RunFailure& failure,
                          int converted_before) {
  QStringList lines{In(language, kRunStopped)};
  if (failure.step == RunStep::kCheck) lines.append(In(language, kJobCheck));
  lines.append(QString());
  if (failure.mailbox_number > 0 || !failure.mailbox.isEmpty()) {
    lines.append(
        In(language, kMailbox)
            .arg(QString::number(failure.mailbox_number), failure.mailbox));
  }
  if (!failure.path.isEmpty()) {
    lines.append(In(language, kFile).arg(failure.path));
  }
  const auto step = static_cast<std::size_t>(failure.step);
  if (step < std::size(kSteps)) {
    lines.append(In(language, kStep).arg(In(language, kSteps[step])));
  }
  lines.append(In(language, kReason).arg(ReasonInWords(language, failure)));
  lines.append(QString());
  lines.append(In(language, kConverted).arg(converted_before));
  lines.append(In(language, kAgain));
  return lines.join(QLatin1Char('\n'));
}

QString OpenDialogFailureMessage(Language language, const QString& reason) {
  return In(language, kOpenDialog).arg(reason);
}

QString FolderPickerFailureMessage(Language language, const QString& reason) {
  return In(language, kFolderPicker).arg(reason);
}

QString OutsideFilesMessage(Language language, OutsideRefusal why,
                            const QString& path) {
  // By OutsideRefusal; %1 the path.
  static constexpr Words kWords[] = {
      {"%1 ist ein Ordner. Geben Sie Mailbox-Dateien an.",
       "%1 is a folder. Give mailbox files.",
       "%1 est un dossier. Indiquez des fichiers de boîtes aux lettres."},
      {"%1 gibt es nicht, oder es ist keine lesbare Datei.",
       "%1 does not exist or is no readable file.",
       "%1 n'existe pas ou n'est pas un fichier lisible."},
      {"Die Dateien liegen in verschiedenen Ordnern (%1). Nehmen Sie Dateien "
       "aus einem Ordner.",
       "The files lie in different folders (%1). Take files of one folder.",
       "Les fichiers sont dans des dossiers différents (%1). Prenez des "
       "fichiers d'un seul dossier."},
      {"%1 ist keine Mailbox: weder eine mbox- noch eine Rerure-Datei.",
       "%1 is no mailbox: neither an mbox nor a Foxmail .box file.",
       "%1 n'est pas une boîte aux lettres : ni un fichier mbox ni une boîte "
       "Foxmail .box."},
      {"Unter den Dateien sind mbox- und Rerure-Dateien (%1). Nehmen Sie "
       "Dateien eines Formats.",
       "The files are mbox and Foxmail .box files together (%1). Take files "
       "of one format.",
       "Les fichiers mêlent mbox et Foxmail .box (%1). Prenez des fichiers "
       "d'un seul format."},
  };
  return In(language, kWords[static_cast<std::size_t>(why)]).arg(path);
}

QString ReplaceQuestion(Language language, const QStringList& existing) {
  constexpr qsizetype kShown = 5;
  QStringList lines{existing.size() == 1
                        ? In(language, kReplaceOne)
                        : In(language, kReplaceMany).arg(existing.size())};
  lines.append(QString());
  for (qsizetype i = 0; i < std::min(existing.size(), kShown); ++i) {
    lines.append(existing[i]);
  }
  if (existing.size() > kShown) {
    lines.append(In(language, kReplaceMore).arg(existing.size() - kShown));
  }
  lines.append(QString());
  lines.append(In(language, kReplaceAsk));
  return lines.join(QLatin1Char('\n'));
}

QString ReplaceButtonText(Language language) {
  return In(language, kReplaceButton);
}

QString CancelButtonText(Language language) {
  return In(language, kCancelButton);
}

QString UndecodableNamesMessage(Language language, const QString& folder,
                                const QStringList& names) {
  constexpr qsizetype kShown = 10;
  QStringList shown = names.mid(0, kShown);
  if (names.size() > kShown) {
    shown.append(In(language, kReplaceMore).arg(names.size() - kShown));
  }
  const QString command = QStringLiteral("convmv -f gbk -t utf-8 --notest \"") +
                          folder + QStringLiteral("\"*");
  return In(language, kUndecodable)
      .arg(folder, shown.join(QLatin1Char('\n')), command);
}

}  // namespace quillet
