#include "editors/EditorWindows.h"

#include "editors/FormZvoDiagnostic.h"
#include "shell/ChildFactories.h"

void RegisterEditorWindows() {
  RegisterChildFactory(ChildKind::Diagnosis, [](TFormZvoPrincipale* owner, bool) { new TFormZvoDiagnostic(owner); });
}
