// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The main view: the child dialog (template 130) that fills the frame's client area and
// shows the current user's memos: the category filter combo, the memo list, the detail
// pane with the current memo's whole text, and the new and edit buttons. The program
// posts it the reload message after a user's file is opened, after a HotSync and after
// a restore; the frame forwards the memo commands and asks it the enabling queries.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "desktop/CAnchorLayout.h"
#include "desktop/ClipboardGuard.h"

class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRubberBand;
class QTreeView;

namespace tallimor {

class CDesktopApp;
class CMemoListModel;
class CProtectedRecordFile;

class CMainDlgView : public QWidget {
  Q_OBJECT

 public:
  CMainDlgView(CDesktopApp& app, QWidget* parent);
  ~CMainDlgView() override;

  CMainDlgView(const CMainDlgView&) = delete;
  CMainDlgView& operator=(const CMainDlgView&) = delete;

  // The size of template 130 in pixels; the frame never lets its client area get smaller.
  QSize sizeHint() const override;

  // Offers a command of menu 128, the accelerators or the pop-ups; true when handled.
  bool OnCommand(int command);

  // Enabling queries of the frame's update handlers.
  bool HasCurrentMemo() const;  // a memo is current in the list
  bool ListHasItems() const;    // the memo list is not empty
  bool CanUndo() const;         // the undo list is not empty

  // Number of reload messages handled so far.
  int ReloadCount() const { return reloadCount_; }

  // Runs the memo edit dialog for a new memo (command 139, button 1015) or for the
  // current memo (command 140, button 1016), then rebuilds the memo list.
  void NewMemo();
  void EditMemo();
  // Runs the category editor (command 161), then rebuilds the combo and the list.
  void EditCategories();

  // The memo commands, each on the selected memos of the list.
  void Undo();       // brings back every memo deleted since the last reload
  void Cut();        // copy, then mark the memos deleted (not undoable)
  void Copy();       // puts the memos on the clipboard
  void Paste();      // adds the clipboard's memos under the filter's category
  void Delete();     // asks, marks the memos deleted, remembers them for undo
  void SelectAll();  // focuses the list and selects every memo
  // Files the selected memos under category `index` (0 to 15).
  void MoveToCategory(int index);

  // Refills the category combo from the store and selects the "LastCategory" entry.
  void RebuildCategoryCombo();
  // Refills the memo list by record order, the filter and the search text, making the
  // first memo current.
  void RebuildMemoList();
  // The find field's text: the list shows only the memos of the filter whose text
  // contains it (compared in the search form, SearchFolding); empty shows them all.
  // Changing it refills the list; the current memo stays current while it is listed,
  // and nothing is current once it is not.
  void SetSearchText(const QString& text);
  const QString& SearchText() const { return searchText_; }
  // Shows the memo at the current list index in the detail pane and the counter.
  void ShowCurrentMemo();
  // The user picked combo entry `position` (the editor entry opens the category editor).
  void OnCategorySelected(int position);

  // The pop-ups of a right click at `listPoint` (list viewport coordinates): menu 142's
  // first or second pop-up, and the category pop-up. Each action carries its command
  // id as data and is enabled by the frame's rules. Owned by the caller.
  std::unique_ptr<QMenu> BuildContextMenu(QPoint listPoint);
  std::unique_ptr<QMenu> BuildCategoryMenu();

  // State for the program's tests.
  int CurrentListIndex() const { return currentListIndex_; }
  std::int32_t CurrentRecordIndex() const { return currentRecordIndex_; }
  std::int32_t RecordIndexAtRow(int row) const;
  std::vector<int> SelectedRows() const;  // top down
  const std::deque<std::int32_t>& UndoList() const { return undo_; }
  QRect SplitterGap() const { return gap_; }
  QComboBox* CategoryCombo() const { return category_; }
  QTreeView* MemoList() const { return list_; }
  QPlainTextEdit* DetailPane() const { return detail_; }
  QPushButton* NewButton() const { return newMemo_; }
  QPushButton* EditButton() const { return editMemo_; }
  QPushButton* DetailsButton() const { return details_; }

