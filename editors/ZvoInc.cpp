#include "editors/ZvoInc.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalBlocker>
#include <algorithm>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "platform/CodePage.h"

void FilterNameKey(char& key) {
  // Control codes the edit controls act on (copy, backspace, paste, cut; Ctrl+T) and the
  // lower-case accented letters of French.
  static constexpr unsigned char kKept[] = {3, 8, 20, 22, 24, 224, 226, 231, 232, 233, 234, 238, 244};
  const auto c = static_cast<unsigned char>(key);
  if ((c < 32 || c > 127) && std::find(std::begin(kKept), std::end(kKept), c) == std::end(kKept)) key = 0;
  if (c == '/' || c == '\\' || c == '~') key = 0;
}

namespace {

// The ANSI byte of a character, or none when the code page lacks it.
std::optional<char> AnsiOf(QChar c) {
  if (c.isSurrogate()) return std::nullopt;  // beyond the code page's reach
  const char16_t u = c.unicode();
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  // The conversion answers '?' for a character it cannot map; '?' itself was taken above.
  const std::string ansi = platform::FromUnicode(QString(c).toStdString());
  if (ansi.size() != 1 || ansi[0] == '?') return std::nullopt;
  return ansi[0];
}

bool Accepted(QChar c, std::string_view extraRefused) {
  std::optional<char> key = AnsiOf(c);
  if (!key || extraRefused.find(*key) != std::string_view::npos) return false;
  FilterNameKey(*key);
  return *key != 0;
}

// Whether the field would insert the key's text: the line edit's own rule (it never
// inserts under Ctrl or Ctrl+Shift, so those keys stay shortcuts).
bool InsertsText(const QKeyEvent& event) {
  const QString text = event.text();
  if (text.isEmpty()) return false;
  const QChar c = text.at(0);
  if (c.category() == QChar::Other_Format) return true;
  const Qt::KeyboardModifiers mods = event.modifiers();
  if (mods == Qt::ControlModifier || mods == (Qt::ShiftModifier | Qt::ControlModifier)) return false;
  return c.isPrint() || c.category() == QChar::Other_PrivateUse || c.isHighSurrogate();
}

template <class Accepts>
QString KeepAccepted(const QString& text, const Accepts& accepted) {
  QString kept;
  kept.reserve(text.size());
  for (QChar c : text) {
    if (accepted(c)) kept += c;
  }
  return kept;
}

// Sits in front of the field's own handling of every way user text comes in, and inserts
// only the accepted characters. A stripping validator would not do: it also rewrites the
// text the program sets, and the field's length limit cuts a paste before it strips.
class KeyFilter : public QObject {
 public:
  KeyFilter(QLineEdit* edit, std::function<bool(QChar)> accepted)
      : QObject(edit), edit_(edit), accepted_(std::move(accepted)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != edit_ || edit_->isReadOnly()) return false;
    switch (event->type()) {
      case QEvent::KeyPress: return OnKey(static_cast<QKeyEvent*>(event));
      case QEvent::InputMethod: OnInputMethod(static_cast<QInputMethodEvent*>(event)); return false;
      case QEvent::DragEnter:
      case QEvent::DragMove: return OnDrag(static_cast<QDragMoveEvent*>(event));
      case QEvent::Drop: return OnDrop(static_cast<QDropEvent*>(event));
      case QEvent::MouseButtonRelease: return OnMouseRelease(static_cast<QMouseEvent*>(event));
      case QEvent::ContextMenu: return OnContextMenu(static_cast<QContextMenuEvent*>(event));
      default: return false;
    }
  }

 private:
  QString Filtered(const QString& text) const { return KeepAccepted(text, accepted_); }

  // The field ends an undo step when its caret moves; a paste is one step of its own, as
  // the field's own paste is, so undo does not also take the characters typed before it.
  void EndUndoStep() {
    if (edit_->hasSelectedText() || edit_->text().isEmpty()) return;  // nothing to join
    const QSignalBlocker blocker(edit_);
    const int caret = edit_->cursorPosition();
    edit_->setCursorPosition(caret > 0 ? caret - 1 : caret + 1);
    edit_->setCursorPosition(caret);
  }

