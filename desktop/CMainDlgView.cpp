// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The main view's controls, list notifications, memo commands and splitter. Controls
// stand where template 130 puts them, converted from dialog units; the anchor layout
// keeps them on the right and bottom edges as the frame is resized. The memo list holds
// record indexes only (CMemoListModel), so rebuilding it for a large file is cheap.
#include "desktop/CMainDlgView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRubberBand>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>

#include "desktop/CDesktopApp.h"
#include "desktop/CEditCategoryDlg.h"
#include "desktop/CEditRecordDlg.h"
#include "desktop/CMainFrame.h"
#include "desktop/CMemoListModel.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/CWindowMessageEvent.h"
#include "desktop/CategoryLists.h"
#include "desktop/Cp932Input.h"
#include "desktop/DialogUnits.h"
#include "desktop/MemoCommands.h"
#include "protect/StoredMemo.h"
#include "desktop/TextConversion.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/resources/Menus.h"
#include "desktop/resources/StringTable.h"
#include "text/SearchFolding.h"

namespace tallimor {
namespace {

// Neither pane of the splitter becomes narrower than this through a drag.
constexpr int kMinPaneWidth = 100;
// Initial widths of the list's columns, in pixels.
constexpr int kContentColumnWidth = 300;
constexpr int kCategoryColumnWidth = 150;

// Keeps the current memo where it is while the view changes the list's rows or
// selection itself.
class FollowPause {
 public:
  explicit FollowPause(int& depth) : depth_(depth) { ++depth_; }
  ~FollowPause() { --depth_; }
  FollowPause(const FollowPause&) = delete;
  FollowPause& operator=(const FollowPause&) = delete;

 private:
  int& depth_;
};

QCursor SplitterCursor() {
  return QCursor(QPixmap(QStringLiteral(":/tallimor/cursor104.png")), 8, 8);
}

}  // namespace

// The memo list control: a report-style list that tells the view about clicks, double
// clicks, right clicks and navigation keys after it has moved its own selection.
class CMainDlgView::CMemoListCtrl : public QTreeView {
 public:
  explicit CMemoListCtrl(CMainDlgView& view) : QTreeView(&view), view_(view) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) view_.OnListClick();
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) view_.OnListDoubleClick();
  }
  void keyPressEvent(QKeyEvent* event) override {
    // The list's own copy puts a row's text on the clipboard; memos reach the clipboard
    // only through the Copy command, and only when it is enabled.
    if (event->matches(QKeySequence::Copy)) {
      event->accept();
      return;
    }
    QTreeView::keyPressEvent(event);
    switch (event->key()) {
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
      case Qt::Key_Home:
      case Qt::Key_End:
        view_.OnListKey();
        break;
      default:
        break;
    }
  }
  // Making a cell visible scrolls only up and down: a click in the category column
  // must not scroll the list sideways and hide the start of the memos' text.
  void scrollTo(const QModelIndex& index, ScrollHint hint) override {
    const int sideways = horizontalScrollBar()->value();
    QTreeView::scrollTo(index, hint);
    horizontalScrollBar()->setValue(sideways);
  }
  void contextMenuEvent(QContextMenuEvent* event) override {
    event->accept();
    view_.OnListRightClick(event->pos(), event->reason() == QContextMenuEvent::Mouse);
  }

 private:
  CMainDlgView& view_;
};

