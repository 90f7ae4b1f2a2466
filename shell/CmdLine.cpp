#include "shell/CmdLine.h"

#include <cstddef>
#include <string_view>
#include <utility>

#include "platform/Exception.h"
#include "platform/Texts.h"

namespace {

// Failure texts: each message is the string's text, the cause, and the closing text.
constexpr int kStrNoName = 55101;
constexpr int kStrNoValue = 55102;
constexpr int kStrUnknownName = 55103;
constexpr int kStrBadIndex = 55104;
constexpr int kStrNoFile = 55105;
constexpr int kStrBlankInName = 55107;
constexpr int kStrClosing = 55108;

[[noreturn]] void Fail(int id, const std::string& cause) {
  throw platform::Exception(platform::LoadStr(id) + cause + platform::LoadStr(kStrClosing));
}

// ASCII only: the bytes of UTF-8 sequences pass unchanged.
char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (LowerChar(text[i]) != LowerChar(prefix[i])) return false;
  return true;
}

std::size_t FindNoCase(std::string_view text, std::string_view what) {
  if (what.empty() || text.size() < what.size()) return std::string_view::npos;
  for (std::size_t i = 0; i + what.size() <= text.size(); ++i)
    if (StartsWithNoCase(text.substr(i), what)) return i;
  return std::string_view::npos;
}

// Blanks and control characters at both ends go.
std::string_view Trim(std::string_view text) {
  auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The text up to the next double quote, and what follows that quote; an unclosed
// quote takes all the rest.
std::string_view TakeQuoted(std::string_view text, std::string_view& rest) {
  const std::size_t close = text.find('"');
  if (close == std::string_view::npos) {
    rest = {};
    return text;
  }
  rest = text.substr(close + 1);
  return text.substr(0, close);
}

}  // namespace

void TCmdLine::SetSeparateur(const std::string& value) { separateur_ = Lower(value); }

void TCmdLine::SetAffecteur(const std::string& value) { affecteur_ = Lower(value); }

std::string TCmdLine::RenseigneAppCmdLine(const std::vector<std::string>& args) {
  CommandeLigneToListe(args);
  return CommandeStructToString();
}

void TCmdLine::CommandeLigneToListe(const std::vector<std::string>& args) {
  tokens_ = args;
  CommandeListeToStruct();
}

void TCmdLine::CommandeStringToListe(const std::string& text) {
  commande_ = text;
  tokens_.clear();
  std::string_view rest = Trim(text);
  while (!rest.empty()) {
    std::string token;
    if (rest.front() == '"') {
      token = TakeQuoted(rest.substr(1), rest);
    } else if (!separateur_.empty() && StartsWithNoCase(rest, separateur_)) {
      // The separator as typed, so that a failure shows the token the user wrote.
      const std::string_view sep = rest.substr(0, separateur_.size());
      const std::string_view body = rest.substr(separateur_.size());
      const std::size_t quote = body.find('"');
      const std::size_t blank = body.find(' ');
      token = sep;
      if (quote != std::string_view::npos && (blank == std::string_view::npos || quote < blank)) {
        token += body.substr(0, quote);
        token += TakeQuoted(body.substr(quote + 1), rest);
      } else if (blank != std::string_view::npos) {
        token += body.substr(0, blank);
        rest = body.substr(blank);
      } else {
        token += body;
        rest = {};
      }
    } else {
      const std::size_t blank = rest.find(' ');
      token = rest.substr(0, blank);
      rest = blank == std::string_view::npos ? std::string_view{} : rest.substr(blank);
    }
    tokens_.push_back(std::move(token));
    rest = Trim(rest);
  }
  CommandeListeToStruct();
}

void TCmdLine::CommandeListeToStruct() {
  params_.clear();
  path_.clear();
  file_.clear();
  if (tokens_.empty()) return;

  const std::string& program = tokens_.front();
  const std::size_t slash = program.rfind('/');
  const std::size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
  path_ = program.substr(0, fileStart);
  file_ = program.substr(fileStart);

  for (std::size_t i = 1; i < tokens_.size(); ++i) {
    const std::string& token = tokens_[i];
    if (separateur_.empty() || !StartsWithNoCase(token, separateur_)) {
      params_.push_back({"", token});
      continue;
    }
    const std::string_view body = std::string_view(token).substr(separateur_.size());
    const std::size_t sign = FindNoCase(body, affecteur_);
    if (sign == std::string_view::npos) {
      params_.push_back({Lower(body), "1"});
    } else if (sign == 0) {
      Fail(kStrNoName, token);
    } else if (sign + affecteur_.size() == body.size()) {
      Fail(kStrNoValue, token);
    } else {
      params_.push_back({Lower(body.substr(0, sign)), std::string(body.substr(sign + affecteur_.size()))});
    }
  }
}

int TCmdLine::IndexOf(const std::string& name) const {
  const std::string key = Lower(name);
  for (std::size_t i = 0; i < params_.size(); ++i)
    if (params_[i].name == key) return static_cast<int>(i);
  return -1;
}

std::string TCmdLine::GetParametre(const std::string& name) const {
  // A bare value has no name: an empty name must not find it.
  if (name.empty()) return {};
  const int index = IndexOf(name);
  return index < 0 ? std::string() : params_[static_cast<std::size_t>(index)].value;
}

std::string TCmdLine::GetParametre(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= params_.size()) return {};
  return params_[static_cast<std::size_t>(index)].value;
}

void TCmdLine::SetValeur(const std::string& name, const std::string& value) {
  const int index = name.empty() ? -1 : IndexOf(name);
  if (index < 0) Fail(kStrUnknownName, name);
  params_[static_cast<std::size_t>(index)].value = value;
}

void TCmdLine::SetValeur(int index, const std::string& value) {
  if (index < 0 || static_cast<std::size_t>(index) >= params_.size()) Fail(kStrBadIndex, std::to_string(index));
  params_[static_cast<std::size_t>(index)].value = value;
}

void TCmdLine::SetNewParam(const std::string& name, const std::string& value) {
  if (name.find(' ') != std::string::npos) Fail(kStrBlankInName, name);
  params_.push_back({Lower(name), value.empty() ? std::string("1") : value});
}

std::string TCmdLine::GetParamValeur(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= params_.size()) return {};
  const Param& param = params_[static_cast<std::size_t>(index)];
  // A blank would split the value into two tokens when read back.
  const std::string value =
      param.value.find(' ') == std::string::npos ? param.value : '"' + param.value + '"';
  return param.name.empty() ? value : separateur_ + param.name + affecteur_ + value;
}

std::string TCmdLine::GetAllParamValeur() const {
  std::string out;
  for (std::size_t i = 0; i < params_.size(); ++i) out += GetParamValeur(static_cast<int>(i)) + ' ';
  return out;
}

std::string TCmdLine::CommandeStructToString() {
  if (file_.empty()) Fail(kStrNoFile, "");
  commande_ = '"' + path_ + file_ + "\" " + GetAllParamValeur();
  return commande_;
}
