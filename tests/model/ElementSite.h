// A new site whose image the element tests poke and read byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "model/Crc16.h"
#include "support/SiteFixture.h"

class ElementSite : public SiteFixture {
 protected:
  using SiteFixture::SiteFixture;

  void Poke(std::size_t offset, std::initializer_list<int> bytes) {
    for (int b : bytes) Image()[offset++] = static_cast<std::uint8_t>(b);
  }
  void PokeText(std::size_t offset, const std::string& text) {
    for (char c : text) Image()[offset++] = static_cast<std::uint8_t>(c);
  }
  std::vector<int> Bytes(std::size_t offset, std::size_t count) {
    std::vector<int> out;
    for (std::size_t i = 0; i < count; ++i) out.push_back(Image()[offset + i]);
    return out;
  }
  int At(std::size_t offset) { return Image()[offset]; }

  // Decodes the poked image as a load does; the CRC is made to match first, since the
  // load checks it last.
  void Redecode() {
    Root().Crc()->WriteImage();
    Reload();
  }
  void Encode() { Root().WriteImage(); }
};

// The same site, made while the program is at panel type N.
template <std::uint8_t N>
class SiteOfType : public ElementSite {
 protected:
  SiteOfType() : ElementSite(N) {}
};