CMainDlgView::CMainDlgView(CDesktopApp& app, QWidget* parent) : QWidget(parent), app_(app) {
  setObjectName(QStringLiteral("MainDlgView"));
  setFont(DialogFont());
  resize(sizeHint());
  DialogUnits du(font());
  QFontMetrics metrics(font());

  // The label keeps the template's margin on the left; a font that needs more room for
  // it moves the combo to the right instead.
  label_ = new QLabel(QStringLiteral("カテゴリ："), this);
  QRect labelRect = du.Rect(7, 9, 28, 8);
  labelRect.setWidth(std::max(labelRect.width(), metrics.horizontalAdvance(label_->text()) + 2));
  labelRect.setHeight(std::max(labelRect.height(), metrics.height()));
  label_->setGeometry(labelRect);
  category_ = new QComboBox(this);
  category_->setObjectName(QStringLiteral("CategoryCombo"));
  category_->setGeometry(std::max(du.X(37), labelRect.right() + 1 + du.X(2)), du.Y(7), du.X(88),
                         category_->sizeHint().height());
  category_->setMaxVisibleItems(12);
  label_->setBuddy(category_);
  connect(category_, &QComboBox::activated, this, &CMainDlgView::OnCategorySelected);

  details_ = new QPushButton(QStringLiteral("詳細の非表示(&A)"), this);
  details_->setObjectName(QStringLiteral("DetailsButton"));
  details_->setGeometry(du.Rect(219, 7, 56, 14));
  details_->setEnabled(false);
  details_->hide();

  auto* list = new CMemoListCtrl(*this);
  list_ = list;
  list_->setObjectName(QStringLiteral("MemoList"));
  list_->setGeometry(du.Rect(7, 27, 141, 150));
  model_ = new CMemoListModel(app_, this);
  list_->setModel(model_);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->header()->setSectionsMovable(true);
  list_->header()->setStretchLastSection(false);
  list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->setColumnWidth(CMemoListModel::kColumnContent, kContentColumnWidth);
  list_->setColumnWidth(CMemoListModel::kColumnCategory, kCategoryColumnWidth);
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &CMainDlgView::OnSelectionChanged);

  newMemo_ = new QPushButton(QStringLiteral("新規メモ(&N)"), this);
  newMemo_->setObjectName(QStringLiteral("NewMemoButton"));
  newMemo_->setGeometry(du.Rect(7, 184, 55, 14));
  connect(newMemo_, &QPushButton::clicked, this, &CMainDlgView::NewMemo);
  editMemo_ = new QPushButton(QStringLiteral("メモの編集(&E)"), this);
  editMemo_->setObjectName(QStringLiteral("EditMemoButton"));
  editMemo_->setGeometry(du.Rect(68, 184, 55, 14));
  editMemo_->setEnabled(false);
  connect(editMemo_, &QPushButton::clicked, this, &CMainDlgView::EditMemo);

  detail_ = new QPlainTextEdit(this);
  detail_->setObjectName(QStringLiteral("DetailPane"));
  detail_->setGeometry(du.Rect(152, 27, 123, 150));
  detail_->setReadOnly(true);
  detail_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  detail_->setLineWrapMode(QPlainTextEdit::WidgetWidth);

  tracker_ = new QRubberBand(QRubberBand::Line, this);

  // Each control is anchored only if the one before it was: a failure leaves the rest
  // at their template positions.
  using A = CAnchorLayout;
  (void)(anchors_.Register(list_, A::kAnchorRight | A::kAnchorBottom) &&
         anchors_.Register(newMemo_, A::kAnchorBottom | A::kKeepWidth | A::kKeepHeight) &&
         anchors_.Register(editMemo_, A::kAnchorBottom | A::kKeepWidth | A::kKeepHeight) &&
         anchors_.Register(details_, A::kAnchorRight | A::kKeepWidth | A::kKeepHeight) &&
         anchors_.Register(detail_, A::kAnchorRight | A::kAnchorBottom | A::kKeepWidth));
  setMouseTracking(true);
  RecomputeGap();
}

CMainDlgView::~CMainDlgView() = default;

QSize CMainDlgView::sizeHint() const { return DialogUnits(font()).Size(282, 205); }

CProtectedRecordFile* CMainDlgView::Store() const { return app_.GetStore(); }

bool CMainDlgView::OnCommand(int command) {
  if (command >= kCmdMoveToCategory0 && command <= kCmdMoveToCategory15) {
    MoveToCategory(command - kCmdMoveToCategory0);
    return true;
  }
  switch (command) {
    case kCmdUndo: Undo(); break;
    case kCmdCut: Cut(); break;
    case kCmdCopy: Copy(); break;
    case kCmdPaste: Paste(); break;
    case kCmdDelete: Delete(); break;
    case kCmdSelectAll: SelectAll(); break;
    case kCmdNewMemo: NewMemo(); break;
    case kCmdEditMemo: EditMemo(); break;
    case kCmdCategories: EditCategories(); break;
    default: return false;
  }
  emit commandStateChanged();
  return true;
}

bool CMainDlgView::HasCurrentMemo() const { return currentListIndex_ != -1; }
bool CMainDlgView::ListHasItems() const { return model_->Count() != 0; }
bool CMainDlgView::CanUndo() const { return !undo_.empty(); }

std::int32_t CMainDlgView::RecordIndexAtRow(int row) const { return model_->RecordIndexAt(row); }

