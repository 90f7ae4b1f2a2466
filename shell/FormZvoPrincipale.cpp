#include "shell/FormZvoPrincipale.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVariant>

#include "model/Contexte.h"
#include "model/Projet.h"
#include "shell/Boxes.h"
#include "shell/ChildFactories.h"
#include "shell/CmdLine.h"
#include "shell/FormZvoAPropos.h"
#include "shell/GestionMultiLangue.h"
#include "shell/Icons.h"
#include "shell/UiText.h"
#include "shell/ZvoApplication.h"

namespace {

constexpr const char* kForm = "TFormZvoPrincipale";

TFormZvoPrincipale::HelpOpener& HelpOpenerRef() {
  static TFormZvoPrincipale::HelpOpener opener = [](const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  };
  return opener;
}

QStringList& CommandLineForTests() {
  static QStringList arguments;
  return arguments;
}

// The text without its mnemonic; an escaped "&&" stays.
QString WithoutMnemonic(const QString& text) {
  QString bare;
  bare.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != QLatin1Char('&')) {
      bare += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
      bare += QStringLiteral("&&");
      ++i;
    }
  }
  return bare;
}

// The texts of the menus and items: caption and, for those with a tool button, its hint.
struct ItemText {
  const char* name;
  const char* caption;
  const char* hint;
};

constexpr ItemText kItemTexts[] = {
    {"MenuFichier", "&File", nullptr},
    {"MenuItemNouveau", "&New...", "New database"},
    {"MenuItemOuvrir", "&Open...", "Open database"},
    {"MenuItemEnregistrer", "&Save", "Save database"},
    {"MenuItemEnrSous", "Save &as...", nullptr},
    {"MenuItemFermer", "&Close", "Close current database"},
    {"MenuItemImprimer", "&Print Site...", nullptr},
    {"MenuItemEtiquette", "Print &Labels", nullptr},
    {"MenuItemQuitter", "&Exit", "Exit application"},
    {"MenuConfiguration", "&Configuration", nullptr},
    {"MenuItemParamGen", "&General parameters...", "General parameters"},
    {"MenuItemDetecteur", "&Points...", "Points configuration"},
    {"MenuItemSirene", "&Line of sounders...", "Line of sounders configuration"},
    {"MenuItemEvacuation", "Security settings...", "Security settings"},
    {"MenuItemRepetition", "&Repetitions...", "Repetitions configuration"},
    {"MenuOutils", "&Tools", nullptr},
    {"MenuItemIdentification", "&Identification", nullptr},
    {"MenuItemDiagnostic", "Database diagn&osis", nullptr},
    {"MenuItemConsole", "&Panel Upload / Download", "Download / Upload panel"},
    {"MenuAide", "&Help", nullptr},
    {"MenuItemAideSur", "&Help topics", nullptr},
    {"MenuItemAPropos", "&About...", nullptr},
};

// Installer items: object name and text number.
struct InstallerItem {
  const char* name;
  int textId;
};
constexpr InstallerItem kInstallerItems[] = {
    {"MenuItemInstNouveau", 22}, {"MenuItemInstOuvrir", 23},   {"MenuItemInstEnregistrer", 24},
    {"MenuItemInstEnrSous", 25}, {"MenuItemInstDownload", 26}, {"MenuItemInstUpload", 27},
};

}  // namespace

ControlStates ComputeControlStates(bool databaseOpen, bool childOpen, bool securityVariant, bool installer) {
  ControlStates s;
  bool noChild = !childOpen;
  s.noChildItems = noChild;
  s.newOpen = !databaseOpen;
  s.databaseItems = databaseOpen && noChild;
  s.security = databaseOpen && noChild && securityVariant;
  s.securityVisible = securityVariant;
  s.soundersVisible = !securityVariant;
  s.installerVisible = installer;
  s.identificationVisible = false;
  return s;
}

void TFormZvoPrincipale::SetHelpOpener(HelpOpener opener) { HelpOpenerRef() = std::move(opener); }

void TFormZvoPrincipale::SetCommandLineForTests(QStringList arguments) {
  CommandLineForTests() = std::move(arguments);
}

