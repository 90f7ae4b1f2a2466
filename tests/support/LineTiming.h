// The bytes a line simulator delivered, as its --timing file lists them: one line per
// byte, "DIR INDEX TIME_US HEX" in delivery order.
#pragma once

#include <fstream>
#include <string>
#include <vector>

struct Delivered {
  bool a2b;  // from side A to side B, else B to A
  long long us;
  int byte;
};

inline std::vector<Delivered> ReadLineTiming(const std::string& path) {
  std::vector<Delivered> out;
  std::ifstream in(path);
  std::string dir;
  unsigned long long index = 0;
  long long us = 0;
  std::string hex;
  while (in >> dir >> index >> us >> hex) out.push_back({dir == "a2b", us, std::stoi(hex, nullptr, 16)});
  return out;
}
