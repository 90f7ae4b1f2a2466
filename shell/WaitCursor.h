// The hourglass for the time of a long command (a print, a move of many points), put
// back however the command ends.
#pragma once

class TWaitCursor {
 public:
  TWaitCursor();
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};
