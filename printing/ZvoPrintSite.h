// The site report: the open site database on paper, section by section, each page under
// a boxed header with the file, the site, the print date and the data signature. It
// reads the site and changes nothing in it.
#pragma once

#include <QString>

#include "model/TimeOfDay.h"
#include "printing/ZvoPrint.h"

class TContexte;
class TFoncBrk;
class TGstPoints;
class TGstRelais;
class TGstZones;
class TSecurity;
class TParamsGen;
class TProjet;
class TZavo;

class TPrintSite : public TZvoPrint {
 public:
  // Needs an open site database.
  TPrintSite();

  void NewPage(const QString& title) override;
  void PrintHeader() override;

  virtual void PrintGroup(int groupIndex, int firstRow);
  virtual void PrintGeneral();
  virtual void PrintPoints();
  virtual void PrintZones();
  virtual void PrintSounderLine();
  virtual void PrintSecurity();
  virtual void PrintGroups();
  virtual void PrintSummary();

  // Computed once per document, so every page of a run shows the same one.
  QString SignatureText();
  // "hh'nn\"": the duration pickers keep minutes in the hour field, seconds in the minute one.
  static QString DurationText(TTimeHM t);
  // By the sounder-line mode: the section's title on paper, and in the section list.
  QString SounderSectionTitle() const;
  QString SounderSectionCaption() const;

  TZavo& Root() const { return *root_; }

 private:
  void PrintBlockTitle(const QString& title, int row);

  TContexte* context_;
  TProjet* database_;
  TZavo* root_;
  TParamsGen* params_;
  QString signature_;
};

// The cells of the report's tables: the number of each element at an index when it is in
// use and meets the class's test, else blank.

// Zones that trigger the line of sounders.
class TGivZonActLDS : public TGetTabVal {
 public:
  explicit TGivZonActLDS(const TGstZones& zones);
  QString GetText(int index) const override;

 private:
  const TGstZones& zones_;
};

// Zones that trigger the group.
class TGivZonActGrp : public TGetTabVal {
 public:
  TGivZonActGrp(const TGstZones& zones, int group);
  QString GetText(int index) const override;

 private:
  const TGstZones& zones_;
};

// Points the group activates.
class TGivGrpActDet : public TGetTabVal {
 public:
  TGivGrpActDet(const TGstPoints& points, int group);
  QString GetText(int index) const override;

 private:
  const TGstPoints& points_;
};

// On-board relays the group activates.
class TGivGrpActCmR : public TGetTabVal {
 public:
  TGivGrpActCmR(const TGstRelais& relays, int group);
  QString GetText(int index) const override;

 private:
  const TGstRelais& relays_;
};

// Card relays the group activates.
class TGivGrpActRxR : public TGetTabVal {
 public:
  TGivGrpActRxR(const TGstRelais& relays, int group);
  QString GetText(int index) const override;

 private:
  const TGstRelais& relays_;
};

// Breaking functions the group activates.
class TGivGrpActBrk : public TGetTabVal {
 public:
  TGivGrpActBrk(const TSecurity& security, int group);
  QString GetText(int index) const override;

 private:
  const TSecurity& security_;
};

// Points with one of their evacuation selections set: 1 the evacuation function
// (TGivPtsActUga), 2 and 3 the breaking functions (TGivPtsActBr1, TGivPtsActBr2).
class TGivPtsActSel : public TGetTabVal {
 public:
  TGivPtsActSel(const TGstPoints& points, int selection);
  QString GetText(int index) const override;

 private:
  const TGstPoints& points_;
  int selection_;
};

class TGivPtsActUga : public TGivPtsActSel {
 public:
  explicit TGivPtsActUga(const TGstPoints& points) : TGivPtsActSel(points, 1) {}
};

class TGivPtsActBr1 : public TGivPtsActSel {
 public:
  explicit TGivPtsActBr1(const TGstPoints& points) : TGivPtsActSel(points, 2) {}
};

class TGivPtsActBr2 : public TGivPtsActSel {
 public:
  explicit TGivPtsActBr2(const TGstPoints& points) : TGivPtsActSel(points, 3) {}
};
