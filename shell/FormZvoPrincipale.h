// The main window: an MDI frame with the menus, the tool bar and the enabling rules,
// the file commands, the command line at the first paint, and the child windows.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <exception>
#include <functional>
#include <memory>

#include "shell/ChildFactories.h"
#include "shell/Translatable.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class TGestionMultiLangue;

// The enabling and visibility rules, as one function of the window's state.
struct ControlStates {
  // File, Configuration, Tools and Help menus, Exit, Identification, the transfer item,
  // Help topics, About, the language menu and the installer's Upload.
  bool noChildItems = false;
  // New and Open, and the installer's New and Open.
  bool newOpen = false;
  // Save, Save as, Close, Print site, Print labels, General parameters, Points, Line of
  // sounders, Repetitions, Diagnosis, and the installer's Save, Save As and Download.
  bool databaseItems = false;
  bool security = false;
  bool securityVisible = false;
  bool soundersVisible = false;
  bool installerVisible = false;
  bool identificationVisible = false;
};
// databaseOpen: a site is open; childOpen: a child window is open; securityVariant: the
// panel type has security functions; installer: the panel type shows the installer menu.
ControlStates ComputeControlStates(bool databaseOpen, bool childOpen, bool securityVariant, bool installer);

class TFormZvoPrincipale : public QMainWindow, public TZvoTranslatable {
  Q_OBJECT

 public:
  explicit TFormZvoPrincipale(QWidget* parent = nullptr);
  ~TFormZvoPrincipale() override;

  QMdiArea* MdiArea() const { return mdiArea_; }
  // An action of the menus by its object name ("MenuItemNouveau"...); nullptr if none.
  QAction* Action(const QString& name) const;
  QMenu* Menu(const QString& name) const;
  TGestionMultiLangue* LanguageManager() const { return langue_.get(); }
  bool HasChild() const;
  // Called by each child window as it shows itself.
  void ChildOpened(QMdiSubWindow* child);

  void MiseAJourControle();
  void MiseAJourTitre();
  void ApplyTexts() override;
  void FormException(const QString& message);

  // File commands.
  void NouveauProjet();
  void OuvrirProjet();
  void EnregistrerProjet();
  void EnregistrerSousProjet();
  void FermerProjet();
  // True when the database is closed or none was open.
  bool DemanderFermeture();

  void Quitter();
  void AideEnLigne();
  void AideAPropos();
  void Identification();
  // The transfer window (registered by the executable, shell/ChildFactories.h).
  void TeleChargement();
  void TraitementDownloadInstaller();
  void TraitementUploadInstaller();
  // The configuration editors and the diagnosis (registered by the executable).
  void ParametresGeneraux();
  void Points();
  void LignesDeSirenes();
  void Evacuation();
  void Repetitions();
  void Diagnostic();
  void ImprimerSite();
  void EvaluerLigneCommande();
  void TraitementApresChangementLangue();

  // Opens the help file; tests replace it so that no viewer starts.
  using HelpOpener = std::function<bool(const QString& path)>;
  static void SetHelpOpener(HelpOpener opener);
  // The command line EvaluerLigneCommande reads in place of the process's (tests); an
  // empty list: the process's again.
  static void SetCommandLineForTests(QStringList arguments);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenus();
  void BuildInstallerMenu();
  QAction* AddItem(QMenu* menu, const char* name, void (TFormZvoPrincipale::*handler)(), int image = -1);
  // The installer variants of the file commands.
  void RunInstaller(void (TFormZvoPrincipale::*command)());
  // Every file command ends so: the caption and the enabling follow the database state.
  void AfterFileCommand();
  // Shows a failure of a command, with its context text when one is given.
  void ReportFailure(int contextId, const std::exception& e);
  bool SaveCurrent();

  // The one guard every child window is built in: a window whose construction throws
  // shows nothing and leaves the menus as they were.
  void BuildChild(const std::function<void()>& build);
  void OpenRegisteredChild(ChildKind kind, bool installer = false);
  template <class Window, class... Args>
  void OpenChild(Args&&... args) {
    BuildChild([&] { new Window(this, std::forward<Args>(args)...); });
  }
  // Removes the MDI frames whose window is gone (one that threw after showing itself).
  void DropEmptyFrames();
  // Takes the mnemonics off the disabled menu-bar titles and gives them back when enabled.
  void ReleaseDisabledMnemonics();

  QMdiArea* mdiArea_;
  QToolBar* toolBar_ = nullptr;
  QMenu* installerMenu_ = nullptr;
  std::unique_ptr<TGestionMultiLangue> langue_;
  bool firstShow_ = true;
  bool langueStarted_ = false;
};
