#include "transfer/FormZvoConsole.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QFrame>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "model/Contexte.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "platform/Paths.h"
#include "serial/PortMap.h"
#include "serial/SioComPort.h"
#include "serial/SlProtcl.h"
#include "serial/SlSelCom.h"
#include "serial/SlStrMap.h"
#include "shell/Boxes.h"
#include "shell/UiText.h"
#include "transfer/ZvoInc.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kForm = "TFormZvoConsole";
constexpr int kHelpContext = 33;
constexpr int kBlinkMs = 500;
constexpr int kStartDelayMs = 100;
constexpr std::int32_t kHandshakeWaitTicks = 182;  // 10 seconds
// Ports probed on the device families when no folder of ports is set (serial/PortMap.h).
constexpr int kLastDevicePort = 48;

// A failure whose text the window wrote itself (not an ANSI model message).
class WindowFailure : public std::exception {
 public:
  explicit WindowFailure(QString message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return "transfer window failure"; }
  const QString& Message() const { return message_; }

 private:
  QString message_;
};

QString FailureText(const std::exception& e) {
  if (const auto* own = dynamic_cast<const WindowFailure*>(&e)) return own->Message();
  return MessageOf(e);
}

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

TFormZvoConsole::FileDialogHook& DialogHook() {
  static TFormZvoConsole::FileDialogHook hook;
  return hook;
}

// The string table writes filters as "Name (*.x)|*.x"; Qt wants the first half.
QString QtFilter(const QString& tableFilter) { return tableFilter.section(QLatin1Char('|'), 0, 0); }

// "*.bin" or "bin" as a default suffix.
QString Suffix(QString extension) {
  while (extension.startsWith(QLatin1Char('*')) || extension.startsWith(QLatin1Char('.'))) extension.remove(0, 1);
  return extension;
}

// The port number in a list text ("COM12" gives 12); 0 when there is none.
int PortNumberOf(const QString& text) {
  bool ok = false;
  const int n = text.mid(3).toInt(&ok);
  return ok && n > 0 ? n : 0;
}

int ClampToInt(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT_MAX));
}

}  // namespace

// ---- free helpers -----------------------------------------------------------------------

std::vector<PortListItem> ListSerialPorts() {
  std::vector<PortListItem> items;
  const char* dir = std::getenv("KORVANEX_SERIAL_DIR");
  if (dir != nullptr && *dir != '\0') {
    // The folder names every port: its "COMn" entries that lead somewhere. Nothing is
    // opened, so a peer on a pseudo-terminal never sees a hang-up from the listing.
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
      const std::string name = entry.path().filename().string();
      const int n = ComPortNumber(name);
      if (n <= 0 || name != ComName(n)) continue;
      std::error_code statError;
      if (!fs::exists(entry.path(), statError)) continue;
      items.push_back({Q(name), n});
    }
  } else {
    for (int n = 1; n <= kLastDevicePort; ++n) {
      // A port held by another program exists all the same.
      bool inUse = false;
      if (IsPortAvailable(n, inUse) || inUse) items.push_back({Q(ComName(n)), n});
    }
  }
  std::sort(items.begin(), items.end(), [](const PortListItem& a, const PortListItem& b) { return a.text < b.text; });
  return items;
}

QString SafeOfferedFileName(const std::string& storedName) {
  QString name;
  for (QChar c : FromAnsi(storedName)) {
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F) continue;
    name += c;
  }
  while (name.contains(QLatin1String(".."))) name.remove(QLatin1String(".."));
  name = name.trimmed();
  // Dots alone would name a folder.
  if (name == QLatin1String(".")) name.clear();
  return name;
}

