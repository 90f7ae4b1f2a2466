// The port selection dialog: lists the serial ports that can be opened (SlSelCom.h) and
// returns the one chosen. The port component shows it when it must open with no port set.
#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QPushButton;

class TComSelectForm : public QDialog {
  Q_OBJECT

 public:
  // Item data of PortsComboBox: true for a port another opener holds. The item text stays
  // "COMn" (SelectedComNum reads the number from it); the item also gets a warning icon.
  static constexpr int kPortInUseRole = Qt::UserRole + 1;

  explicit TComSelectForm(QWidget* parent = nullptr);

  // Fills the list with ports 1 to 50 that are available, selects the first, and enables
  // OK only when there is something to choose. Run by the constructor.
  void FormCreate();

  // The selected item's text, or an empty text when the list is empty.
  QString SelectedCom() const;
  // The number in the selected item's text ("COM12" gives 12); 0 when the list is empty.
  int SelectedComNum() const;

  QComboBox* PortsComboBox() const { return portsComboBox_; }
  QPushButton* OkBtn() const { return okBtn_; }
  QPushButton* AbortBtn() const { return abortBtn_; }

 private:
  QComboBox* portsComboBox_;
  QPushButton* okBtn_;
  QPushButton* abortBtn_;
};

// Makes the port component (SioComPort.h) ask with this dialog when it must open with no
// port number set.
void InstallPortSelectDialog();