bool CMainDlgView::event(QEvent* event) {
  if (event->type() == CWindowMessageEvent::Type()) {
    auto* message = static_cast<CWindowMessageEvent*>(event);
    if (message->message() == kWmUserReload) OnReload();
    else if (message->message() == kWmUserNewRecord) OnNewRecord();
    return true;
  }
  return QWidget::event(event);
}

void CMainDlgView::OnReload() {
  ++reloadCount_;
  undo_.clear();
  // The memos have just been deciphered (or are gone): their search form follows.
  if (CProtectedRecordFile* store = Store()) model_->Folded().FoldAll(*store);
  else model_->Folded().Forget();
  RebuildCategoryCombo();
  RebuildMemoList();
  emit reloaded();
  emit commandStateChanged();
}

// --- Category combo and memo list ----------------------------------------------------

void CMainDlgView::SelectComboData(std::int32_t value) {
  category_->setCurrentIndex(category_->findData(value));
}

void CMainDlgView::RebuildCategoryCombo() {
  FillCategoryCombo(category_, Store(), true);
  const std::int32_t last = app_.GetLastCategory();
  int at = last == kCategoryEditEntry ? -1 : category_->findData(last);
  if (at < 0) {
    app_.SetLastCategory(kCategoryUnfiled);
    at = category_->findData(kCategoryUnfiled);
  }
  category_->setCurrentIndex(at);
}

std::vector<std::int32_t> CMainDlgView::ListedRecords() {
  std::vector<std::int32_t> rows;
  CProtectedRecordFile* store = Store();
  FoldedMemos& folded = model_->Folded();
  if (store == nullptr) {
    folded.Forget();
    return rows;
  }
  // Copies made for another store (one replaced without a reload yet) are made anew.
  if (!foldedSearch_.empty()) folded.EnsureFor(*store);
  const std::int32_t filter = app_.GetLastCategory();
  rows.reserve(static_cast<std::size_t>(std::max(store->RecordCount(), 0)));
  for (CPRecord* record = store->FirstRecord(); record != nullptr; record = store->NextRecord()) {
    if (record->IsDeleted()) continue;
    if (filter != kCategoryAll && record->Category() != filter) continue;
    if (!folded.Contains(*store, record->Index(), foldedSearch_)) continue;
    rows.push_back(record->Index());
  }
  return rows;
}

void CMainDlgView::SetSearchText(const QString& text) {
  if (text == searchText_) return;
  searchText_ = text;
  foldedSearch_ = SearchFolding::FoldUnicode(text.toStdU32String());
  std::vector<std::int32_t> rows = ListedRecords();
  FollowPause pause(followSuspended_);
  model_->Reset(std::move(rows));
  // As when a memo is moved out of the filtered category: the current memo stays
  // current while it is listed, and nothing is current once it is not.
  currentListIndex_ = currentRecordIndex_ == -1 ? -1 : model_->RowOf(currentRecordIndex_);
  if (currentListIndex_ != -1) {
    const QModelIndex current = model_->index(currentListIndex_, 0);
    list_->selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    list_->scrollTo(current);
  }
  ShowCurrentMemo();
}

