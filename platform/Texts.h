// The numbered texts of the program (captions, messages, default field values).
// The built-in table is English; a language module may lay its own texts over it.
#pragma once

#include <initializer_list>
#include <map>
#include <string>

#include "platform/Format.h"

namespace platform {

// The text in the current ANSI code page; empty when the number has no text.
std::string LoadStr(int id);

// LoadStr(id) formatted with the arguments.
std::string FmtLoadStr(int id, std::initializer_list<FmtArg> args);

// The built-in text, UTF-8; nullptr when absent.
const char* BuiltinTextUtf8(int id);

// Replaces the language layer (UTF-8 texts by number); an empty map restores the built-in texts.
void SetTextOverrides(std::map<int, std::string> utf8Texts);

}  // namespace platform
