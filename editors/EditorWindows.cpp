#include "editors/EditorWindows.h"

#include "editors/FormZvoDiagnostic.h"
#include "editors/FormZvoGeneral.h"
#include "editors/FormZvoGroups.h"
#include "editors/FormZvoPoints.h"
#include "editors/FormZvoSecurity.h"
#include "editors/FormZvoSounders.h"
#include "shell/ChildFactories.h"

void RegisterEditorWindows() {
  RegisterChildFactory(ChildKind::Diagnosis, [](TFormZvoPrincipale* owner, bool) { new TFormZvoDiagnostic(owner); });
  RegisterChildFactory(ChildKind::GeneralParameters,
                       [](TFormZvoPrincipale* owner, bool) { new TFormZvoGeneral(owner); });
  RegisterChildFactory(ChildKind::Sounders, [](TFormZvoPrincipale* owner, bool) { new TFormZvoSounders(owner); });
  RegisterChildFactory(ChildKind::Groups, [](TFormZvoPrincipale* owner, bool) { new TFormZvoGroups(owner); });
  RegisterChildFactory(ChildKind::Points, [](TFormZvoPrincipale* owner, bool) { new TFormZvoPoints(owner); });
  RegisterChildFactory(ChildKind::Security, [](TFormZvoPrincipale* owner, bool) { new TFormZvoSecurity(owner); });
}
