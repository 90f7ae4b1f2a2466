// Child windows that live in libraries the shell does not link (the transfer window):
// the executable registers how to build them, and the menu handlers build them through
// this, so that dependencies point from those libraries to the shell only.
#pragma once

#include <functional>

class TFormZvoPrincipale;

enum class ChildKind { Transfer };

// Builds the window (visible at once, as every child); may throw.
using ChildFactory = std::function<void(TFormZvoPrincipale* owner, bool installer)>;

// Replaces the factory of the kind; an empty one removes it.
void RegisterChildFactory(ChildKind kind, ChildFactory factory);
// Builds the window of the kind; false when none is registered.
bool BuildRegisteredChild(ChildKind kind, TFormZvoPrincipale* owner, bool installer);
