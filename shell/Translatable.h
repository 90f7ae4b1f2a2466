// Windows that take their texts from the current language. Each one sets every text in
// ApplyTexts, called by its constructor and again by the language manager after a switch,
// so a switch reaches the windows that are open as well as those opened afterwards.
#pragma once

class TZvoTranslatable {
 public:
  virtual ~TZvoTranslatable() = default;
  virtual void ApplyTexts() = 0;
};

// ApplyTexts of every widget of the application that is translatable.
void ReapplyAllTexts();
