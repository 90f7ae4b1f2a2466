// Turns a checked-in text table ("NUMBER<TAB>TEXT" per line, '#' comments,
// C escapes \r \n \t \\ \" \xHH) into a C++ source holding a constant array
// sorted by number, so that look-ups can binary-search it.
//
//   gentable INPUT OUTPUT.cpp ARRAY_NAME [--by-abs]
//
// --by-abs sorts by the absolute value of the number (negative numbers allowed), and
// two numbers of the same absolute value are an error.
//
// Duplicate numbers and malformed lines are build errors, not silent losses.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

namespace {

bool Unescape(const std::string& in, std::string& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= in.size()) return false;
    switch (in[i]) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'x': {
        if (i + 2 >= in.size()) return false;
        std::string hex = in.substr(i + 1, 2);
        char* end = nullptr;
        long v = std::strtol(hex.c_str(), &end, 16);
        if (*end != '\0') return false;
        out += static_cast<char>(v);
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

std::string CLiteral(const std::string& s) {
  std::string r = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      r += '\\';
      r += static_cast<char>(c);
    } else if (c >= 32 && c < 127 && c != '?') {
      r += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      r += buf;
    }
  }
  return r + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  bool byAbs = argc == 5 && std::string(argv[4]) == "--by-abs";
  if (argc != 4 && !byAbs) {
    std::cerr << "usage: gentable INPUT OUTPUT ARRAY_NAME [--by-abs]\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << argv[1] << ": cannot open\n";
    return 1;
  }
  std::map<long, std::string> rows;
  std::map<long, long> signs;  // with --by-abs: the number as written, by absolute value
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    char* end = nullptr;
    long number = std::strtol(line.c_str(), &end, 10);
    std::string text;
    if (tab == std::string::npos || end != line.c_str() + tab || tab == 0 ||
        !Unescape(line.substr(tab + 1), text)) {
      std::cerr << argv[1] << ":" << lineNo << ": malformed line\n";
      return 1;
    }
    long key = byAbs ? (number < 0 ? -number : number) : number;
    if (byAbs && rows.count(key) == 0) signs[key] = number;
    if (!rows.emplace(key, text).second) {
      std::cerr << argv[1] << ":" << lineNo << ": duplicate number " << number << "\n";
      return 1;
    }
  }
  std::ostringstream out;
  out << "// Generated from " << argv[1] << " by gentable; do not edit.\n"
      << "#include \"platform/TextTable.h\"\n\n"
      << "namespace platform {\n\n"
      << "extern const TextRow " << argv[3] << "[];\n"
      << "extern const std::size_t " << argv[3] << "Count;\n\n"
      << "const TextRow " << argv[3] << "[] = {\n";
  for (const auto& [key, text] : rows) out << "    {" << (byAbs ? signs[key] : key) << ", " << CLiteral(text) << "},\n";
  out << "};\n\nconst std::size_t " << argv[3] << "Count = " << rows.size() << ";\n\n}  // namespace platform\n";
  std::ofstream o(argv[2]);
  o << out.str();
  return o ? 0 : 1;
}
