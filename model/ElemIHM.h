// Elements shown in tree views, reports and checks, and the lists that hold them.
#pragma once

#include <string>
#include <vector>

#include "model/ElemDDS.h"
#include "platform/StringList.h"

class TElemIHM : public TElemDDS {
 public:
  virtual std::string Caption() const { return {}; }
  virtual std::string ShortName() const { return {}; }
  virtual std::string LabelText() const { return {}; }
  virtual std::string CheckText() { return {}; }
  // Image in the shared image lists; -1 for none.
  virtual int ImageIndex() { return -1; }
  virtual bool IsUsed() { return false; }
  // Appends each failure message to the list (when given); answers whether the element is consistent.
  virtual bool Check(platform::StringList* /*list*/) { return true; }

 protected:
  // Check into a fresh list; its text trimmed when the check fails, else empty.
  std::string CheckedText();
};

// An ordered list of elements it does not own.
class TZvoList : public TElemIHM {
 public:
  ~TZvoList() override = default;
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;

  // Null when the index is out of range.
  virtual TElemIHM* Item(int index) const;
  virtual int Count() const;
  virtual int UsedCount() const;
  virtual int UnusedCount() const;

 protected:
  std::vector<TElemIHM*> items_;
};

// A list that owns its items.
class TZvoGest : public TZvoList {
 public:
  ~TZvoGest() override;

 protected:
  void FreeItems();
};

class TPoints;

// A list of points owned by the points manager: the points of a zone or a line.
class TLstPoints : public TZvoList {
 public:
  std::string CheckText() override;
  // Raises the list index error out of range.
  virtual TElemIHM* RawItem(int index) const;
  // Null when the index is out of range.
  TPoints* PointAt(int index) const;
  int AddPoint(TPoints* point);
  void RemovePoint(TPoints* point);
  void ClearPoints() { items_.clear(); }
  std::string CountCaption() const;
};
