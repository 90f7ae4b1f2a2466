#include "model/ElemDDS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "model/ElemIHM.h"
#include "model/Points.h"
#include "model/SiteImage.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "support/TempHome.h"
#include "support/Checks.h"

namespace {

std::string Bytes(const std::uint8_t* p, int n) { return RawText(p, static_cast<std::size_t>(n)); }

// A field whose bytes start at a given offset, to test the base text field alone.
class TestLabel : public TLabelDDS {
 public:
  TestLabel(std::size_t offset, int width) { Bind(offset, width); }
};

class SiteImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AllocSiteImage();
    ASSERT_NE(SiteImage, nullptr);
  }
  void TearDown() override { FreeSiteImage(); }

  TempHome home_;  // elements may consult the context
};

}  // namespace

TEST_F(SiteImageTest, AllocatedZeroFilledAndFreed) {
  EXPECT_TRUE(std::all_of(SiteImage, SiteImage + kSiteImageSize, [](std::uint8_t b) { return b == 0; }));
  FreeSiteImage();
  EXPECT_EQ(SiteImage, nullptr);
  AllocSiteImage();  // for TearDown
}

TEST_F(SiteImageTest, ZeroPaddedAndPlainRead) {
  struct Case {
    const char* text;
    int width;
    std::string bytes;
    const char* readBack;
  };
  const Case cases[] = {
      {"AB", 5, std::string("AB\0\0\0", 5), "AB"},
      {"ABCDE", 5, "ABCDE", "ABCDE"},  // fills the width: no terminating zero
      {"ABCDEFG", 5, "ABCDE", "ABCDE"},
      {"", 3, std::string(3, '\0'), ""},
      {" a ", 4, std::string(" a \0", 4), " a "},  // nothing trimmed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::memset(SiteImage + 100, 0xEE, 30);
    TElemDDS::WriteZeroPadded(c.text, SiteImage + 100, c.width);
    EXPECT_EQ(Bytes(SiteImage + 100, c.width), c.bytes);
    EXPECT_EQ(SiteImage[100 + c.width], 0xEE);  // nothing written past the width
    EXPECT_EQ(TElemDDS::ReadText(SiteImage + 100, c.width), c.readBack);
  }
  // Reading stops at the first zero byte, and also after the width.
  std::memcpy(SiteImage + 200, "AB\0CD", 5);
  EXPECT_EQ(TElemDDS::ReadText(SiteImage + 200, 5), "AB");
  std::memcpy(SiteImage + 200, "ABCDEFGH", 8);
  EXPECT_EQ(TElemDDS::ReadText(SiteImage + 200, 5), "ABCDE");
  EXPECT_EQ(TElemDDS::ReadText(SiteImage + 300, 20), "");
}

