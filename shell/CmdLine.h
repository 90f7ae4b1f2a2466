// The command line of the program: its own path and a list of parameters, each a
// name with a value (/name=value) or a bare value, and the way back to a command line.
// Parameter names are case-insensitive (kept in lower case); values keep their case,
// since paths are case-sensitive here.
#pragma once

#include <string>
#include <vector>

class TCmdLine {
 public:
  TCmdLine() = default;

  // Separator in front of a name ("/") and sign between name and value ("="),
  // both kept in lower case.
  const std::string& Separateur() const { return separateur_; }
  void SetSeparateur(const std::string& value);
  const std::string& Affecteur() const { return affecteur_; }
  void SetAffecteur(const std::string& value);

  // CommandeLigneToListe(args), then CommandeStructToString().
  std::string RenseigneAppCmdLine(const std::vector<std::string>& args);
  // args: the process's arguments as given, args[0] being the program.
  void CommandeLigneToListe(const std::vector<std::string>& args);
  // Splits a whole command line into tokens (quotes group blanks), then CommandeListeToStruct.
  void CommandeStringToListe(const std::string& text);
  // Parameters from the tokens; raises platform::Exception on "/=x" (no name) or "/x=" (no value).
  void CommandeListeToStruct();

  // The value of the first parameter of that name (any case); "" when absent.
  std::string GetParametre(const std::string& name) const;
  // The value at the index; "" outside the list.
  std::string GetParametre(int index) const;

  const std::string& GetFile() const { return file_; }
  const std::string& GetPath() const { return path_; }
  std::string GetFilePath() const { return path_ + file_; }
  void SetFile(const std::string& file) { file_ = file; }
  void SetPath(const std::string& path) { path_ = path; }

  // Raise platform::Exception for an unknown name or an index outside the list.
  void SetValeur(const std::string& name, const std::string& value);
  void SetValeur(int index, const std::string& value);
  // Appends a parameter (an empty name makes a bare value); a name with a blank is
  // refused; an empty value is stored as "1".
  void SetNewParam(const std::string& name, const std::string& value);

  // The number of tokens, the program's own path included.
  int DonneNombreDeParametres() const { return static_cast<int>(tokens_.size()); }
  // The parameter as command-line text (no trailing blank); "" outside the list.
  std::string GetParamValeur(int index) const;
  // Every parameter as command-line text, each followed by a blank.
  std::string GetAllParamValeur() const;
  // Rebuilds the command line: "path+file" then the parameters; raises
  // platform::Exception when no program file is known.
  std::string CommandeStructToString();

  // The last text given to CommandeStringToListe or built by CommandeStructToString.
  const std::string& GetCommande() const { return commande_; }

 private:
  // Names and values are one list of pairs, so they cannot differ in number.
  struct Param {
    std::string name;  // lower case; empty for a bare value
    std::string value;
  };

  int IndexOf(const std::string& name) const;

  std::string separateur_ = "/";
  std::string affecteur_ = "=";
  std::vector<Param> params_;
  std::string file_;
  std::string path_;
  std::string commande_;
  std::vector<std::string> tokens_;
};
