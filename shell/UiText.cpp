#include "shell/UiText.h"

#include <exception>

#include "platform/CodePage.h"
#include "platform/Texts.h"

QString Str(int id) { return QString::fromStdString(platform::LoadStrUtf8(id)); }

QString StrF(int id, std::initializer_list<platform::FmtArg> args) {
  return QString::fromStdString(platform::Format(platform::LoadStrUtf8(id), args));
}

QString FormText(std::string_view cls, std::string_view component, std::string_view property,
                 const QString& builtin) {
  std::string key;
  key.reserve(cls.size() + component.size() + property.size() + 2);
  key.append(cls).append(".").append(component).append(".").append(property);
  return QString::fromStdString(platform::FormTextUtf8(key, builtin.toStdString()));
}

QString FromAnsi(const std::string& ansi) { return QString::fromStdString(platform::ToUnicode(ansi)); }

std::string ToAnsi(const QString& text) { return platform::FromUnicode(text.toStdString()); }

QString WithLineBreaks(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

QString MessageOf(const std::exception& e) { return FromAnsi(e.what()); }
