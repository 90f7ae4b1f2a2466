// Base of every site element, and the fixed-width text field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TElemDDS {
 public:
  TElemDDS() = default;
  TElemDDS(const TElemDDS&) = delete;
  TElemDDS& operator=(const TElemDDS&) = delete;
  virtual ~TElemDDS() = default;

  // Sets the fields to their defaults; touches no image byte.
  virtual void Reset() {}
  // Decodes the element's image bytes into its fields.
  virtual void ReadImage() {}
  // Encodes the fields into the element's image bytes.
  virtual void WriteImage() {}

  // Text codecs of the fixed-width fields of the image.
  static void WriteZeroPadded(std::string_view text, std::uint8_t* position, int width);
  static void WriteCentred(std::string_view text, std::uint8_t* position, int width);
  static std::string ReadText(const std::uint8_t* position, int width);
  static std::string ReadTrimmed(const std::uint8_t* position, int width);
};

// A fixed-width text field of the image.
class TLabelDDS : public TElemDDS {
 public:
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  // Stores the text, cut to the width.
  virtual void SetText(std::string_view text);
  virtual bool IsValid(std::string_view text) const;
  // IsValid; when false, message gets the reason (left as it was when true).
  virtual bool IsValidMsg(std::string_view text, std::string& message) const;

  const std::string& Text() const { return text_; }
  int Width() const { return width_; }
  std::uint8_t* Position() const { return position_; }

 protected:
  // Descendants bind the field to its image bytes.
  void Bind(std::size_t offset, int width);

  std::string text_;
  int width_ = 20;
  std::uint8_t* position_ = nullptr;
};