TFormZvoPrincipale::TFormZvoPrincipale(QWidget* parent) : QMainWindow(parent), mdiArea_(new QMdiArea(this)) {
  setObjectName(kForm);
  setCentralWidget(mdiArea_);
  resize(792, 554);
  GetContexte();
  SetSettingsErrorHandler([](const std::string& message) { ShowMessageBox(WithLineBreaks(FromAnsi(message))); });
  TZvoApplication::SetExceptionHandler([this](const QString& message) { FormException(message); });
  connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] { MiseAJourControle(); });
  BuildMenus();
  BuildInstallerMenu();
  ApplyTexts();
  MiseAJourTitre();
  MiseAJourControle();
}

TFormZvoPrincipale::~TFormZvoPrincipale() {
  // The child windows still open go with the base class, whose close deactivates them:
  // their notices must not reach this half-destroyed window.
  disconnect(mdiArea_, nullptr, this, nullptr);
  for (QMdiSubWindow* child : mdiArea_->subWindowList()) disconnect(child, nullptr, this, nullptr);
  TZvoApplication::SetExceptionHandler({});
  CloseDatabase();
  FreeContexte();
  SetSettingsErrorHandler({});
}

QAction* TFormZvoPrincipale::AddItem(QMenu* menu, const char* name, void (TFormZvoPrincipale::*handler)(),
                                     int image) {
  auto* action = menu->addAction(QString());
  action->setObjectName(QString::fromLatin1(name));
  if (image >= 0) action->setIcon(MenuImage(image));
  if (handler) connect(action, &QAction::triggered, this, handler);
  return action;
}

void TFormZvoPrincipale::BuildMenus() {
  QMenuBar* bar = menuBar();
  auto addMenu = [&](const char* name) {
    QMenu* m = bar->addMenu(QString());
    m->setObjectName(QString::fromLatin1(name));
    m->menuAction()->setObjectName(QString::fromLatin1(name));
    return m;
  };
  // Windows of later parts of the program get their handlers when they exist.
  QMenu* file = addMenu("MenuFichier");
  QAction* nouveau = AddItem(file, "MenuItemNouveau", &TFormZvoPrincipale::NouveauProjet, 0);
  QAction* ouvrir = AddItem(file, "MenuItemOuvrir", &TFormZvoPrincipale::OuvrirProjet, 1);
  QAction* enregistrer = AddItem(file, "MenuItemEnregistrer", &TFormZvoPrincipale::EnregistrerProjet, 2);
  AddItem(file, "MenuItemEnrSous", &TFormZvoPrincipale::EnregistrerSousProjet, 3);
  QAction* fermer = AddItem(file, "MenuItemFermer", &TFormZvoPrincipale::FermerProjet, 4);
  file->addSeparator();
  AddItem(file, "MenuItemImprimer", &TFormZvoPrincipale::ImprimerSite, 5);
  AddItem(file, "MenuItemEtiquette", nullptr, 6);
  file->addSeparator();
  QAction* quitter = AddItem(file, "MenuItemQuitter", &TFormZvoPrincipale::Quitter, 7);

  QMenu* config = addMenu("MenuConfiguration");
  QAction* general = AddItem(config, "MenuItemParamGen", &TFormZvoPrincipale::ParametresGeneraux, 8);
  QAction* points = AddItem(config, "MenuItemDetecteur", &TFormZvoPrincipale::Points, 9);
  QAction* sirene = AddItem(config, "MenuItemSirene", &TFormZvoPrincipale::LignesDeSirenes, 10);
  QAction* evacuation = AddItem(config, "MenuItemEvacuation", &TFormZvoPrincipale::Evacuation, 11);
  QAction* repetition = AddItem(config, "MenuItemRepetition", &TFormZvoPrincipale::Repetitions, 12);

  QMenu* tools = addMenu("MenuOutils");
  AddItem(tools, "MenuItemIdentification", &TFormZvoPrincipale::Identification, 13);
  AddItem(tools, "MenuItemDiagnostic", &TFormZvoPrincipale::Diagnostic, 14);
  QAction* console = AddItem(tools, "MenuItemConsole", &TFormZvoPrincipale::TeleChargement, 15);

  QMenu* help = addMenu("MenuAide");
  QAction* aide = AddItem(help, "MenuItemAideSur", &TFormZvoPrincipale::AideEnLigne, 16);
  aide->setShortcut(Qt::Key_F1);
  AddItem(help, "MenuItemAPropos", &TFormZvoPrincipale::AideAPropos, 17);

  nouveau->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  ouvrir->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  enregistrer->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));

  toolBar_ = addToolBar(QString());
  toolBar_->setObjectName(QStringLiteral("ToolBar"));
  toolBar_->setMovable(false);
  for (QAction* a : {quitter, static_cast<QAction*>(nullptr), nouveau, ouvrir, enregistrer, fermer,
                     static_cast<QAction*>(nullptr), general, points, sirene, evacuation, repetition,
                     static_cast<QAction*>(nullptr), console}) {
    if (a) {
      toolBar_->addAction(a);
    } else {
      toolBar_->addSeparator();
    }
  }
}

