#include "shell/ChildFactories.h"

#include <map>

namespace {
std::map<ChildKind, ChildFactory>& Factories() {
  static std::map<ChildKind, ChildFactory> factories;
  return factories;
}
}  // namespace

void RegisterChildFactory(ChildKind kind, ChildFactory factory) {
  if (factory) {
    Factories()[kind] = std::move(factory);
  } else {
    Factories().erase(kind);
  }
}

bool BuildRegisteredChild(ChildKind kind, TFormZvoPrincipale* owner, bool installer) {
  auto it = Factories().find(kind);
  if (it == Factories().end()) return false;
  // A copy: the factory may be replaced while its window is built.
  ChildFactory factory = it->second;
  factory(owner, installer);
  return true;
}
