// Apart from the form, so that a program that shows the dialog itself does not need the
// port component.
#include "serial/SioComPort.h"
#include "serial/widgets/ComSelectForm.h"

void InstallPortSelectDialog() {
  SetPortPrompt([](int& comNumber) {
    TComSelectForm form;
    if (form.exec() != QDialog::Accepted) return false;
    const int chosen = form.SelectedComNum();
    if (chosen <= 0) return false;
    comNumber = chosen;
    return true;
  });
}