void CMainDlgView::RebuildMemoList() {
  std::vector<std::int32_t> rows = ListedRecords();
  FollowPause pause(followSuspended_);
  model_->Reset(std::move(rows));
  if (model_->Count() > 0) {
    currentListIndex_ = 0;
    ShowCurrentMemo();
    list_->setFocus();
    list_->selectionModel()->setCurrentIndex(
        model_->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  } else {
    currentListIndex_ = -1;
    ShowCurrentMemo();
  }
  emit commandStateChanged();
}

void CMainDlgView::ShowCurrentMemo() {
  QString counter;
  if (currentListIndex_ == -1) {
    detail_->clear();
    currentRecordIndex_ = -1;
    editMemo_->setEnabled(false);
  } else if (currentListIndex_ < model_->Count()) {
    currentRecordIndex_ = model_->RecordIndexAt(currentListIndex_);
    CProtectedRecordFile* store = Store();
    const std::string_view memo = store == nullptr ? std::string_view() : MemoTextAt(*store, currentRecordIndex_);
    detail_->setPlainText(FromCp932(LfToCrLf(memo)));
    editMemo_->setEnabled(true);
    counter = QStringLiteral("%1 / %2").arg(currentListIndex_ + 1).arg(model_->Count());
  }
  if (CMainFrame* frame = app_.MainFrame()) frame->SetPaneText(kPanePosition, counter);
  emit commandStateChanged();
}

void CMainDlgView::RefreshCurrentMemo() {
  if (currentRecordIndex_ == -1) return;
  currentListIndex_ = model_->RowOf(currentRecordIndex_);
  ShowCurrentMemo();
}

void CMainDlgView::OnCategorySelected(int position) {
  if (position < 0) return;
  std::int32_t value = CategoryData(category_, position);
  if (value == kCategoryEditEntry) {
    RunCategoryEditor();
    RebuildCategoryCombo();
    value = app_.GetLastCategory();
    SelectComboData(value);
  }
  app_.SetLastCategory(value);
  RebuildMemoList();
}

// --- List notifications -------------------------------------------------------------

std::vector<int> CMainDlgView::SelectedRows() const {
  std::vector<int> rows;
  for (const QItemSelectionRange& range : list_->selectionModel()->selection()) {
    for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

std::vector<std::int32_t> CMainDlgView::SelectedRecordIndexes() const {
  std::vector<std::int32_t> indexes;
  for (int row : SelectedRows()) indexes.push_back(model_->RecordIndexAt(row));
  return indexes;
}

void CMainDlgView::FollowSelection() {
  int first = -1;
  for (const QItemSelectionRange& range : list_->selectionModel()->selection())
    if (first == -1 || range.top() < first) first = range.top();
  currentListIndex_ = first;
  ShowCurrentMemo();
}

void CMainDlgView::OnSelectionChanged() {
  if (followSuspended_ == 0 && !list_->selectionModel()->selection().isEmpty()) FollowSelection();
  emit commandStateChanged();
}

void CMainDlgView::OnListClick() { FollowSelection(); }

void CMainDlgView::OnListDoubleClick() {
  FollowSelection();
  if (currentListIndex_ == -1) NewMemo();
  else EditMemo();
}

void CMainDlgView::OnListKey() {
  // The list has already moved its selection: the memo shown is the one now selected.
  // A key that leaves nothing selected (Ctrl with an arrow) changes nothing.
  if (list_->selectionModel()->selection().isEmpty()) return;
  FollowSelection();
}

void CMainDlgView::OnListRightClick(QPoint listPoint, bool fromMouse) {
  if (!fromMouse) {
    // The menu key: the menu of the focused memo, beside it.
    QModelIndex focused = list_->currentIndex();
    if (focused.isValid()) listPoint = list_->visualRect(focused).center();
    std::unique_ptr<QMenu> menu = BuildContextMenu(listPoint);
    TrackPopup(menu.get(), list_->viewport()->mapToGlobal(listPoint));
    return;
  }
  FollowSelection();
  const QModelIndex hit = list_->indexAt(listPoint);
  // A right click on a memo's category offers the categories alone; anywhere else the
  // list's menu, whose category sub-menu offers the same.
  std::unique_ptr<QMenu> menu = hit.isValid() && hit.column() == CMemoListModel::kColumnCategory
                                    ? BuildCategoryMenu()
                                    : BuildContextMenu(listPoint);
  TrackPopup(menu.get(), list_->viewport()->mapToGlobal(listPoint));
}

std::unique_ptr<QMenu> CMainDlgView::BuildCategoryMenu() {
  auto menu = std::make_unique<QMenu>(this);
  for (int i = 0; i < category_->count(); ++i) {
    const std::int32_t value = CategoryData(category_, i);
    if (value == kCategoryAll || value == kCategoryEditEntry) continue;
    QAction* action = menu->addAction(category_->itemText(i));
    action->setData(kCmdMoveToCategory0 + value);
  }
  return menu;
}

std::unique_ptr<QMenu> CMainDlgView::BuildContextMenu(QPoint listPoint) {
  auto menu = std::make_unique<QMenu>(this);
  CMainFrame* frame = app_.MainFrame();
  if (frame != nullptr) frame->UpdateCommandUI();
  auto add = [frame](QMenu* to, const MenuEntry& entry) {
    if (entry.command == 0) {
      to->addSeparator();
      return;
    }
    QAction* action = to->addAction(QString::fromUtf8(entry.text));
    action->setData(entry.command);
    const QAction* main = frame == nullptr ? nullptr : frame->Action(entry.command);
    action->setEnabled(main == nullptr || main->isEnabled());
  };
  if (!list_->indexAt(listPoint).isValid()) {
    for (const MenuEntry& entry : MemoListPopup()) add(menu.get(), entry);
    return menu;
  }
  for (const MenuEntry& entry : MemoItemPopup()) add(menu.get(), entry);
  QMenu* categories = BuildCategoryMenu().release();
  categories->setParent(menu.get(), categories->windowFlags());
  categories->setTitle(QString::fromUtf8(LoadString(kIdsChangeCategory)));
  menu->addMenu(categories);
  return menu;
}

void CMainDlgView::TrackPopup(QMenu* menu, QPoint globalPoint) {
  // The entry chosen, also when it is chosen from the category sub-menu.
  QAction* chosen = nullptr;
  connect(menu, &QMenu::triggered, menu, [&chosen](QAction* action) { chosen = action; });
  if (QAction* result = menu->exec(globalPoint)) chosen = result;
  if (chosen == nullptr || !chosen->data().isValid()) return;
  // Through the frame, like a command of the menu bar, so its enabling rules apply.
  const int command = chosen->data().toInt();
  if (CMainFrame* frame = app_.MainFrame()) frame->OnCommand(command);
  else OnCommand(command);
}

// --- Dialogs ---------------------------------------------------------------------------

void CMainDlgView::RunEditRecord(std::int32_t recordIndex) {
  std::int32_t saved = -1;
  {
    CEditRecordDlg dialog(app_, window());
    dialog.SetRecordIndex(recordIndex);
    dialog.exec();
    saved = dialog.SavedRecordIndex();
  }
  if (CProtectedRecordFile* store = Store(); store != nullptr && saved != -1)
    model_->Folded().Refold(*store, saved);
  RebuildMemoList();
}

void CMainDlgView::RunCategoryEditor() {
  CEditCategoryDlg dialog(app_, window());
  dialog.exec();
}

void CMainDlgView::NewMemo() { RunEditRecord(-1); }

void CMainDlgView::EditMemo() { RunEditRecord(currentRecordIndex_); }

void CMainDlgView::EditCategories() {
  RunCategoryEditor();
  RebuildCategoryCombo();
  SelectComboData(app_.GetLastCategory());
  RebuildMemoList();
}

// --- Memo commands ---------------------------------------------------------------------

void CMainDlgView::Undo() {
  CProtectedRecordFile* store = Store();
  bool any = false;
  while (!undo_.empty()) {
    if (store != nullptr) store->MarkDeleted(undo_.front(), false);
    undo_.pop_front();
    any = true;
  }
  if (any) RebuildMemoList();
}

void CMainDlgView::Copy() { PutOnClipboard(ClipboardGuard::Origin::kCopy); }

void CMainDlgView::PutOnClipboard(ClipboardGuard::Origin origin) {
  CProtectedRecordFile* store = Store();
  const std::vector<std::int32_t> indexes = SelectedRecordIndexes();
  // Nothing selected: the clipboard keeps what it holds.
  if (store == nullptr || indexes.empty()) return;
  app_.Clipboard().Put(FromCp932(MemoClipboardText(*store, indexes)), origin);
}

void CMainDlgView::Cut() {
  CProtectedRecordFile* store = Store();
  if (store == nullptr) return;
  FollowPause pause(followSuspended_);
  // The clipboard is the only way back for the memos a cut marks deleted: their text
  // is never cleared from it by the program.
  PutOnClipboard(ClipboardGuard::Origin::kCut);
  const std::vector<int> rows = SelectedRows();
  for (int row : rows) store->MarkDeleted(model_->RecordIndexAt(row), true);
  model_->RemoveRows(rows);
  RefreshCurrentMemo();
}

void CMainDlgView::Delete() {
  CProtectedRecordFile* store = Store();
  if (store == nullptr || currentRecordIndex_ == -1) return;
  if (app_.ShowMessage(kIdsDeleteMemoConfirm, kIdsDeleteMemoCaption, kMbOkCancel | kMbIconQuestion) !=
      kIdOk)
    return;
  FollowPause pause(followSuspended_);
  const std::vector<int> rows = SelectedRows();
  for (int row : rows) {
    const std::int32_t index = model_->RecordIndexAt(row);
    store->MarkDeleted(index, true);
    undo_.push_back(index);
  }
  model_->RemoveRows(rows);
  RefreshCurrentMemo();
}

void CMainDlgView::Paste() {
  CProtectedRecordFile* store = Store();
  if (store == nullptr) return;
  FollowPause pause(followSuspended_);
  const QString text = QGuiApplication::clipboard()->text();
  if (text.isEmpty()) return;
  // Converted whole before anything is added: a text with a character that cannot be
  // stored adds no memo at all.
  StoreText converted = ConvertForStore(text);
  if (!converted.ok) {
    app_.ShowMessage(kIdsPasteNotCp932, kIdsAppTitle, kMbOk | kMbIconExclamation,
                     DescribeOffending(converted.offending));
    return;
  }
  std::int32_t target = app_.GetLastCategory();
  if (target == kCategoryAll) target = kCategoryUnfiled;
  std::vector<std::int32_t> added;
  PasteMemos(*store, converted.bytes, target, &added);
  // The new memos join the list only where they hold the search text, like every row.
  FoldedMemos& folded = model_->Folded();
  if (!foldedSearch_.empty()) folded.EnsureFor(*store);
  std::vector<std::int32_t> shown;
  for (std::int32_t index : added) {
    folded.Refold(*store, index);
    if (folded.Contains(*store, index, foldedSearch_)) shown.push_back(index);
  }
  model_->Append(shown);
  RefreshCurrentMemo();
}

void CMainDlgView::SelectAll() {
  FollowPause pause(followSuspended_);
  list_->setFocus();
  list_->selectAll();
}

void CMainDlgView::MoveToCategory(int index) {
  CProtectedRecordFile* store = Store();
  if (store == nullptr || index < 0 || index >= kCategoryCount) return;
  FollowPause pause(followSuspended_);
  const std::int32_t filter = app_.GetLastCategory();
  std::vector<int> leaving;
  for (int row : SelectedRows()) {
    const std::int32_t recordIndex = model_->RecordIndexAt(row);
    CPRecord* record = store->RecordAt(recordIndex);
    if (record == nullptr) continue;
    record->SetCategory(index);
    store->MarkModified(recordIndex, true);
    if (filter == kCategoryAll || filter == index) model_->CategoryChanged(row);
    else leaving.push_back(row);
  }
  model_->RemoveRows(leaving);
  RefreshCurrentMemo();
}

// --- Layout and splitter -----------------------------------------------------------------

void CMainDlgView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  anchors_.Apply(this);
  if (list_ != nullptr) RecomputeGap();
}

void CMainDlgView::RecomputeGap() {
  const QRect list = list_->geometry();
  const int left = list.x() + list.width();
  gap_ = QRect(left, list.y(), detail_->geometry().x() - left, list.height());
}

int CMainDlgView::ClampSplit(int offset) const {
  if (offset < 0 && list_->width() - kMinPaneWidth < -offset) offset = kMinPaneWidth - list_->width();
  if (offset > 0 && detail_->width() - kMinPaneWidth < offset) offset = detail_->width() - kMinPaneWidth;
  return offset;
}

void CMainDlgView::ShowTracker(const QRect& rect) {
  tracker_->setGeometry(rect);
  tracker_->show();
  tracker_->raise();
}

void CMainDlgView::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && gap_.contains(at)) {
    tracking_ = true;
    dragStart_ = at;
    trackRect_ = gap_;
    grabMouse(SplitterCursor());
    ShowTracker(trackRect_);
  }
  QWidget::mousePressEvent(event);
}