bool MoveReceivedFile(const std::string& from, const std::string& to, std::string* error) {
  std::error_code ec;
  if (fs::exists(to, ec) && fs::equivalent(from, to, ec)) return true;
  if (fs::weakly_canonical(from, ec) == fs::weakly_canonical(to, ec) && !ec) return true;
  // A rename replaces an older file of the name in one step, so it never is lost first.
  ec.clear();
  fs::rename(from, to, ec);
  if (!ec) return true;
  if (ec == std::errc::cross_device_link) {
    std::string copyError;
    if (!platform::CopyFileAtomic(from, to, &copyError)) {
      if (error) *error = copyError;
      return false;
    }
    fs::remove(from, ec);
    return true;
  }
  if (error) *error = ec.message();
  return false;
}

// ---- the window ------------------------------------------------------------------------------

void TFormZvoConsole::SetFileDialogHook(FileDialogHook hook) { DialogHook() = std::move(hook); }

QString TFormZvoConsole::RunFileDialog(QFileDialog& dialog) {
  if (DialogHook()) return DialogHook()(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

TFormZvoConsole::TFormZvoConsole(TFormZvoPrincipale* owner, bool /*installer*/)
    : TZvoChildForm(owner, kHelpContext),
      memoLog_(new QPlainTextEdit(this)),
      progressBar_(new QProgressBar(this)),
      panelConsole_(new QFrame(this)),
      bitBtnTransferer_(new QPushButton(panelConsole_)),
      bitBtnRecevoir_(new QPushButton(panelConsole_)),
      cbPort_(new QComboBox(panelConsole_)),
      bitBtnFermer_(new QPushButton(panelConsole_)),
      bitBtnLanguage_(new QPushButton(panelConsole_)),
      timer_(new QTimer(this)) {
  setObjectName(kForm);
  setFixedSize(241, 233);
  // The layout is measured for a small dialog font, 11 pixels high.
  QFont small(QStringLiteral("MS Sans Serif"));
  small.setPixelSize(11);
  setFont(small);
  memoLog_->setObjectName(QStringLiteral("MemoLog"));
  memoLog_->setGeometry(8, 8, 225, 113);
  memoLog_->setReadOnly(true);
  memoLog_->setEnabled(false);
  progressBar_->setObjectName(QStringLiteral("ProgressBar"));
  progressBar_->setGeometry(8, 129, 225, 16);
  progressBar_->setTextVisible(false);
  panelConsole_->setObjectName(QStringLiteral("PanelConsole"));
  panelConsole_->setGeometry(8, 152, 225, 73);
  panelConsole_->setFrameShape(QFrame::StyledPanel);
  panelConsole_->setFrameShadow(QFrame::Raised);
  bitBtnTransferer_->setObjectName(QStringLiteral("BitBtnTransferer"));
  bitBtnTransferer_->setGeometry(8, 8, 97, 25);
  bitBtnRecevoir_->setObjectName(QStringLiteral("BitBtnRecevoir"));
  bitBtnRecevoir_->setGeometry(8, 40, 97, 25);
  cbPort_->setObjectName(QStringLiteral("CBport"));
  cbPort_->setGeometry(120, 12, 97, cbPort_->sizeHint().height());
  bitBtnFermer_->setObjectName(QStringLiteral("BitBtnFermer"));
  bitBtnFermer_->setGeometry(120, 40, 97, 25);
  bitBtnLanguage_->setObjectName(QStringLiteral("BitBtnLanguage"));
  bitBtnLanguage_->setGeometry(8, 8, 97, 25);
  connect(bitBtnTransferer_, &QPushButton::clicked, this, [this] { ButtonTransfererClick(); });
  connect(bitBtnRecevoir_, &QPushButton::clicked, this, [this] { ButtonRecevoirClick(); });
  connect(bitBtnFermer_, &QPushButton::clicked, this, [this] { ButtonFermerClick(); });
  connect(bitBtnLanguage_, &QPushButton::clicked, this, [this] { ButtonLangageClick(); });

  TContexte& ctx = GetContexte();
  port_ = std::make_unique<TSioComPort>(&components_);
  port_->SetAutoOpen(false);
  port_->SetPromptForPort(false);
  port_->SetComNumber(0);
  port_->SetBaud(9600);
  port_->SetDataBits(8);
  port_->SetStopBits(1);
  port_->SetParity(pNone);
  port_->SetOnPortClose([this](TSioCustomComPort* sender) { ComPortClose(sender); });
  port_->SetOnPortOpen([this](TSioCustomComPort* sender) { ComPortOpen(sender); });
  port_->SetLogHex(true);
  port_->SetLogAllHex(true);
  port_->SetLogging(ctx.Log() ? tlOn : tlOff);
  port_->SetLogName(platform::JoinPath(ctx.SettingsFolder(), "Zavo.log"));
  port_->SetTraceHex(true);
  port_->SetTraceAllHex(true);
  port_->SetTracing(ctx.Trace() ? tlOn : tlOff);
  port_->SetTraceName(platform::JoinPath(ctx.SettingsFolder(), "Zavo.trc"));

  responder_ = std::make_unique<SerialAckResponder>(port_.get());

  timer_->setSingleShot(false);
  connect(timer_, &QTimer::timeout, this, [this] { OnTimer(); });

  FillPortList(cbPort_);
  for (int i = 0; i < cbPort_->count(); ++i) {
    if (cbPort_->itemData(i).toInt() == ctx.ComPort()) cbPort_->setCurrentIndex(i);
  }
  connect(cbPort_, &QComboBox::currentIndexChanged, this, [this] { ComPortChange(); });

  ApplyTexts();
  SetTransferState(kIdle);
  languageFileSize_ = 0;
  ShowAsChild();
  // The first control has the focus, as in every window: the buttons' accelerators work
  // only while the focus is inside this window.
  FocusFirstButton();
}

TFormZvoConsole::~TFormZvoConsole() {
  if (protocol_) {
    protocol_->SetOnProtocolError({});
    protocol_->SetOnProtocolFinish({});
    protocol_->SetOnProtocolLog({});
    protocol_->SetOnProtocolStatus({});
    // Never closed during a transfer, but the main window may go first.
    if (protocol_->InProgress()) protocol_->CancelProtocol();
    protocol_->SetComPort(nullptr);
    protocol_.reset();
  }
  timer_->stop();
  disconnect(timer_, nullptr, this, nullptr);
  responder_->CompletionCallback = nullptr;
  responder_.reset();
  port_->SetOnPortOpen({});
  port_->SetOnPortClose({});
  port_.reset();
}

void TFormZvoConsole::ApplyTexts() {
  setWindowTitle(IsDatabaseLoaded() ? Str(49) : Str(48));
  bitBtnTransferer_->setText(FormText(kForm, "BitBtnTransferer", "Caption", QStringLiteral("&Download")));
  bitBtnRecevoir_->setText(FormText(kForm, "BitBtnRecevoir", "Caption", QStringLiteral("&Upload")));
  bitBtnLanguage_->setText(FormText(kForm, "BitBtnLanguage", "Caption", QStringLiteral("&Language")));
  bitBtnFermer_->setText(state_ == kIdle ? Str(50) : Str(51));
}

void TFormZvoConsole::FillPortList(QComboBox* items) {
  items->clear();
  for (const PortListItem& item : ListSerialPorts()) items->addItem(item.text, item.number);
}

void TFormZvoConsole::ComPortChange() {
  if (cbPort_->currentIndex() >= 0) GetContexte().SetComPort(cbPort_->currentData().toInt());
}

void TFormZvoConsole::AddLog(const QString& line) {
  memoLog_->appendPlainText(WithLineBreaks(line));
  memoLog_->verticalScrollBar()->setValue(memoLog_->verticalScrollBar()->maximum());
}

void TFormZvoConsole::SetTransferState(std::uint8_t state) {
  state_ = state;
  if (state != kIdle) {
    bitBtnTransferer_->setEnabled(false);
    bitBtnRecevoir_->setEnabled(false);
    bitBtnLanguage_->setEnabled(false);
    cbPort_->setEnabled(false);
    bitBtnFermer_->setText(Str(51));
    // The disabled buttons would hand the focus out of the window; Abort keeps it.
    bitBtnFermer_->setFocus();
    memoLog_->clear();
    return;
  }
  if (IsDatabaseLoaded()) {
    bitBtnTransferer_->setVisible(true);
    bitBtnTransferer_->setEnabled(true);
    bitBtnLanguage_->setVisible(false);
    bitBtnRecevoir_->setEnabled(false);
  } else {
    bitBtnTransferer_->setVisible(false);
    bitBtnLanguage_->setVisible(true);
    bitBtnLanguage_->setEnabled(true);
    bitBtnRecevoir_->setEnabled(true);
  }
  cbPort_->setEnabled(true);
  progressBar_->setValue(0);
  bitBtnFermer_->setText(Str(50));
}

void TFormZvoConsole::FocusFirstButton() {
  (IsDatabaseLoaded() ? bitBtnTransferer_ : bitBtnLanguage_)->setFocus();
}

void TFormZvoConsole::ButtonFermerClick() { close(); }

bool TFormZvoConsole::PreFermeture() {
  if (state_ == kIdle) {
    ClosePort();
    port_->SetComNumber(0);
    return true;
  }
  responder_->CompletionCallback = nullptr;
  responder_->Disable();
  // Idle before the cancel: what the cancelled transfer reports (its failure log, error
  // and finish events, during the cancel or after it) is the user's abort, not a
  // conflict or a failed transmission, and the abort line says so.
  state_ = kIdle;
  if (protocol_ && protocol_->InProgress()) protocol_->CancelProtocol();
  AddLog(Str(68));
  timer_->stop();
  ClosePort();
  SetTransferState(kIdle);
  return false;
}

void TFormZvoConsole::ClosePort() {
  if (port_->Open()) port_->SetOpen(false);
}

void TFormZvoConsole::ComPortOpen(TSioCustomComPort* sender) {
  AddLog(Str(53) + QString::number(sender->ComNumber()));
}

void TFormZvoConsole::ComPortClose(TSioCustomComPort* sender) {
  AddLog(Str(54) + QString::number(sender->ComNumber()));
}

void TFormZvoConsole::OpenSelectedPort(const QString& portText) {
  try {
    const int number = PortNumberOf(portText);
    if (number == 0) throw WindowFailure(QString());
    port_->SetComNumber(static_cast<std::uint16_t>(number));
    // The port switches its trace and log off when it writes them at its close: armed
    // again for every open, each transfer leaves its own files.
    const TContexte& ctx = GetContexte();
    port_->SetTracing(ctx.Trace() ? tlOn : tlOff);
    port_->SetLogging(ctx.Log() ? tlOn : tlOff);
    port_->SetOpen(true);
  } catch (const std::exception&) {
    throw WindowFailure(Str(75) + portText + Str(76));
  }
}

void TFormZvoConsole::CreateProtocol() {
  if (protocol_) {
    protocol_->SetComPort(nullptr);
    protocol_.reset();
  }
  protocol_ = std::make_unique<TSioProtocol>(&components_);
  protocol_->SetTag(1);
  protocol_->SetComPort(port_.get());
  protocol_->SetProtocolType(ptXmodemCRC);
  protocol_->SetHandshakeWait(kHandshakeWaitTicks);
  protocol_->SetWriteFailAction(wfWriteRename);
  protocol_->SetOnProtocolError([this](TSioCustomProtocol*, std::int32_t code) { ProtocoleError(code); });
  protocol_->SetOnProtocolFinish([this](TSioCustomProtocol*, std::int32_t code) { ProtocoleFinish(code); });
  protocol_->SetOnProtocolLog([this](TSioCustomProtocol*, std::uint16_t code) { ProtocoleLog(code); });
  protocol_->SetOnProtocolStatus([this](TSioCustomProtocol*, std::uint16_t) { ProtocoleStatus(); });
  progressTag_ = 0;
  progressStep_ = std::max<int>(1, static_cast<int>(protocol_->BlockLength()));
  progressBar_->setMinimum(0);
  progressBar_->setMaximum(state_ == kLanguage ? std::max(1, ClampToInt(languageFileSize_))
                                                : static_cast<int>(kSiteImageSize));
  progressBar_->setValue(0);
  if (state_ == kDownload || state_ == kUpload) {
    timerHandler_ = &TFormZvoConsole::SurDebutPreambule;
    timer_->start(kBlinkMs);
  }
}

void TFormZvoConsole::FailStart(const QString& message) {
  responder_->CompletionCallback = nullptr;
  responder_->Disable();
  timer_->stop();
  AddLog(message);
  // A port left open would stay locked against the next try and other programs.
  ClosePort();
  SetTransferState(kIdle);
}

void TFormZvoConsole::StartDatabaseRoad(std::uint8_t state) {
  try {
    SetTransferState(state);
    if (state == kDownload) {
      // The file sent is the site as edited.
      SaveDatabase(*CurrentDatabase());
    }
    OpenSelectedPort(cbPort_->currentText());
    CreateProtocol();
    responder_->CompletionCallback = [this](SerialAckResponder*) { SurFinPreambule(); };
    responder_->Enable();
  } catch (const std::exception& e) {
    FailStart(FailureText(e));
  }
}

void TFormZvoConsole::ButtonTransfererClick() {
  if (state_ != kIdle || !IsDatabaseLoaded()) return;
  StartDatabaseRoad(kDownload);
}

void TFormZvoConsole::ButtonRecevoirClick() {
  if (state_ != kIdle) return;
  StartDatabaseRoad(kUpload);
}

void TFormZvoConsole::OnTimer() {
  if (timerHandler_) (this->*timerHandler_)();
}

void TFormZvoConsole::SurFinPreambule() {
  responder_->CompletionCallback = nullptr;
  timer_->stop();
  timerHandler_ = &TFormZvoConsole::SurDebutProtocole;
  timer_->start(kStartDelayMs);
}

void TFormZvoConsole::SurDebutPreambule() { UpdateProgress(); }

void TFormZvoConsole::SurDebutProtocole() {
  timer_->stop();
  timerHandler_ = nullptr;
  try {
    if (state_ == kDownload) {
      TProjet* db = CurrentDatabase();
      if (!db) throw WindowFailure(Str(90));
      protocol_->SetFileMask(DatabasePath(*db));
      protocol_->StartTransmit();
    } else if (state_ == kUpload) {
      protocol_->SetFileName(platform::JoinPath(GetContexte().UploadedPath(), Str(52).toStdString()));
      protocol_->StartReceive();
    }
  } catch (const std::exception& e) {
    FailStart(FailureText(e));
  }
}

void TFormZvoConsole::ButtonLangageClick() {
  if (state_ != kIdle) return;
  QString path;
  {
    QFileDialog dialog(this, Str(63), Q(GetContexte().SettingsFolder()), QtFilter(Str(61)));
    dialog.setObjectName(QStringLiteral("OpenDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(Suffix(Str(62)));
    path = RunFileDialog(dialog);
  }
  if (path.isEmpty()) {
    // Only a cancelled choice closes the window.
    close();
    return;
  }
  try {
    std::error_code ec;
    const std::string file = path.toStdString();
    const auto size = fs::file_size(file, ec);
    if (ec || !fs::is_regular_file(file, ec)) throw WindowFailure(Str(90));
    {
      // Readable now, or the transfer would fail only after the port was taken.
      std::FILE* f = std::fopen(file.c_str(), "rb");
      if (!f) throw WindowFailure(Str(90));
      std::fclose(f);
    }
    languageFileSize_ = static_cast<std::int64_t>(size);
    languageFileName_ = path;
    SetTransferState(kLanguage);
    OpenSelectedPort(cbPort_->currentText());
    CreateProtocol();
    protocol_->SetFileMask(file);
    protocol_->StartTransmit();
  } catch (const std::exception& e) {
    FailStart(FailureText(e));
  }
}

void TFormZvoConsole::ProtocoleStatus() { UpdateProgress(); }

void TFormZvoConsole::UpdateProgress() {
  if (state_ == kIdle || !protocol_) return;
  const std::int64_t block = static_cast<std::int64_t>(protocol_->BlockNumber());
  const int maximum = progressBar_->maximum();
  if (block == static_cast<std::int64_t>(protocol_->Tag())) {
    // No progress since the last call: blink between nothing and what was shown.
    if (progressBar_->value() > 0) {
      progressTag_ = progressBar_->value();
      progressBar_->setValue(0);
    } else {
      progressBar_->setValue(std::min(progressTag_, maximum));
      progressTag_ = 0;
    }
  } else {
    const std::int64_t bytes = static_cast<std::int64_t>(protocol_->BytesTransferred());
    // The last block is padded: more bytes than the file holds may have been moved.
    progressBar_->setValue(std::min(bytes > 0 ? ClampToInt(bytes) : progressStep_, maximum));
  }
  protocol_->SetTag(static_cast<std::intptr_t>(block));
}

void TFormZvoConsole::ProtocoleError(std::int32_t code) {
  // What a transfer the user aborted still reports came after its abort line.
  if (state_ == kIdle) return;
  const QString text = Q(ErrorMsg(code));
  if (!text.isEmpty()) AddLog(text);
}

void TFormZvoConsole::ProtocoleFinish(std::int32_t code) {
  // A transfer the user aborted was reported and its port closed then.
  if (state_ == kIdle) return;
  if (code == 0) {
    AddLog(Q(protocol_->StatusMsg(protocol_->ProtocolStatus())));
  } else {
    AddLog(Q(ErrorMsg(code)));
  }
  timer_->stop();
  ClosePort();
  SetTransferState(kIdle);
}

void TFormZvoConsole::ProtocoleLog(std::uint16_t code) {
  if (state_ == kIdle) return;
  switch (code) {
    case lfReceiveStart:
      AddLog(Str(57));
      break;
    case lfReceiveOk:
      AddLog(Str(58));
      try {
        SaveReceivedDatabase();
      } catch (const std::exception& e) {
        // What the application would show for an escaping failure; the received file
        // stays as it is.
        AddLog(MessageOf(e));
        ShowMessageBox(MessageOf(e));
      }
      break;
    case lfReceiveFail:
      AddLog(Str(72));
      AddLog(QStringLiteral("lfReceiveFail"));
      AddLog(QString::number(protocol_->BytesRemaining()));
      AddLog(QString::number(protocol_->BytesTransferred()));
      AddLog(QString::number(protocol_->BlockNumber()));
      break;
    case lfReceiveSkip:
      AddLog(Str(73));
      break;
    case lfTransmitStart:
      AddLog(state_ == kLanguage ? Str(59) : Str(55));
      break;
    case lfTransmitOk:
      AddLog(state_ == kLanguage ? Str(60) : Str(56));
      break;
    case lfTransmitFail:
      AddLog(protocol_->BlockNumber() == 1 ? Str(78) : Str(70));
      break;
    case lfTransmitSkip:
      AddLog(Str(71));
      break;
    default:
      AddLog(Str(74));
      break;
  }
}

void TFormZvoConsole::SaveReceivedDatabase() {
  const std::string received = protocol_->FileName();
  std::string storedName;
  bool manual = false;
  RewriteReceivedSiteFile(received, storedName, manual);
  if (manual) ShowMessageBox(Str(77));

  QString chosen;
  {
    QFileDialog dialog(this, Str(466), Q(GetContexte().UploadedPath()), QtFilter(Str(469)));
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(Suffix(Str(470)));
    const QString offered = SafeOfferedFileName(storedName);
    if (!offered.isEmpty()) dialog.selectFile(offered);
    chosen = RunFileDialog(dialog);
  }
  if (chosen.isEmpty()) return;  // it stays as it was received
  std::string error;
  if (!MoveReceivedFile(received, chosen.toStdString(), &error)) {
    AddLog(Str(91));
    AddLog(chosen + QStringLiteral(" : ") + Q(error));
    return;
  }
  GetContexte().SetUploadedPath(chosen.toStdString());
}
