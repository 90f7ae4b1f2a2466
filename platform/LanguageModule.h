// Language modules: the texts of one language in a UTF-8 text file beside the program,
// named after the executable with the language's abbreviation as extension
// (korvanex.FRA); docs/language-modules.md is the translators' guide. One entry per line,
// in the built-in table's format:
//
//   # a comment (the whole line)
//   464<TAB> Korvanex FR             a numbered text
//   TFormZvoPrincipale.MenuFichier.Caption<TAB>&Fichier     a window text
//
// The text is everything after the first tab, with the escapes \r \n \t \\ \" \xHH.
// Empty lines are skipped; a trailing CR (CRLF files) and a leading UTF-8 BOM are
// accepted. A window key is Class.Component.Property (more dot-separated parts are
// allowed), each part of letters, digits and '_'. Duplicate keys, unknown escapes,
// invalid UTF-8 and lines without a key and a tab make the whole module invalid.
//
// A numbered text whose printf placeholders differ from the built-in text's is left
// out, so the built-in text stays in force and a bad translation cannot make the
// formatting read the wrong kinds of arguments. Numbers the built-in table lacks and
// window keys no window uses are kept as they are.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct LanguageModule {
  std::map<int, std::string> texts;
  std::map<std::string, std::string, std::less<>> formTexts;
  // Numbers left out for their placeholders, with the line of each.
  struct Refused {
    int number;
    int line;
  };
  std::vector<Refused> refused;
};

// Parses a module's content. On failure answers false, leaves module untouched and sets
// error to "line N: reason".
bool ParseLanguageModule(std::string_view content, LanguageModule& module, std::string* error = nullptr);

// Reads and parses the module file. On failure answers false, leaves module untouched and
// sets error to the reason ("cannot be read: ...", or "line N: ...").
bool LoadLanguageModule(const std::string& path, LanguageModule& module, std::string* error = nullptr);

}  // namespace platform
