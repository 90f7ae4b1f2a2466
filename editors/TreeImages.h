// The images of the editors' tree views, drawn by the program itself.
#pragma once

#include <QColor>
#include <QIcon>

#include "editors/ZvoTreeView.h"

// A small rounded square of the colour with a letter on it; crossed when failed.
QIcon TreeGlyph(QColor fill, QChar letter, bool failed = false);

// Indexes as the site elements give them: 0-3 zones (alarm, pre-alarm; odd: a failed
// check), 4-7 and 12 points by kind, 8-11 lines and loops (odd: a failed check); the
// signal, relay and breaking-function windows read 4, 5 and 8-10 as their own kinds.
const TImageList& TreeImages();
// The groups' images: 0 zone-triggered, 1 signal-triggered, plus 2 for a failed check.
const TImageList& GroupImages();
// State images: index n shows the n - 1 places a group table has left; 0 shows nothing.
const TImageList& StateImages();