void TFormZvoPrincipale::BuildInstallerMenu() {
  installerMenu_ = new QMenu(this);
  installerMenu_->setObjectName(QStringLiteral("MenuInstaller"));
  installerMenu_->menuAction()->setObjectName(QStringLiteral("MenuInstaller"));
  using Handler = void (TFormZvoPrincipale::*)();
  const Handler handlers[] = {&TFormZvoPrincipale::NouveauProjet, &TFormZvoPrincipale::OuvrirProjet,
                              &TFormZvoPrincipale::EnregistrerProjet, &TFormZvoPrincipale::EnregistrerSousProjet,
                              &TFormZvoPrincipale::TraitementDownloadInstaller,
                              &TFormZvoPrincipale::TraitementUploadInstaller};
  for (int i = 0; i < 6; ++i) {
    QAction* a = AddItem(installerMenu_, kInstallerItems[i].name, nullptr);
    if (Handler h = handlers[i]) connect(a, &QAction::triggered, this, [this, h] { RunInstaller(h); });
  }
  if (GetContexte().IsType11()) {
    QList<QAction*> menus = menuBar()->actions();
    menuBar()->insertMenu(menus.value(2), installerMenu_);
  }
}

void TFormZvoPrincipale::RunInstaller(void (TFormZvoPrincipale::*command)()) {
  GetContexte().SetInstallerMode(true);
  (this->*command)();
  GetContexte().SetInstallerMode(false);
}

QAction* TFormZvoPrincipale::Action(const QString& name) const {
  for (QAction* a : findChildren<QAction*>()) {
    if (a->objectName() == name) return a;
  }
  return nullptr;
}

QMenu* TFormZvoPrincipale::Menu(const QString& name) const { return findChild<QMenu*>(name); }

void TFormZvoPrincipale::ApplyTexts() {
  for (const ItemText& t : kItemTexts) {
    QAction* a = Action(QString::fromLatin1(t.name));
    if (!a) continue;
    a->setText(FormText(kForm, t.name, "Caption", QString::fromUtf8(t.caption)));
    if (t.hint) a->setToolTip(FormText(kForm, t.name, "Hint", QString::fromUtf8(t.hint)));
  }
  toolBar_->setWindowTitle(FormText(kForm, "ToolBar", "Caption", QStringLiteral("Tool bar")));
  installerMenu_->setTitle(Str(21));
  for (const InstallerItem& item : kInstallerItems) {
    if (QAction* a = Action(QString::fromLatin1(item.name))) a->setText(Str(item.textId));
  }
}

bool TFormZvoPrincipale::HasChild() const { return !mdiArea_->subWindowList().isEmpty(); }

void TFormZvoPrincipale::ChildOpened(QMdiSubWindow* child) {
  // The list of sub-windows still holds a closing one while it is destroyed; the rules
  // are recomputed once it is gone.
  connect(child, &QObject::destroyed, this, [this] { QTimer::singleShot(0, this, [this] { MiseAJourControle(); }); });
  MiseAJourControle();
}

void TFormZvoPrincipale::MiseAJourTitre() {
  QString title = Str(464);
  if (TProjet* db = CurrentDatabase()) title += QString::fromStdString(db->CaptionText());
  setWindowTitle(title);
}

