#include "shell/Boxes.h"

#include "shell/FormZvoBoxes.h"

namespace {
BoxHandler* g_handler = nullptr;
}  // namespace

BoxHandler* SetBoxHandler(BoxHandler* handler) {
  BoxHandler* previous = g_handler;
  g_handler = handler;
  return previous;
}

int ShowBox(BoxKind kind, QWidget* owner, const QString& text) {
  if (g_handler) return g_handler->Show(kind, owner, text);
  // Each box lives for one modal run only: a caller never reuses one.
  switch (kind) {
    case BoxKind::Message: {
      TFormZvoMessage box(owner, text);
      return box.exec();
    }
    case BoxKind::Query: {
      TFormZvoQuery box(owner, text);
      return box.exec();
    }
    case BoxKind::Error: {
      TFormZvoError box(owner, text);
      return box.exec();
    }
  }
  return kResultOk;
}

void ShowMessageBox(const QString& text) { ShowBox(BoxKind::Message, nullptr, text); }

void ShowErrorBox(QWidget* owner, const QString& text) { ShowBox(BoxKind::Error, owner, text); }

bool AskQuestion(QWidget* owner, const QString& text) {
  return ShowBox(BoxKind::Query, owner, text) == kResultYes;
}