  // Inserting through the field keeps its length limit, selection and caret.
  void Paste(QClipboard::Mode mode) {
    const QString kept = Filtered(QGuiApplication::clipboard()->text(mode));
    if (kept.isEmpty()) return;
    EndUndoStep();
    edit_->insert(kept);
    EndUndoStep();
  }

  bool OnKey(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
      Paste(QClipboard::Clipboard);
      return true;
    }
    if (!InsertsText(*event)) return false;  // editing keys, Enter, Escape, Tab
    const QString kept = Filtered(event->text());
    if (kept == event->text()) return false;
    if (!kept.isEmpty()) edit_->insert(kept);
    event->accept();
    return true;
  }

  void OnInputMethod(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    const QString kept = Filtered(commit);
    if (kept != commit) event->setCommitString(kept, event->replacementStart(), event->replacementLength());
  }

  // A drag that brings nothing the field accepts is refused on entry, as a drop target
  // refuses foreign data. A drag inside the field only moves or copies its own text.
  bool OnDrag(QDragMoveEvent* event) {
    const QMimeData* data = event->mimeData();
    if (event->source() == edit_ || !data || !data->hasText() || !Filtered(data->text()).isEmpty()) return false;
    event->ignore();
    return true;
  }

  bool OnDrop(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (event->source() == edit_ || !data || !data->hasText()) return false;
    const QString text = data->text();
    const QString kept = Filtered(text);
    if (kept == text) return false;
    if (kept.isEmpty()) {
      event->ignore();
      return true;
    }
    // The field places the drop at the pointer; hand it the accepted text the same way.
    // The copy passes this filter unchanged.
    QMimeData filtered;
    filtered.setText(kept);
    QDropEvent copy(event->position(), event->possibleActions(), &filtered, event->buttons(), event->modifiers());
    copy.setDropAction(event->dropAction());
    QCoreApplication::sendEvent(edit_, &copy);
    event->setDropAction(copy.dropAction());
    event->setAccepted(copy.isAccepted());
    return true;
  }

  // The middle button pastes the selection where the system keeps one (X11).
  bool OnMouseRelease(QMouseEvent* event) {
    if (event->button() != Qt::MiddleButton || !QGuiApplication::clipboard()->supportsSelection()) return false;
    edit_->deselect();
    Paste(QClipboard::Selection);
    return true;
  }

  // The field's own menu, with its paste action turned to the filtered paste.
  bool OnContextMenu(QContextMenuEvent* event) {
    if (edit_->contextMenuPolicy() != Qt::DefaultContextMenu) return false;
    QMenu* menu = edit_->createStandardContextMenu();
    if (!menu) return false;
    for (QAction* action : menu->actions()) {
      // The line edit has connected its paste either way, depending on the Qt version.
      const bool wasPaste = QObject::disconnect(action, &QAction::triggered, edit_, &QLineEdit::paste) ||
                            QObject::disconnect(action, SIGNAL(triggered()), edit_, SLOT(paste()));
      if (wasPaste) connect(action, &QAction::triggered, this, [this] { Paste(QClipboard::Clipboard); });
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
    return true;
  }

  QLineEdit* edit_;
  std::function<bool(QChar)> accepted_;
};

}  // namespace

QString FilterNameText(const QString& text, std::string_view extraRefused) {
  return KeepAccepted(text, [extraRefused](QChar c) { return Accepted(c, extraRefused); });
}

void InstallKeyFilter(QLineEdit* edit, std::function<bool(QChar)> accepted) {
  edit->installEventFilter(new KeyFilter(edit, std::move(accepted)));
}

void InstallNameKeyFilter(QLineEdit* edit, std::string_view extraRefused) {
  InstallKeyFilter(edit, [refused = std::string(extraRefused)](QChar c) { return Accepted(c, refused); });
}

void InstallDigitKeyFilter(QLineEdit* edit) {
  InstallKeyFilter(edit, [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

bool IsAnsiLetter(QChar c) { return c.isLetter() && AnsiOf(c).has_value(); }

bool TypesCharacter(const QKeyEvent& event) {
  const QString text = event.text();
  return !text.isEmpty() && text.at(0).isPrint() &&
         !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}
