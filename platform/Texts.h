// The numbered texts of the program (captions, messages, default field values).
// The built-in table is English; a language module may lay its own texts over it.
#pragma once

#include <initializer_list>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "platform/Format.h"

namespace platform {

// The text in the current ANSI code page; empty when the number has no text.
std::string LoadStr(int id);

// LoadStr(id) formatted with the arguments.
std::string FmtLoadStr(int id, std::initializer_list<FmtArg> args);

// The text in UTF-8, for the user interface: a language's texts need not fit the code page.
std::string LoadStrUtf8(int id);

// The built-in text, UTF-8; nullptr when absent.
const char* BuiltinTextUtf8(int id);

// Replaces the language layer (UTF-8 texts by number); an empty map restores the built-in texts.
void SetTextOverrides(std::map<int, std::string> utf8Texts);

// Texts of the windows, addressed "Class.Component.Property" (e.g.
// "TFormZvoPrincipale.MenuFichier.Caption"); the language layer may replace them.
// Answers the layer's UTF-8 text, or builtinUtf8 when the layer has none.
std::string FormTextUtf8(std::string_view key, std::string_view builtinUtf8);
void SetFormTextOverrides(std::map<std::string, std::string, std::less<>> utf8Texts);

}  // namespace platform
