#include "model/SiteImage.h"

std::uint8_t* SiteImage = nullptr;

void AllocSiteImage() { SiteImage = new std::uint8_t[kSiteImageSize](); }

void FreeSiteImage() {
  delete[] SiteImage;
  SiteImage = nullptr;
}
