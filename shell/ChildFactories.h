// Child windows that live in libraries the shell does not link (the transfer window, the
// configuration editors): the executable registers how to build them, and the menu
// handlers build them through this, so that dependencies point from those libraries to
// the shell only. A kind with nothing registered opens nothing.
#pragma once

#include <functional>

class TFormZvoPrincipale;

// One kind per menu handler that opens such a window.
enum class ChildKind {
  Transfer,           // TeleChargement and the installer's transfers
  GeneralParameters,  // ParametresGeneraux
  Points,             // Points
  Sounders,           // LignesDeSirenes
  Security,           // Evacuation
  Groups,             // Repetitions
  Diagnosis,          // Diagnostic
  PrintSite,          // ImprimerSite
};

// Builds the window (visible at once, as every child); may throw.
using ChildFactory = std::function<void(TFormZvoPrincipale* owner, bool installer)>;

// Replaces the factory of the kind; an empty one removes it.
void RegisterChildFactory(ChildKind kind, ChildFactory factory);
// Builds the window of the kind; false when none is registered.
bool BuildRegisteredChild(ChildKind kind, TFormZvoPrincipale* owner, bool installer);
