// Tree elements for the picker's tests: fixed texts and image, no site behind them.
#pragma once

#include <string>
#include <utility>

#include "editors/TreeElem.h"

// A leaf (Base = TTreeElem) or a list (Base = TTreeList) with a fixed caption, hint and image.
template <class Base>
class Labelled : public Base {
 public:
  explicit Labelled(std::string caption, std::string hint = {}, int image = -1)
      : caption_(std::move(caption)), hint_(std::move(hint)), image_(image) {}
  std::string Caption() override { return caption_; }
  std::string Hint() override { return hint_; }
  int ImageIndex() override { return image_; }

 private:
  std::string caption_;
  std::string hint_;
  int image_;
};

// A list that only refers to elements owned elsewhere.
class Refs : public TTreeList {
 public:
  ~Refs() override { Release(); }
};
