// The site image: one buffer of exactly kSiteImageSize bytes, byte for byte the site
// database file. Elements keep pointers into it, so it must outlive the root site object.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kSiteImageSize = 10322;
// The CRC covers every byte before its own two.
constexpr std::size_t kSiteCrcOffset = 10320;

extern std::uint8_t* SiteImage;

// A new zero-filled buffer in SiteImage; a buffer held before is not freed.
void AllocSiteImage();
// Frees the buffer that SiteImage holds and clears the pointer.
void FreeSiteImage();
