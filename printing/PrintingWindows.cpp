#include "printing/PrintingWindows.h"

#include "printing/FormZvoPrintSite.h"
#include "shell/ChildFactories.h"

void RegisterPrintingWindows() {
  RegisterChildFactory(ChildKind::PrintSite, [](TFormZvoPrincipale* owner, bool) { new TFormZvoPrintSite(owner); });
}
