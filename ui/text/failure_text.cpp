// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/failure_text.h"

#ifdef Q_OS_UNIX
#ifdef Q_OS_UNIX
#include "conversion/system_files_posix.h"
#endif
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <iterator>
#include <optional>
#include <utility>

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
    "weitergegeben werden",                                     // kNameNotUtf8
    "die Datei ist eine mbox-Datei; wählen Sie mbox → Rerure",  // kSourceIsMbox
    "die Datei ist eine Rerure-Datei (Foxmail .box); wählen Sie Rerure → "
    "mbox",  // kSourceIsBox
    "die Datei ist keine mbox-Datei: keine Zeile ihres ersten MiB beginnt "
    "eine Nachricht",  // kNoMboxMessage
    "die Datei ist keine Rerure-Datei (Foxmail .box): ihr erstes MiB hat "
    "keine Trennzeile",  // kNoBoxMessage
    "die Datei ist keine Mailbox: sie enthält Binärdaten, etwa ein Bild, "
    "ein Programm oder ein Archiv",                        // kSourceIsBinary
    "eine Datei mit dem Namen der Ausgabe gibt es schon",  // kOutputExists
    "die Datei mit dem Namen der Ausgabe ist unveränderlich oder nur "
    "erweiterbar und kann nicht ersetzt werden",  // kOutputImmutable
    "der Zielordner ist unveränderlich oder nur erweiterbar, keine Ausgabe "
    "kann hinein",  // kTargetImmutable
    "die Datei mit dem Namen der Ausgabe gehört einem anderen Benutzer, in "
    "einem Ordner, in dem nur ihr Besitzer sie ersetzen darf",  // kOutputOtherOwner
    "der Zielordner wurde während des Schreibens verschoben oder ersetzt; "
    "in keinen der Ordner wurde etwas gelegt",  // kTargetMoved
    "die Datei mit dem Namen der Ausgabe hat denselben Inhalt, dieselbe "
    "Größe und Zeit wie ein Postfach dieses Laufs, auf einem Dateisystem, "
    "das nicht zeigt, ob es dieselbe Datei ist",  // kOutputLooksLikeSource
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
    "le fichier est un fichier mbox ; choisissez mbox → Foxmail .BOX",  // kSourceIsMbox
    "le fichier est une boîte Foxmail .box ; choisissez Foxmail .BOX → "
    "mbox",  // kSourceIsBox
    "le fichier n'est pas un fichier mbox : aucune ligne de son premier "
    "Mio ne commence un message",  // kNoMboxMessage
    "le fichier n'est pas une boîte Foxmail .box : son premier Mio n'a "
    "aucune ligne de séparation",  // kNoBoxMessage
    "le fichier n'est pas une boîte aux lettres : il contient des données "
    "binaires, comme une image, un programme ou une archive",  // kSourceIsBinary
    "un fichier du nom du fichier de sortie existe déjà",      // kOutputExists
    "le fichier du nom du fichier de sortie est immuable ou en ajout "
    "seul et ne peut être remplacé",  // kOutputImmutable
    "le dossier cible est immuable ou en ajout seul, aucun fichier de "
    "sortie ne peut y être placé",  // kTargetImmutable
    "le fichier du nom du fichier de sortie appartient à un autre "
    "utilisateur, dans un dossier où seul son propriétaire peut le "
    "remplacer",  // kOutputOtherOwner
    "le dossier cible a été déplacé ou remplacé pendant l'écriture ; rien "
    "n'a été placé dans l'un ou l'autre dossier",  // kTargetMoved
    "le fichier du nom du fichier de sortie a le même contenu, la même "
    "taille et la même date qu'une boîte de ce traitement, sur un système "
    "de fichiers qui ne dit pas s'il s'agit du même fichier",  // kOutputLooksLikeSource
};
static_assert(std::size(kGermanReasons) == kReasonCount);
static_assert(std::size(kFrenchReasons) == kReasonCount);
constexpr std::size_t kStepCount =
    static_cast<std::size_t>(RunStep::kSyncFolder) + 1;

// The system's failures that users meet, told in the program's words.
enum SystemReason : std::size_t {
  kNoSpace,
  kQuota,
  kReadOnlyDisk,
  kPermission,
  kIoError,
  kNoSuchFile,
  kTooManyOpen,
  kNameTooLongSystem,
  kSystemReasonCount
};