 signals:
  // The view rebuilt itself from the store (message 1124 handled).
  void reloaded();
  // Something that the frame's enabling rules look at has changed.
  void commandStateChanged();

 protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  class CMemoListCtrl;

  // Message 1124: forget the undo list, rebuild the category combo and the memo list.
  void OnReload();
  // Message 1125: nothing.
  std::intptr_t OnNewRecord() { return 0; }
  // List notifications: a click, a double click, a right click at a viewport point,
  // and a navigation key that the list has just handled.
  void OnListClick();
  void OnListDoubleClick();
  void OnListRightClick(QPoint listPoint, bool fromMouse);
  void OnListKey();
  // Makes the first selected row current and shows it.
  void FollowSelection();
  // The list's selection changed: whatever moved it (a key, type-ahead, a click, code),
  // the current memo, the detail pane and the counter follow, except while a memo
  // command changes the rows, which keeps the current memo as it was.
  void OnSelectionChanged();
  // Keeps the current memo (if it is still listed) after rows came or went, so that the
  // detail pane, the counter and the edit button speak of a memo that is there.
  void RefreshCurrentMemo();
  // Puts the selected memos on the clipboard, as a copy or as a cut's text.
  void PutOnClipboard(ClipboardGuard::Origin origin);
  // Runs a pop-up at a global point and sends the chosen command through the frame.
  void TrackPopup(QMenu* menu, QPoint globalPoint);
  // Selects the first combo entry whose item data is `value`.
  void SelectComboData(std::int32_t value);
  // Runs the memo edit dialog on `recordIndex` (-1: a new memo).
  void RunEditRecord(std::int32_t recordIndex);
  // Runs the category editor.
  void RunCategoryEditor();
  // The records the list shows: not deleted, of the filter's category, holding the
  // search text; in record order.
  std::vector<std::int32_t> ListedRecords();
  // Record indexes of the selected rows, top down.
  std::vector<std::int32_t> SelectedRecordIndexes() const;
  // The splitter: gap between list and detail pane, offset clamp, tracking rectangle.
  void RecomputeGap();
  int ClampSplit(int offset) const;
  void ShowTracker(const QRect& rect);
  CProtectedRecordFile* Store() const;

  CDesktopApp& app_;                  // the program: store, settings, dialogs count
  QLabel* label_ = nullptr;           // "カテゴリ："
  QComboBox* category_ = nullptr;     // 1005: category filter
  QPushButton* details_ = nullptr;    // 1014: hidden, disabled, does nothing
  QTreeView* list_ = nullptr;         // 1001: memo list
  CMemoListModel* model_ = nullptr;   // the list's rows
  QPushButton* newMemo_ = nullptr;    // 1015
  QPushButton* editMemo_ = nullptr;   // 1016
  QPlainTextEdit* detail_ = nullptr;  // 1006: detail pane
  QRubberBand* tracker_ = nullptr;    // the splitter's tracking rectangle while dragging
  int currentListIndex_ = -1;         // row of the current memo, -1 = none
  std::int32_t currentRecordIndex_ = -1;  // record index of the memo shown, -1 = none
  std::deque<std::int32_t> undo_;     // record indexes deleted since the last reload
  QRect gap_;                         // splitter gap, view coordinates
  QPoint dragStart_;                  // where the splitter drag began
  QRect trackRect_;                   // tracking rectangle during the drag
  bool tracking_ = false;             // a splitter drag is in progress
  CAnchorLayout anchors_;             // keeps the controls on the right and bottom edges
  int reloadCount_ = 0;               // reload messages handled
  int followSuspended_ = 0;           // > 0 while the view itself changes the selection
  QString searchText_;                // the find field's text
  std::string foldedSearch_;          // searchText_ in the search form
};

}  // namespace tallimor
