// The images of the menus and the tool bar, drawn by the program itself.
#pragma once

#include <QIcon>

// Images 0-18: new, open, save, save as, close, print site, print labels, exit, general
// parameters, points, line of sounders, security, repetitions, identification, diagnosis,
// panel transfer, help topics, about, installer.
constexpr int kMenuImageCount = 19;
QIcon MenuImage(int index);