// Which of them the system's `words` are. The words are the system's
// (strerror's, in the locale of the process, or their English form, which
// some paths give): matched whole against both.
std::optional<SystemReason> KnownSystemReason(const QString& words) {
  // The English words are also what the Windows file layer reports for
  // these failures, whatever the language of the system.
  struct Known {
    SystemReason reason;
    const char* english;
  };
  static const Known kKnown[] = {
      {kNoSpace, "No space left on device"},
      {kQuota, "Disk quota exceeded"},
      {kReadOnlyDisk, "Read-only file system"},
      {kPermission, "Permission denied"},
      {kPermission, "Operation not permitted"},
      {kIoError, "Input/output error"},
      {kNoSuchFile, "No such file or directory"},
      {kTooManyOpen, "Too many open files"},
      {kTooManyOpen, "Too many open files in system"},
      {kNameTooLongSystem, "File name too long"},
  };
  for (const Known& known : kKnown) {
    if (words == QLatin1String(known.english)) return known.reason;
  }
#ifdef Q_OS_UNIX
  // strerror's words in the locale of the process.
  static const std::pair<SystemReason, int> kNumbers[] = {
      {kNoSpace, ENOSPC},     {kQuota, EDQUOT},
      {kReadOnlyDisk, EROFS}, {kPermission, EACCES},
      {kPermission, EPERM},   {kIoError, EIO},
      {kNoSuchFile, ENOENT},  {kTooManyOpen, EMFILE},
      {kTooManyOpen, ENFILE}, {kNameTooLongSystem, ENAMETOOLONG},
  };
  for (const auto& [reason, number] : kNumbers) {
    if (words == SystemError(number)) return reason;
  }
#endif
  return std::nullopt;
}

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
  const char* replace_one;        // one output exists
  const char* replace_many;       // %1 count
  const char* replace_more;       // %1 names not shown
  const char* replace_ask;        // last line of the question
  const char* replace_button;
  const char* cancel_button;
  const char* undecodable;  // %1 folder, %2 names, then the command
  std::array<const char*, kStepCount> steps;           // by RunStep
  std::array<const char*, kSystemReasonCount> system;  // by SystemReason
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
    "Diese Datei gibt es schon; die Konvertierung würde sie ersetzen:",
    "Diese %1 Dateien gibt es schon; die Konvertierung würde sie ersetzen:",
    "… und %1 weitere",
    "Ersetzen? Ohne Ihre Zustimmung wird nichts geschrieben.",
    "Ersetzen",
    "Abbrechen",
    "Im Ordner %1 liegen Dateien, deren Namen kein gültiges UTF-8 sind "
    "(etwa aus einem Windows-Archiv). Die Dateiauswahl kann sie nicht "
    "zeigen, und sie werden nicht konvertiert:\n\n%2\n\nBenennen Sie sie "
    "um, zum Beispiel (bei chinesischen Namen) mit\n  %3\nund wählen Sie "
    "sie dann erneut.",
    {"Prüfen des Auftrags", "Größe der Quelle ermitteln", "Quelle öffnen",
     "Quelle lesen", "Quelle schließen", "Ausgabe anlegen", "Ausgabe schreiben",
     "Ausgabe speichern", "Ausgabe fertigstellen",
     "Ausgabe auf die Platte bringen", "Ordnereinträge auf die Platte bringen"},
    {"auf dem Datenträger ist kein Platz mehr",
     "Ihr Speicherkontingent auf dem Datenträger ist erschöpft",
     "der Datenträger ist schreibgeschützt", "keine Berechtigung",
     "der Datenträger ließ sich nicht lesen oder beschreiben (ist er "
     "beschädigt oder wurde er entfernt?)",
     "die Datei oder der Ordner existiert nicht (mehr)",
     "zu viele Dateien sind geöffnet; schließen Sie andere Programme",
     "der Name ist zu lang für das Dateisystem"},
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
    "This file exists already; the conversion would replace it:",
    "These %1 files exist already; the conversion would replace them:",
    "… and %1 more",
    "Replace? Nothing is written without your agreement.",
    "Replace",
    "Cancel",
    "The folder %1 holds files whose names are not valid UTF-8 (as from a "
    "Windows archive). The file dialog cannot show them, and they are not "
    "converted:\n\n%2\n\nRename them, for instance (for Chinese names) "
    "with\n  %3\nand then choose them again.",
    {"checking the job", "finding the source's size", "opening the source",
     "reading the source", "closing the source", "creating the output",
     "writing the output", "saving the output", "completing the output",
     "storing the output on the disk",
     "storing the folder's entries on the disk"},
    {"the disk is full", "your disk quota is used up", "the disk is read-only",
     "permission denied",
     "the disk could not be read or written (is it damaged or removed?)",
     "the file or folder does not exist (any more)",
     "too many files are open; close other programs",
     "the name is too long for the file system"},
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
    "Ce fichier existe déjà ; la conversion le remplacerait :",
    "Ces %1 fichiers existent déjà ; la conversion les remplacerait :",
    "… et %1 de plus",
    "Remplacer ? Rien n'est écrit sans votre accord.",
    "Remplacer",
    "Annuler",
    "Le dossier %1 contient des fichiers dont le nom n'est pas de l'UTF-8 "
    "valide (comme ceux d'une archive Windows). La boîte de dialogue ne "
    "peut pas les montrer et ils ne sont pas convertis :\n\n%2\n\n"
    "Renommez-les, par exemple (noms chinois) avec\n  %3\npuis "
    "choisissez-les de nouveau.",
    {"vérification de la tâche", "taille de la source",
     "ouverture de la source", "lecture de la source", "fermeture de la source",
     "création du fichier", "écriture du fichier", "enregistrement du fichier",
     "finalisation du fichier", "écriture du fichier sur le disque",
     "écriture des entrées du dossier sur le disque"},
    {"le disque est plein", "votre quota disque est épuisé",
     "le disque est en lecture seule", "permission refusée",
     "le disque n'a pas pu être lu ou écrit (est-il endommagé ou retiré ?)",
     "le fichier ou le dossier n'existe pas (ou plus)",
     "trop de fichiers sont ouverts ; fermez d'autres programmes",
     "le nom est trop long pour le système de fichiers"},
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
  if (t.reasons != nullptr) return Text(t.reasons[index]);
  // The engine's words, and the direction that takes the file.
  if (reason == FailureReason::kSourceIsMbox) {
    return ReasonText(reason) +
           QString::fromUtf8("; choose mbox → Foxmail .BOX");
  }
  if (reason == FailureReason::kSourceIsBox) {
    return ReasonText(reason) +
           QString::fromUtf8("; choose Foxmail .BOX → mbox");
  }
  return ReasonText(reason);
}