void TFormZvoPrincipale::MiseAJourControle() {
  const TContexte& ctx = GetContexte();
  ControlStates s = ComputeControlStates(IsDatabaseLoaded(), HasChild(), ctx.IsFscCieVariant(), ctx.IsType11());
  auto set = [this](const char* name, bool enabled) {
    if (QAction* a = Action(QString::fromLatin1(name))) a->setEnabled(enabled);
  };
  for (const char* name : {"MenuFichier", "MenuConfiguration", "MenuOutils", "MenuAide", "MenuItemQuitter",
                           "MenuItemIdentification", "MenuItemConsole", "MenuItemAideSur", "MenuItemAPropos",
                           "MenuItemInstUpload"}) {
    set(name, s.noChildItems);
  }
  for (const char* name : {"MenuItemNouveau", "MenuItemOuvrir", "MenuItemInstNouveau", "MenuItemInstOuvrir"}) {
    set(name, s.newOpen);
  }
  for (const char* name : {"MenuItemEnregistrer", "MenuItemEnrSous", "MenuItemFermer", "MenuItemImprimer",
                           "MenuItemEtiquette", "MenuItemParamGen", "MenuItemDetecteur", "MenuItemSirene",
                           "MenuItemRepetition", "MenuItemDiagnostic", "MenuItemInstEnregistrer",
                           "MenuItemInstEnrSous", "MenuItemInstDownload"}) {
    set(name, s.databaseItems);
  }
  set("MenuItemEvacuation", s.security);
  Action(QStringLiteral("MenuItemIdentification"))->setVisible(s.identificationVisible);
  Action(QStringLiteral("MenuItemEvacuation"))->setVisible(s.securityVisible);
  QAction* sirene = Action(QStringLiteral("MenuItemSirene"));
  sirene->setVisible(s.soundersVisible);
  sirene->setText(Str(476));
  sirene->setToolTip(Str(477));
  installerMenu_->menuAction()->setVisible(s.installerVisible);
  if (langue_) langue_->EnableLanguageMenu(s.noChildItems);
  ReleaseDisabledMnemonics();
}

// While a child window is open the menu-bar titles are disabled, but the menu bar keeps a
// mnemonic for every title, enabled or not: a child's "&Cancel" and the disabled
// "&Configuration" would share Alt+C, and Qt answers such a clash by moving the focus to
// the button without clicking it. So a disabled title carries no mnemonic until it is
// enabled again, and the child's mnemonics are the only ones left. Disabling the whole
// menu bar would do as much, but it would also lock the installer menu, whose New and
// Open stay usable while a child is open; and a child filtering Alt keys itself would
// have to redo Qt's mnemonic matching in every window.
void TFormZvoPrincipale::ReleaseDisabledMnemonics() {
  static constexpr const char* kSavedTitle = "kvxTitleWithMnemonic";
  for (QAction* title : menuBar()->actions()) {
    const QVariant saved = title->property(kSavedTitle);
    if (!title->isEnabled()) {
      const QString text = title->text();
      const QString bare = WithoutMnemonic(text);
      if (bare != text) {
        title->setProperty(kSavedTitle, text);
        title->setText(bare);
      }
    } else if (saved.isValid()) {
      // Unless the title got a new text meanwhile (a language switch), which then stays.
      if (title->text() == WithoutMnemonic(saved.toString())) {
        title->setText(saved.toString());
      }
      title->setProperty(kSavedTitle, QVariant());
    }
  }
}

void TFormZvoPrincipale::FormException(const QString& message) {
  if (!message.isEmpty()) ShowMessageBox(message);
}

void TFormZvoPrincipale::closeEvent(QCloseEvent* event) {
  if (HasChild()) {
    ShowMessageBox(Str(10));
    event->ignore();
    return;
  }
  if (DemanderFermeture()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TFormZvoPrincipale::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!firstShow_) return;
  firstShow_ = false;
  QTimer::singleShot(0, this, &TFormZvoPrincipale::EvaluerLigneCommande);
}

