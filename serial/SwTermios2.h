// Line rates outside the termios table, through the kernel's termios2 record.
//
// Kept apart from <termios.h>: the kernel header that defines termios2 redefines the C
// library's termios, so only SwTermios2.cpp includes it.
#pragma once

#include <cstdint>

// Sets both directions of the open tty to baud bits per second (any rate the driver
// accepts). Returns 0, or -errno.
int SwSetCustomBaud(int fd, std::uint32_t baud);

// The output rate the tty is set to, in bits per second. Returns 0, or -errno.
int SwGetBaud(int fd, std::uint32_t* baud);
