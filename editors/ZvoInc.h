// The editors' key filter for the labels stored in the site image (transfer/ZvoInc.h is
// unrelated): only characters the panel can show reach the stored text.
#pragma once

#include <QString>
#include <functional>
#include <string_view>

class QKeyEvent;
class QLineEdit;

// Leaves one 8-bit ANSI key character as it is, or sets it to 0 when refused.
void FilterNameKey(char& key);

// The characters of text the filter lets through, in order: each is taken in the ANSI
// code page (one the code page lacks is refused), refused when extraRefused (ANSI) holds
// it, and then put through FilterNameKey.
QString FilterNameText(const QString& text, std::string_view extraRefused = {});

// What a site name refuses on top of the filter: it also names files.
inline constexpr std::string_view kSiteNameRefused = "\\/:?\"<>|*";

// Puts what the user enters into the field (typed keys, pastes by key, context menu or
// middle button, drops, input-method commits) through FilterNameText; input with no
// character left changes nothing. Text the program sets (setText, insert) is kept as it
// is. Editing keys work as usual, and Enter, Escape and Tab keep their roles in the dialog.
void InstallNameKeyFilter(QLineEdit* edit, std::string_view extraRefused = {});

// The same road for any rule on single characters.
void InstallKeyFilter(QLineEdit* edit, std::function<bool(QChar)> accepted);
// Only the digits 0 to 9 come in (access codes).
void InstallDigitKeyFilter(QLineEdit* edit);

// Whether the character is a letter of the code page, accented ones included.
bool IsAnsiLetter(QChar c);

// Whether the key types a character, as a key-press handler of the system sees it: printable
// text without Ctrl, Alt or Meta (Alt keys are mnemonics there).
bool TypesCharacter(const QKeyEvent& event);
