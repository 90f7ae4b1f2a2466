// A multi-line field over a text the site stores in a fixed number of bytes, lines broken
// with CR LF (a remark). The field itself breaks lines with LF and knows no limit, so the
// text is counted and converted here: CR LF counts two, as in the stored text.
#pragma once

#include <QPlainTextEdit>
#include <string>

class TSiteMemo : public QPlainTextEdit {
 public:
  TSiteMemo(int maxLength, QWidget* parent = nullptr);

  // Shows the stored ANSI text.
  void SetSiteText(const std::string& ansi);
  // The text to store: the one shown by SetSiteText, byte for byte, while the user has
  // not changed it; otherwise the field's text with CR LF line ends, cut to the limit.
  std::string SiteText() const;

  int MaxLength() const { return maxLength_; }
  // The length as stored.
  int Length() const { return StoredLength(toPlainText()); }
  static int StoredLength(const QString& text);

 protected:
  // Typing, pasting, dropping and input-method text stop at the limit.
  void keyPressEvent(QKeyEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  // The room left for an insertion that replaces the selection.
  int Room() const;
  // The longest start of text that fits in room.
  static QString Fitting(const QString& text, int room);

  int maxLength_;
  std::string loaded_;
  QString shown_;
};