QString ReasonInWords(Language language, const RunFailure& failure) {
  const QString own = OwnReasonWords(language, failure.code);
  if (!own.isEmpty()) return own;
  if (const auto known = KnownSystemReason(failure.reason)) {
    return Text(TableFor(language).system[*known]);
  }
  return failure.reason;
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

QString OutsideFilesMessage(Language language, OutsideRefusal why,
                            const QString& path) {
  // By OutsideRefusal, in German, English and French; %1 the path.
  static constexpr const char* kWords[][3] = {
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
  const std::size_t column = language == Language::kGerman    ? 0
                             : language == Language::kEnglish ? 1
                                                              : 2;
  return Text(kWords[static_cast<std::size_t>(why)][column]).arg(path);
}

QString ReplaceQuestion(Language language, const QStringList& existing) {
  constexpr qsizetype kShown = 5;
  const FailureTable& t = TableFor(language);
  QStringList lines{existing.size() == 1
                        ? Text(t.replace_one)
                        : Text(t.replace_many).arg(existing.size())};
  lines.append(QString());
  for (qsizetype i = 0; i < std::min(existing.size(), kShown); ++i) {
    lines.append(existing[i]);
  }
  if (existing.size() > kShown) {
    lines.append(Text(t.replace_more).arg(existing.size() - kShown));
  }
  lines.append(QString());
  lines.append(Text(t.replace_ask));
  return lines.join(QLatin1Char('\n'));
}

QString ReplaceButtonText(Language language) {
  return Text(TableFor(language).replace_button);
}

QString CancelButtonText(Language language) {
  return Text(TableFor(language).cancel_button);
}

QString UndecodableNamesMessage(Language language, const QString& folder,
                                const QStringList& names) {
  constexpr qsizetype kShown = 10;
  const FailureTable& t = TableFor(language);
  QStringList shown = names.mid(0, kShown);
  if (names.size() > kShown) {
    shown.append(Text(t.replace_more).arg(names.size() - kShown));
  }
  const QString command = QStringLiteral("convmv -f gbk -t utf-8 --notest \"") +
                          folder + QStringLiteral("\"*");
  return Text(t.undecodable)
      .arg(folder, shown.join(QLatin1Char('\n')), command);
}

}  // namespace quillet