TEST_F(SiteImageTest, CentredBetweenSpacesAndReadTrimmed) {
  struct Case {
    const char* text;
    int width;
    const char* bytes;
  };
  const Case cases[] = {
      {"SARDEL128", 20, "     SARDEL128      "},
      {"  SARDEL128\r\n", 20, "     SARDEL128      "},  // trimmed before centring
      {"AB", 5, " AB  "},
      {"ABCDEFGHIJKLMNOPQRST", 20, "ABCDEFGHIJKLMNOPQRST"},
      {"", 4, "    "},
      // Longer than the width: cut at both ends, the odd character at the end.
      {"0123456", 5, "12345"},
      {"01234567", 5, "12345"},
      {"0123456789ABCDEFGHIJKLMNO", 20, "23456789ABCDEFGHIJKL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TElemDDS::WriteCentred(c.text, SiteImage + 34, c.width);
    EXPECT_EQ(Bytes(SiteImage + 34, c.width), c.bytes);
    EXPECT_EQ(TElemDDS::ReadTrimmed(SiteImage + 34, c.width), platform::Trim(c.bytes));
  }
}

TEST_F(SiteImageTest, TextFieldSetValidateReadWrite) {
  TestLabel label(55, 20);
  EXPECT_EQ(label.Text(), "");
  EXPECT_EQ(label.Position(), SiteImage + 55);

  const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
  const std::string twentyFive = twenty + "UVWXY";
  label.SetText(twentyFive);
  EXPECT_EQ(label.Text(), twenty);

  std::string message = "untouched";
  EXPECT_TRUE(label.IsValidMsg(twenty, message));
  EXPECT_EQ(message, "untouched");
  EXPECT_FALSE(label.IsValid(twentyFive));
  EXPECT_FALSE(label.IsValidMsg(twentyFive, message));
  EXPECT_EQ(message, "Incorrect length, 20 character(s) allowed");

  SiteImage[75] = 'Z';  // the next field's first byte
  label.WriteImage();
  EXPECT_EQ(Bytes(SiteImage + 55, 20), twenty);
  EXPECT_EQ(SiteImage[75], 'Z');
  label.Reset();
  EXPECT_EQ(label.Text(), "");
  label.ReadImage();
  EXPECT_EQ(label.Text(), twenty);

  SiteImage[55] = 0;
  label.ReadImage();
  EXPECT_EQ(label.Text(), "");
}

namespace {

// An element that counts its destruction and reports a fixed use.
class Counted : public TElemIHM {
 public:
  Counted(bool used, int& destroyed, std::string& log, char tag)
      : used_(used), destroyed_(destroyed), log_(log), tag_(tag) {}
  ~Counted() override { ++destroyed_; }
  bool IsUsed() override { return used_; }
  void Reset() override { log_ += std::string("R") + tag_; }
  void ReadImage() override { log_ += std::string("r") + tag_; }
  void WriteImage() override { log_ += std::string("w") + tag_; }

 private:
  bool used_;
  int& destroyed_;
  std::string& log_;
  char tag_;
};

class TestGest : public TZvoGest {
 public:
  void Add(TElemIHM* item) { items_.push_back(item); }
};

class TestList : public TZvoList {
 public:
  void Add(TElemIHM* item) { items_.push_back(item); }
};

// A zone- or line-like list whose check fails with two messages.
class FailingList : public TLstPoints {
 public:
  explicit FailingList(bool fail) : fail_(fail) {}
  bool Check(platform::StringList* list) override {
    if (!fail_) return true;
    list->Add("  first\r\n");
    list->Add("second");
    return false;
  }

 private:
  bool fail_;
};

}  // namespace

TEST(ElementLists, ForwardCountAndOwnership) {
  int destroyed = 0;
  std::string log;
  const bool uses[] = {true, false, true, false, false};
  {
    TestGest gest;
    for (int i = 0; i < 5; ++i) gest.Add(new Counted(uses[i], destroyed, log, static_cast<char>('0' + i)));
    EXPECT_EQ(gest.Count(), 5);
    EXPECT_EQ(gest.UsedCount(), 2);
    EXPECT_EQ(gest.UnusedCount(), 3);
    EXPECT_EQ(gest.UsedCount() + gest.UnusedCount(), gest.Count());
    EXPECT_EQ(gest.Item(-1), nullptr);
    EXPECT_EQ(gest.Item(5), nullptr);
    EXPECT_NE(gest.Item(4), nullptr);

    gest.Reset();
    gest.ReadImage();
    gest.WriteImage();
    EXPECT_EQ(log, "R0R1R2R3R4r0r1r2r3r4w0w1w2w3w4");

    // A plain list over the same items leaves them alive.
    {
      TestList view;
      for (int i = 0; i < gest.Count(); ++i) view.Add(gest.Item(i));
      EXPECT_EQ(view.UsedCount(), 2);
    }
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 5);
}

TEST_F(SiteImageTest, PointListsReferToPoints) {
  FailingList list(false);
  EXPECT_EQ(list.CountCaption(), "empty");
  {
    TPoints a(0);
    TPoints b(1);
    EXPECT_EQ(list.AddPoint(&a), 0);
    EXPECT_EQ(list.CountCaption(), "1 point");
    EXPECT_EQ(list.AddPoint(&b), 1);
    EXPECT_EQ(list.AddPoint(&a), 0);  // already there
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.CountCaption(), "2 points");
    EXPECT_THROW(list.RawItem(2), platform::Exception);
    EXPECT_THROW(list.RawItem(-1), platform::Exception);
    EXPECT_EQ(list.Item(2), nullptr);
    list.RemovePoint(&a);
    list.RemovePoint(&a);  // absent: nothing happens
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.RawItem(0), static_cast<TElemIHM*>(&b));
    list.ClearPoints();
  }

  EXPECT_EQ(list.CheckText(), "");
  FailingList failing(true);
  EXPECT_EQ(failing.CheckText(), "first\r\n\r\nsecond");
}

TEST(ElementLists, BaseBehaviour) {
  TElemIHM plain;
  EXPECT_EQ(plain.ImageIndex(), -1);
  EXPECT_FALSE(plain.IsUsed());
  platform::StringList list;
  EXPECT_TRUE(plain.Check(&list));
  EXPECT_TRUE(plain.Check(nullptr));
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(plain.Caption(), "");
  EXPECT_EQ(plain.CheckText(), "");
}
