// Texts as the windows show them: numbered texts and window texts of the current
// language as QString, and the conversions between the model's ANSI texts and Unicode.
#pragma once

#include <QString>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Format.h"

// The numbered text in the current language.
QString Str(int id);
// The numbered text formatted with the arguments (texts among them in UTF-8).
QString StrF(int id, std::initializer_list<platform::FmtArg> args);
// A window text: the language's text for "Class.Component.Property", else the built-in one.
QString FormText(std::string_view cls, std::string_view component, std::string_view property,
                 const QString& builtin);

// Model texts are ANSI (Windows-1252); the windows convert only here.
QString FromAnsi(const std::string& ansi);
std::string ToAnsi(const QString& text);

// The program's texts break lines with "\r\n"; widgets want "\n".
QString WithLineBreaks(QString text);

// The message of a caught exception as a window shows it.
QString MessageOf(const std::exception& e);