void TFormZvoPrincipale::EvaluerLigneCommande() {
  langue_ = std::make_unique<TGestionMultiLangue>();
  langue_->SetAfterChange([this] { TraitementApresChangementLangue(); });
  for (int id : {12, 2057, 16, 2067, 27, 25, 21}) langue_->AddWishedLanguage(id);
  langue_->BuildLanguageMenu(menuBar(), 3,
                             langue_->LanguageIndexFromKey(QString::fromStdString(GetContexte().LangueDefaut())));
  TraitementApresChangementLangue();
  langueStarted_ = true;

  QStringList arguments = CommandLineForTests().isEmpty() ? QCoreApplication::arguments() : CommandLineForTests();
  if (arguments.size() <= 1) return;
  std::string prj;
  try {
    std::vector<std::string> args;
    for (const QString& a : arguments) args.push_back(a.toStdString());
    TCmdLine cmdLine;
    cmdLine.CommandeLigneToListe(args);
    prj = cmdLine.GetParametre("prj");
  } catch (const std::exception& e) {
    ReportFailure(14, e);
    return;
  }
  if (!prj.empty()) {
    try {
      OpenDatabase(prj);
    } catch (const std::exception& e) {
      ReportFailure(11, e);
    }
  }
  MiseAJourTitre();
  MiseAJourControle();
}

void TFormZvoPrincipale::TraitementApresChangementLangue() {
  setUpdatesEnabled(false);
  ApplyTexts();
  MiseAJourTitre();
  MiseAJourControle();
  setUpdatesEnabled(true);
  if (langue_) GetContexte().SetLangueDefaut(langue_->CurrentKey().toStdString());
}

void TFormZvoPrincipale::ReportFailure(int contextId, const std::exception& e) {
  QString text = MessageOf(e);
  if (contextId > 0) text = Str(contextId) + Str(15) + text;
  ShowMessageBox(text);
}

void TFormZvoPrincipale::Quitter() { close(); }

void TFormZvoPrincipale::AideEnLigne() {
  if (HelpOpenerRef()) HelpOpenerRef()(QString::fromStdString(GetContexte().HelpFilePath()));
}

void TFormZvoPrincipale::AideAPropos() { OpenChild<TFormZvoAPropos>(); }

void TFormZvoPrincipale::Identification() { ShowMessageBox(QStringLiteral("Identification")); }

void TFormZvoPrincipale::BuildChild(const std::function<void()>& build) {
  try {
    build();
  } catch (const std::exception&) {
    // A window that cannot be built shows nothing: no box, and no frame either when it
    // failed after showing itself (an empty frame would keep the menus disabled).
    DropEmptyFrames();
  } catch (...) {
    DropEmptyFrames();
    MiseAJourControle();
    throw;
  }
  MiseAJourControle();
}

void TFormZvoPrincipale::OpenRegisteredChild(ChildKind kind, bool installer) {
  BuildChild([&] { BuildRegisteredChild(kind, this, installer); });
}

void TFormZvoPrincipale::DropEmptyFrames() {
  for (QMdiSubWindow* frame : mdiArea_->subWindowList()) {
    if (!frame->widget()) delete frame;
  }
}

void TFormZvoPrincipale::TeleChargement() { OpenRegisteredChild(ChildKind::Transfer); }

void TFormZvoPrincipale::TraitementDownloadInstaller() { OpenRegisteredChild(ChildKind::Transfer, true); }

void TFormZvoPrincipale::TraitementUploadInstaller() { OpenRegisteredChild(ChildKind::Transfer, true); }

void TFormZvoPrincipale::ParametresGeneraux() { OpenRegisteredChild(ChildKind::GeneralParameters); }

void TFormZvoPrincipale::Points() { OpenRegisteredChild(ChildKind::Points); }

void TFormZvoPrincipale::LignesDeSirenes() { OpenRegisteredChild(ChildKind::Sounders); }

void TFormZvoPrincipale::Evacuation() { OpenRegisteredChild(ChildKind::Security); }

void TFormZvoPrincipale::Repetitions() { OpenRegisteredChild(ChildKind::Groups); }

void TFormZvoPrincipale::Diagnostic() { OpenRegisteredChild(ChildKind::Diagnosis); }

void TFormZvoPrincipale::ImprimerSite() { OpenRegisteredChild(ChildKind::PrintSite); }
