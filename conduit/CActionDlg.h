// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The conduit's HotSync action dialog: the user picks what the next HotSync does for
// this conduit (synchronize, either side overwriting the other, or nothing) and whether
// the choice stays the default. One dialog stands for both of the conduit's dialogs
// (101 for the manager's configuration call, with the user's current settings; 399 for
// the older call, without them). It reads and writes a ConduitConfigRecord.
#pragma once

#include <QDialog>
#include <cstdint>
#include <map>
#include <string>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;

namespace tallimor {

struct ConduitConfigRecord;

class CActionDlg : public QDialog {
  Q_OBJECT

 public:
  // The dialogs this class stands for.
  static constexpr int kDialogCfgConduit = 101;
  static constexpr int kDialogConfigureConduit = 399;

  // Control ids.
  static constexpr int kIdOk = 1;
  static constexpr int kIdCancel = 2;
  static constexpr int kIdHelp = 9;
  static constexpr int kIdActionGroup = 403;
  static constexpr int kIdSynchronize = 404;
  static constexpr int kIdDesktopOverwrites = 405;
  static constexpr int kIdHandheldOverwrites = 406;
  static constexpr int kIdDoNothing = 407;
  static constexpr int kIdSetAsDefault = 411;
  static constexpr int kIdFirstPicture = 1000;  // 1000 to 1003, beside 404 to 407
  static constexpr int kIdDefaultAction = 1004;
  static constexpr int kIdNextAction = 1005;
  static constexpr int kIdCurrentSettings = 1006;

  // The pictures shown beside the four actions, in button order.
  static constexpr int kFirstPictureBitmap = 103;  // 103 to 106

  // How the dialog ended (Run's result).
  static constexpr int kEndedOk = 0;
  static constexpr int kEndedCancel = 1;
  static constexpr int kNotShown = -1;  // no dialog could be created

  // The dialog on `record`, initialised from it. A null record initialises nothing,
  // and OK then writes nothing. The record must outlive the dialog.
  CActionDlg(ConduitConfigRecord* record, int dialogId, QWidget* parent = nullptr);
  ~CActionDlg() override;

  CActionDlg(const CActionDlg&) = delete;
  CActionDlg& operator=(const CActionDlg&) = delete;

  // Shows a dialog on `record` modally, owned by the active window, making a
  // QApplication for the time it is up when the process has none. Returns kEndedOk,
  // kEndedCancel, or kNotShown when no dialog could be shown (no display, or a
  // process whose Qt application object cannot show windows).
  static int Run(ConduitConfigRecord* record, int dialogId);

  // The radio button that a sync type selects: negative 407; 0 or 1 404; 2 406;
  // 3 405; anything else 407.
  static int ButtonForSyncType(std::int32_t syncType);
  // The string that describes a sync type (8005 to 8008): the button's id + 7601.
  static int TextForSyncType(std::int32_t syncType);
  // The help page of the library that holds this dialog (HelpPageFor its directory);
  // empty when the library's path is unknown.
  static QString HelpPagePath();
  // The help page for a library in `directory` (ends with '/'): hotsyncd.html beside it
  // when there is one (the build tree), else where an installation keeps the
  // documentation, reached from the library's directory.
  static std::string HelpPageFor(const std::string& directory);

  // The control with the given id, or nullptr (as the dialog's tests look at it).
  QWidget* control(int id) const;
  int dialogId() const { return dialogId_; }

  // OK (command 1): writes the chosen sync type and preference to the record, ends with 0.
  void accept() override;
  // Cancel (command 2), Escape and closing the window: ends with 1.
  void reject() override;

 public slots:
  // Help (command 9) and the help key: opens the help page.
  void showHelp();

 protected:
  // Draws the pictures again when the colours change.
  void changeEvent(QEvent* event) override;

 private:
  // Fills the controls from the record.
  void initialise();
  // Sets the four pictures in the current colours.
  void loadPictures();
  // The text of a conduit string as Unicode.
  static QString stringText(int id);

  ConduitConfigRecord* record_;     // read on start, written on OK; may be null
  int dialogId_;                    // 101 or 399
  std::map<int, QWidget*> controls_;  // every control by its id
  QButtonGroup* actions_;           // 404 to 407, one checked
  QCheckBox* setAsDefault_;         // 411
  QGroupBox* currentSettings_;      // 1006, shown only with a user context
  QLabel* pictures_[4];             // 1000 to 1003
};

}  // namespace tallimor
