// Makes and inspects site files without the window, for tests and for trying the model
// by hand. Not installed.
//
//   srdtool [--type N] new NAME FOLDER   a new site, saved as FOLDER/NAME.srd
//   srdtool [--type N] resave IN OUT     opens IN and saves it to OUT
//   srdtool [--type N] check IN          opens IN and prints the site's check messages
//
// --type sets the program's current panel type first (default 7). Exit status 0 on
// success; otherwise the user's message goes to stderr and the status is 1.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "model/Contexte.h"
#include "model/Diagnosis.h"
#include "model/Projet.h"
#include "platform/CodePage.h"
#include "platform/Convert.h"

namespace {

// Terminal text: UTF-8, with the program's "\r\n" line breaks as plain new lines.
std::string ForTerminal(const std::string& ansi) {
  std::string text = platform::ToUnicode(ansi);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

int Usage() {
  std::cerr << "usage: srdtool [--type N] new NAME FOLDER | resave IN OUT | check IN\n";
  return 2;
}

int Run(const std::vector<std::string>& args) {
  const std::string& command = args[0];
  if (command == "new" && args.size() == 3) {
    NewDatabase(args[1], args[2]);
    SaveDatabase(*CurrentDatabase());
  } else if (command == "resave" && args.size() == 3) {
    OpenDatabase(args[1]);
    SaveDatabase(*CurrentDatabase(), args[2]);
  } else if (command == "check" && args.size() == 2) {
    OpenDatabase(args[1]);
    platform::StringList findings;
    CollectSiteChecks(*CurrentDatabase()->Root(), findings);
    for (const std::string& line : findings.Lines()) std::cout << ForTerminal(line) << '\n';
  } else {
    return Usage();
  }
  CloseDatabase();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int type = 7;
  if (args.size() >= 2 && args[0] == "--type") {
    if (!platform::TryStrToInt(args[1], type) || type < 1 || type > 255) return Usage();
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return Usage();
  try {
    GetContexte().SetCurrentPanelType(static_cast<std::uint8_t>(type));
    return Run(args);
  } catch (const std::exception& e) {
    std::cerr << ForTerminal(e.what()) << '\n';
    CloseDatabase();
    return 1;
  }
}