void CMainDlgView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (tracking_ || gap_.contains(at)) setCursor(SplitterCursor());
  else unsetCursor();
  if (tracking_) {
    const int offset = ClampSplit(at.x() - dragStart_.x());
    if (offset != trackRect_.left() - gap_.left()) {
      trackRect_ = gap_.translated(offset, 0);
      ShowTracker(trackRect_);
    }
  }
  QWidget::mouseMoveEvent(event);
}

void CMainDlgView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && tracking_) {
    tracker_->hide();
    tracking_ = false;
    releaseMouse();
    const int offset = ClampSplit(event->position().toPoint().x() - dragStart_.x());
    QRect list = list_->geometry();
    QRect detail = detail_->geometry();
    list.setRight(list.right() + offset);
    detail.setLeft(detail.left() + offset);
    setUpdatesEnabled(false);
    list_->setGeometry(list);
    detail_->setGeometry(detail);
    setUpdatesEnabled(true);
    // The margins that the anchors keep follow the new split.
    using A = CAnchorLayout;
    if (anchors_.Register(list_, A::kAnchorRight | A::kAnchorBottom))
      anchors_.Register(detail_, A::kAnchorRight | A::kAnchorBottom | A::kKeepWidth);
    RecomputeGap();
  }
  QWidget::mouseReleaseEvent(event);
}

}  // namespace tallimor
