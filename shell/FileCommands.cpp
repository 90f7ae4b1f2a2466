// The File menu's commands of the main window.
#include <QFileDialog>
#include <filesystem>
#include <system_error>

#include "model/Contexte.h"
#include "model/Projet.h"
#include "model/Zavo.h"
#include "platform/Paths.h"
#include "shell/Boxes.h"
#include "shell/FormZvoNouveau.h"
#include "shell/FormZvoPrincipale.h"
#include "shell/UiText.h"

namespace {

// The open and save dialogs: Qt's own (not the desktop's), so that tests can drive them.
QString AskFileName(QWidget* owner, QFileDialog::AcceptMode mode, const QString& folder, const QString& title,
                    const QString& fileName) {
  QFileDialog dialog(owner, title, folder, Str(469).section(QLatin1Char('|'), 0, 0));
  dialog.setObjectName(mode == QFileDialog::AcceptOpen ? QStringLiteral("OpenDialog") : QStringLiteral("SaveDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // Like the dialogs the program was written for: no question before overwriting.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(Str(470));
  if (!fileName.isEmpty()) dialog.selectFile(fileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

// Whether path names some entry other than the file at own: a dangling link or a folder
// counts, as it would block or be clobbered by the write.
bool OtherEntryExists(const std::string& path, const std::string& own) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return false;
  return path != own && !fs::equivalent(path, own, ec);
}

}  // namespace

void TFormZvoPrincipale::AfterFileCommand() {
  MiseAJourTitre();
  MiseAJourControle();
}

void TFormZvoPrincipale::NouveauProjet() {
  QString name;
  {
    TFormZvoNouveau dialog(this, name);
    if (dialog.exec() != kResultOk) {
      AfterFileCommand();
      return;
    }
  }
  try {
    NewDatabase(name.toStdString(), GetContexte().LoadSavePath());
    SaveDatabase(*CurrentDatabase());
    MiseAJourTitre();
  } catch (const std::exception& e) {
    if (TProjet* db = CurrentDatabase()) DeleteSiteFile(*db);
    CloseDatabase();
    MiseAJourTitre();
    ReportFailure(12, e);
  }
  AfterFileCommand();
}

void TFormZvoPrincipale::OuvrirProjet() {
  QString path = AskFileName(this, QFileDialog::AcceptOpen, QString::fromStdString(GetContexte().LoadSavePath()),
                             Str(468), QString());
  if (!path.isEmpty()) {
    try {
      OpenDatabase(path.toStdString());
      GetContexte().SetLoadSavePath(path.toStdString());
    } catch (const std::exception& e) {
      ReportFailure(0, e);
    }
  }
  AfterFileCommand();
}

bool TFormZvoPrincipale::SaveCurrent() {
  try {
    SaveDatabase(*CurrentDatabase());
    return true;
  } catch (const std::exception& e) {
    // The site stays open and modified, so that nothing the user did is lost.
    ReportFailure(13, e);
    return false;
  }
}

void TFormZvoPrincipale::EnregistrerProjet() {
  if (IsDatabaseLoaded()) SaveCurrent();
  AfterFileCommand();
}

void TFormZvoPrincipale::EnregistrerSousProjet() {
  TProjet* db = CurrentDatabase();
  if (!db) {
    AfterFileCommand();
    return;
  }
  QString current = QString::fromStdString(platform::ExtractFileName(DatabasePath(*db)));
  QString path = AskFileName(this, QFileDialog::AcceptSave, QString::fromStdString(GetContexte().SaveAsPath()),
                             StrF(467, {db->CaptionText()}), current);
  if (!path.isEmpty()) {
    // The database reopened below is named by the site file of the chosen name, so that is
    // the file written, whatever extension was typed: otherwise the caption and the next save
    // would name a second file beside it.
    const QString chosen = path;
    path = QString::fromStdString(SiteFilePath(path.toStdString()));
    // The user chose the name typed, not the derived one: another site already there would
    // be overwritten unnoticed and, through its backup, lost at the next save.
    if (path != chosen && OtherEntryExists(path.toStdString(), DatabasePath(*db))) {
      ShowMessageBox(StrF(33, {path.toStdString()}));
      AfterFileCommand();
      return;
    }
    try {
      SaveDatabase(*db, path.toStdString());
      OpenDatabase(path.toStdString());
      GetContexte().SetSaveAsPath(path.toStdString());
    } catch (const std::exception& e) {
      ReportFailure(0, e);
    }
  }
  AfterFileCommand();
}

void TFormZvoPrincipale::FermerProjet() {
  DemanderFermeture();
  AfterFileCommand();
}

bool TFormZvoPrincipale::DemanderFermeture() {
  TProjet* db = CurrentDatabase();
  if (!db) return true;
  if (!AskQuestion(this, Str(7))) return false;
  if (db->Root()->Modified() && AskQuestion(this, Str(8)) && !SaveCurrent()) {
    // The save failed: the close (or the shut-down) stops, and the site stays open.
    AfterFileCommand();
    return false;
  }
  CloseDatabase();
  MiseAJourTitre();
  return true;
}
