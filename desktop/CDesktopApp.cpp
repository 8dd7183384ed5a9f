// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The application object. Start-up takes the single-instance lock in the user's private
// runtime directory, creates the main frame (which opens the message socket) and runs
// the user dialog; opening a user takes that user's desktop.lock beside the data, which
// keeps a second program off the same memos whatever its runtime directory. The current
// store is written back before it is given up; when another program rewrote or holds
// the file the user may have it read anew with the edits on top, and when a save fails
// the user decides, so unsaved memos are never dropped silently.
#include "desktop/CDesktopApp.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QWidget>
#include <cerrno>

#include "desktop/CAboutDlg.h"
#include "desktop/ClipboardGuard.h"
#include "desktop/CPreferencesDlg.h"
#include "desktop/SessionLockWatcher.h"
#include "desktop/CMainDlgView.h"
#include "desktop/CategoryLists.h"
#include "desktop/MemoCommands.h"
#include "desktop/CMainFrame.h"
#include "desktop/CMemoExchange.h"
#include "desktop/CPasswordPromptDlg.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/CUserDlg.h"
#include "protect/KeptMemoFile.h"
#include "protect/KeptMemoMerge.h"
#include "protect/PasswordInfo.h"
#include "desktop/TextConversion.h"
#include "protect/UserStore.h"
#include "desktop/CWindowMessageEvent.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/resources/StringTable.h"
#include "hotsync/users/UserData.h"
#include "notifier/HotSyncNotification.h"
#include "notifier/RuntimeDirectory.h"
#include "notifier/WindowMessageClient.h"
#include "notifier/WindowMessageResult.h"
#include "store/FileSystem.h"

// The program's images and icons live in a static library, whose resources are not
// registered by themselves.
static void InitResources() { Q_INIT_RESOURCE(tallimor); }

#ifndef TALLIMOR_VERSION
#define TALLIMOR_VERSION ""
#endif

namespace tallimor {
namespace {

constexpr char kSettingsSection[] = "Settings";
constexpr char kUserIdKey[] = "UserID";
constexpr char kUserValueSection[] = "Tallimore-Vexa";
constexpr char kLastCategoryKey[] = "LastCategory";
constexpr char kDataDirectory[] = "/Tallimor-Vexa";
constexpr char kDataFile[] = "/record.dat";

// How long a second start waits for the first instance's answer.
constexpr int kInstanceQueryTimeoutMs = 2000;

QString Text(int id) { return QString::fromUtf8(LoadString(id)); }

}  // namespace

CDesktopApp::CDesktopApp(DesktopOptions options)
    : options_(std::move(options)),
      profile_(options_.profilePath),
      users_(std::make_unique<UserData>(options_.hotSyncRoot)),
      preferences_(Preferences::Load(profile_)),
      lockWatcher_(std::make_unique<SessionLockWatcher>()),
      clipboard_(std::make_unique<ClipboardGuard>()) {
  InitResources();
  connect(lockWatcher_.get(), &SessionLockWatcher::lockRequested, this, &CDesktopApp::RequestLock);
  ApplyPreferences(preferences_);
}

Result CDesktopApp::ApplyPreferences(const Preferences& preferences) {
  preferences_ = preferences.Bounded();
  clipboard_->SetClearAfter(preferences_.clearClipboard ? preferences_.clearSeconds * 1000 : 0);
  lockWatcher_->SetLockOnScreenLock(preferences_.lockOnScreenLock);
  lockWatcher_->SetIdleTimeout(preferences_.idleLock ? preferences_.idleMinutes * 60 * 1000 : 0);
  return preferences_ == Preferences::Load(profile_) ? kOk : preferences_.Save(profile_);
}

CDesktopApp::~CDesktopApp() { ExitInstance(); }

bool CDesktopApp::InitInstance() {
  Result started = Start();
  startResult_ = started;
  if (started == kWmAlreadyRunning) return false;
  if (started != kOk) {
    ShowMessage(kIdsNoNotifySocket, kIdsAppTitle, kMbOk | kMbIconHand,
                QString::fromUtf8(WindowMessageResultMeaning(started)));
    return false;
  }
  return RunUserDialog();
}

Result CDesktopApp::Start() {
  Result locked = AcquireInstanceLock();
  if (locked == kWmAlreadyRunning) {
    ActivateRunningInstance();
    return locked;
  }
  if (locked != kOk) return locked;
  mainFrame_ = std::make_unique<CMainFrame>(*this);
  Result created = mainFrame_->Create();
  if (created != kOk) {
    mainFrame_.reset();
    return created;
  }
  if (mainFrame_->ShowsMaximizedAtStart()) mainFrame_->showMaximized();
  else mainFrame_->show();
  openDialogs_ = 0;
  currentUserId_ = GetProfileUserId();
  connect(MainView(), &CMainDlgView::reloaded, this, [this] {
    if (!reviewDue_) return;
    reviewDue_ = false;
    QTimer::singleShot(0, this, [this] { OfferConflictReview(); });
  });
  return kOk;
}

void CDesktopApp::ExitInstance() {
  loggedIn_ = false;
  // A copy the user asked to have cleared does not outlive the program; a cut's text
  // stays, the only way back to the memos it took.
  if (preferences_.clearClipboard && clipboard_) clipboard_->ClearCopy();
  mainFrame_.reset();
  store_.reset();  // writes the store back if anything changed
  userLock_.Release();  // only once nothing of the user's is written any more
  if (lockFd_ >= 0) {
    ::close(lockFd_);
    lockFd_ = -1;
  }
}

Result CDesktopApp::AcquireInstanceLock() {
  if (lockFd_ >= 0) return kOk;
  std::string name = (options_.executableName.empty() ? std::string("tallimor")
                                                      : options_.executableName) + ".lock";
  RuntimePath path{};
  Result located = RuntimeDirectory::EntryPath(name.c_str(), &path);
  if (located != kOk) return located;
  // The lock is an flock on the file, so it goes with the process: a crashed instance
  // leaves the file behind but never blocks the next start.
  FileSystem* files = FileSystem::Default();
  int fd = files->OpenForLocking(path.data());
  if (fd < 0) return kWmSystemError;
  if (files->Lock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? kWmAlreadyRunning : kWmSystemError;
  }
  lockFd_ = fd;
  return kOk;
}

void CDesktopApp::ActivateRunningInstance() const {
  // The first instance answers 1 and comes forward when a user is logged in; while it
  // still shows its user dialog it answers 0. Either way this start ends silently.
  std::int64_t answer = 0;
  SendWindowMessage(kDesktopWindowClass, static_cast<std::uint32_t>(kWmInstanceQuery), 0, 0,
                    &answer, kInstanceQueryTimeoutMs);
}

void CDesktopApp::BringToFront() {
  if (!mainFrame_) return;
  if (mainFrame_->isMinimized()) mainFrame_->showNormal();
  mainFrame_->raise();
  mainFrame_->activateWindow();
  QWidget* popup = LastActivePopup();
  if (popup != nullptr && popup != mainFrame_.get()) {
    popup->raise();
    popup->activateWindow();
  }
}

CMainDlgView* CDesktopApp::MainView() const {
  return mainFrame_ ? mainFrame_->View() : nullptr;
}

QWidget* CDesktopApp::LastActivePopup() const {
  QWidget* frame = mainFrame_.get();
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != nullptr && frame != nullptr && (modal == frame || frame->isAncestorOf(modal)))
    return modal;
  if (modal != nullptr && frame == nullptr) return modal;
  return frame;
}

Result CDesktopApp::GetUserDataPath(std::int32_t userId, std::string* path) const {
  path->clear();
  char buffer[256] = {};
  std::uint16_t length = sizeof buffer;
  if (users_->RootDirectory(buffer, &length) != kOk) return kErrNoFileName;
  std::string result = buffer;
  // The same buffer and length word serve the second call, as the library expects.
  Result directory = users_->UserDirectory(static_cast<std::uint32_t>(userId), buffer, &length);
  // Without the user's directory the path would name another user's file (or the
  // root's): the user's data counts as missing instead.
  if (directory != kOk || buffer[0] == '\0') return kErrNoFileName;
  result += buffer;
  result += kDataDirectory;
  result += kDataFile;
  *path = std::move(result);
  return kOk;
}

std::int32_t CDesktopApp::GetProfileUserId() const {
  return profile_.GetInt(kSettingsSection, kUserIdKey, -1);
}

Result CDesktopApp::SetCurrentUser(std::int32_t userId) {
  currentUserId_ = userId;
  profile_.WriteString(kSettingsSection, kUserIdKey, std::to_string(userId));
  return kOk;
}

int CDesktopApp::GetUserCount() const { return users_->UserCount(); }

Result CDesktopApp::GetUserIdAt(int index, std::int32_t* userId) const {
  std::uint32_t id = 0;
  Result result = users_->UserIdAt(index, &id);
  if (result == kOk) *userId = static_cast<std::int32_t>(id);
  return result;
}

Result CDesktopApp::GetUserName(std::int32_t userId, std::string* name) const {
  char buffer[64] = {};
  std::uint16_t length = sizeof buffer;
  Result result = users_->UserName(static_cast<std::uint32_t>(userId), buffer, &length);
  if (result != static_cast<Result>(length)) return result == kOk ? kErrNoMatch : result;
  *name = std::string(buffer, strnlen(buffer, sizeof buffer));
  return kOk;
}

Result CDesktopApp::GetUserHint(std::int32_t userId, std::string* hint) const {
  hint->clear();
  std::string path;
  GetUserDataPath(userId, &path);
  return ReadUserHint(path, hint);
}

Result CDesktopApp::OpenUserData(std::int32_t userId, const std::string& password,
                                 bool* success) {
  *success = false;
  std::string path;
  GetUserDataPath(userId, &path);  // no path: the user's data counts as missing

  // Another desktop program on these memos would save over this one's edits and this
  // one over its: one program per user, whatever session it runs in.
  UserDataLock lock;
  const bool lockHeld = userLock_.Holds(path);
  if (!path.empty() && !lockHeld) {
    pid_t holder = 0;
    if (lock.Acquire(path, &holder) == kErrUserOpenElsewhere) {
      ShowMessage(kIdsUserOpenElsewhere, kIdsAppTitle, kMbOk | kMbIconExclamation,
                  holder > 0 ? Text(kIdsProcessId).arg(holder) : QString());
      return kErrUserOpenElsewhere;
    }
  }

  // Checked on a store of its own, so a wrong password changes nothing.
  UserPasswordCheck check = CheckUserPassword(path, password.c_str());
  if (!check.accepted) return kOk;
  // The file made for a user without one carries this password's digest, and nothing
  // can check the password before that: a typo would lock the memos away for good.
  if (check.fileMissing && check.keyed && !ConfirmNewPassword(password)) {
    return kErrPasswordNotConfirmed;
  }

  // The current store is written back before it is given up. Its destructor would try
  // too, but silently: a failure there would drop the user's edits without a word.
  if (store_) {
    Result saved = SaveStore();
    bool told = false;
    if (saved != kOk) saved = ResolveSaveConflict(saved, {}, &told);
    if (saved != kOk) {
      if (ShowMessage(kIdsSaveFailedSwitch, kIdsAppTitle,
                      kMbYesNo | kMbIconExclamation | kMbDefButton2,
                      SaveFailureDetail(saved)) != kIdYes) {
        return saved;
      }
      store_->DiscardEdits();  // given up: the store must not write them on its way out
    }
  }
  std::unique_ptr<CProtectedRecordFile> fresh = MakeUserStore(path, password.c_str(), check.keyed);
  if (!fresh) return kErrOutOfMemory;
  store_ = std::move(fresh);
  if (!lockHeld) userLock_ = std::move(lock);  // the previous user's lock goes with it
  store_->Load();  // a user whose file cannot be read gets an empty store
  saveConflict_.Remember(store_->Path());
  SetCurrentUser(userId);
  RestoreKeptMemos();
  if (CMainDlgView* view = MainView()) PostWindowMessage(view, kWmUserReload);
  loggedIn_ = true;  // from now on a second start brings this instance forward
  locked_ = false;
  reviewDue_ = true;  // pairs left unreviewed are offered again
  *success = true;
  return kOk;
}

void CDesktopApp::RequestLock() {
  if (!store_) return;
  const bool hotSync = mainFrame_ && mainFrame_->HotSyncRunning();
  if (!NoDialogOpen() || hotSync) {
    if (!lockPending_) {
      lockPending_ = true;
      RetryPendingLock();
    }
    return;
  }
  lockPending_ = false;
  Lock();
}

void CDesktopApp::RetryPendingLock() {
  QTimer::singleShot(250, this, [this] {
    if (!lockPending_) return;
    lockPending_ = false;
    RequestLock();  // waits again while the dialog or the HotSync is still there
  });
}

Result CDesktopApp::Lock() {
  lockPending_ = false;
  if (!store_) return kOk;
  // Written back as a user switch writes it; a store that cannot be written keeps the
  // only copy of the edits, so the memos stay rather than being forgotten.
  const Result saved = SaveStore();
  if (saved != kOk) {
    ShowMessage(kIdsLockSaveFailed, kIdsAppTitle, kMbOk | kMbIconExclamation, SaveFailureDetail(saved));
    return saved;
  }
  if (preferences_.clearClipboard) clipboard_->ClearCopy();
  store_->DiscardEdits();
  store_.reset();  // the key and the deciphered memos go with it
  locked_ = true;
  if (CMainDlgView* view = MainView()) {
    // Emptied at once, not at the next turn of the event loop: the memos must be off
    // the screen by the time the screen comes back.
    view->RebuildCategoryCombo();
    view->RebuildMemoList();
    PostWindowMessage(view, kWmUserReload);  // forgets the undo list too
  }
  if (mainFrame_) mainFrame_->SetPaneText(kPaneMessage, Text(kIdsLocked));
  // Asked once the signal that locked has returned; a user opened meanwhile (the
  // user command) needs no dialog.
  QTimer::singleShot(0, this, [this] {
    if (locked_ && !store_ && NoDialogOpen()) RunUserDialog();
  });
  return kOk;
}

std::vector<ConflictPair> CDesktopApp::PendingConflicts() const {
  std::vector<ConflictPair> pending;
  if (!store_ || store_->Header() == nullptr) return pending;
  std::vector<ConflictPair> pairs;
  ConflictPairFile(ConflictPairFile::PathBeside(store_->Path())).Read(&pairs);
  const std::uint32_t mark = store_->Header()->backupDate;
  auto live = [this](std::uint32_t id) {
    const CPRecord* record = store_->RecordAt(store_->FindRecordById(id));
    return id != 0 && record != nullptr && !record->IsDeleted();
  };
  for (const ConflictPair& pair : pairs) {
    if (pair.mark <= mark && live(pair.handheldId) && live(pair.desktopId)) pending.push_back(pair);
  }
  return pending;
}

int CDesktopApp::OfferConflictReview() {
  if (!store_ || !NoDialogOpen()) return 0;
  const std::vector<ConflictPair> pending = PendingConflicts();
  if (pending.empty()) return 0;
  if (ShowMessage(kIdsConflictOffer, kIdsAppTitle, kMbYesNo | kMbIconQuestion, {},
                  QString::number(pending.size())) != kIdYes)
    return 0;
  if (!store_) return 0;  // locked while the question was up
  std::vector<ConflictReviewItem> items;
  for (const ConflictPair& pair : pending) {
    ConflictReviewItem item;
    const std::int32_t handheld = store_->FindRecordById(pair.handheldId);
    const std::int32_t desktop = store_->FindRecordById(pair.desktopId);
    item.handheldText = FromCp932(MemoTextAt(*store_, handheld)).replace(
        QLatin1Char('\n'), QStringLiteral("\r\n"));
    item.desktopText = FromCp932(MemoTextAt(*store_, desktop)).replace(
        QLatin1Char('\n'), QStringLiteral("\r\n"));
    item.handheldCategory = CategoryNameAt(*store_, store_->RecordAt(handheld)->Category());
    item.desktopCategory = CategoryNameAt(*store_, store_->RecordAt(desktop)->Category());
    items.push_back(std::move(item));
  }
  int decided = 0;
  {
    OpenDialogScope counted(*this);  // no HotSync while choices are being saved
    CConflictReviewDlg dialog(std::move(items), [&](int item, ConflictChoice choice) {
      const Result result = DecideConflict(pending[static_cast<std::size_t>(item)], choice);
      if (result != kOk) {
        ShowMessage(kIdsConflictSaveFailed, kIdsAppTitle, kMbOk | kMbIconExclamation,
                    SaveFailureDetail(result));
        return false;
      }
      ++decided;
      return true;
    }, LastActivePopup());
    dialog.exec();
  }
  if (CMainDlgView* view = MainView()) PostWindowMessage(view, kWmUserReload);
  return decided;
}

Result CDesktopApp::DecideConflict(const ConflictPair& pair, ConflictChoice choice) {
  if (!store_) return kErrNoMatch;
  std::int32_t dropped = -1;
  if (choice == ConflictChoice::kKeepHandheld) dropped = store_->FindRecordById(pair.desktopId);
  if (choice == ConflictChoice::kKeepDesktop) dropped = store_->FindRecordById(pair.handheldId);
  if (dropped >= 0) {
    store_->MarkDeleted(dropped, true);
    const Result saved = SaveStore();
    if (saved != kOk) {
      store_->MarkDeleted(dropped, false);
      return saved;
    }
    ReloadStore();  // the saved store holds ciphertext until it is read back
  }
  const ConflictPairFile file(ConflictPairFile::PathBeside(store_->Path()));
  std::vector<ConflictPair> pairs;
  file.Read(&pairs);
  std::erase(pairs, pair);
  // The choice is in record.dat already: a pair left in the file is no longer offered
  // (one of its memos is deleted), or is offered again after "keep both", harmlessly.
  file.Write(pairs);
  return kOk;
}

bool CDesktopApp::ConfirmNewPassword(const std::string& password) {
  std::string again;
  if (!AskPassword(kIdsConfirmPasswordCaption, kIdsConfirmNewPassword, {}, &again)) return false;
  const bool same = again == password;
  WipeSecret(again);
  if (!same) ShowMessage(kIdsPasswordMismatch, kIdsAppTitle, kMbOk | kMbIconExclamation);
  return same;
}

bool CDesktopApp::AskPassword(int captionId, int textId, const QString& detail,
                              std::string* password) {
  password->clear();
  QString text = Text(textId);
  if (!detail.isEmpty()) text += QStringLiteral("\n\n") + detail;
  for (;;) {
    std::optional<QString> typed;
    {
      OpenDialogScope counted(*this);
      if (passwordHook_) {
        typed = passwordHook_(captionId, textId, text);
      } else {
        CPasswordPromptDlg prompt(Text(captionId), text, LastActivePopup());
        if (prompt.exec() == QDialog::Accepted) typed = prompt.Password()->text();
        prompt.Password()->clear();
      }
    }
    if (!typed) return false;
    std::optional<std::string> converted = ToCp932(*typed);
    typed->fill(QChar(u' '));
    if (converted) {
      *password = std::move(*converted);
      return true;
    }
    ShowMessage(kIdsPasswordNotCp932, kIdsAppTitle, kMbOk | kMbIconExclamation);
  }
}

int CDesktopApp::RestoreKeptMemos() {
  if (!store_) return 0;
  int merged = 0;
  for (const std::string& path : KeptMemoFile::FindBeside(store_->Path())) {
    if (RestoreKeptFile(path)) ++merged;
  }
  return merged;
}

bool CDesktopApp::RestoreKeptFile(const std::string& path) {
  KeptMemoFile kept(path);
  QString detail = Text(kIdsKeptFileName).arg(QString::fromUtf8(kept.FileName()));
  if (kept.Inspect() != kOk) {
    ShowMessage(kIdsKeptFileUnreadable, kIdsAppTitle, kMbOk | kMbIconExclamation, detail);
    return false;
  }
  if (!kept.Hint().empty()) detail += QStringLiteral("\n") + Text(kIdsOldPasswordHint).arg(FromCp932(kept.Hint()));

  std::string password;
  Result read = kOk;
  for (;;) {
    if (kept.NeedsPassword() &&
        !AskPassword(kIdsOldPasswordCaption, kIdsEnterOldPassword, detail, &password)) {
      return false;  // Cancel: the file waits for the next login, and nothing changes
    }
    read = kept.Read(password.c_str());
    WipeSecret(password);
    if (read != kErrKeptPasswordWrong) break;
    ShowMessage(kIdsOldPasswordWrong, kIdsAppTitle, kMbOk | kMbIconExclamation);
  }
  if (read != kOk) {
    ShowMessage(kIdsKeptFileUnreadable, kIdsAppTitle, kMbOk | kMbIconExclamation, detail);
    return false;
  }

  // The store is saved before the kept file goes: a kill in between leaves both, and
  // the next login merges the file again, which changes nothing the second time.
  KeptMemoMergeCounts counts;
  const Result merged = KeptMemoMerge(*store_).Merge(kept, &counts);
  const Result saved = merged == kOk ? SaveStore() : merged;
  ReloadStore();  // after a failure this drops the merge; the memos are still in the file
  if (saved != kOk) {
    ShowMessage(kIdsKeptMemosNotRestored, kIdsAppTitle, kMbOk | kMbIconExclamation,
                detail + QStringLiteral("\n") + SaveFailureDetail(saved));
    return false;
  }
  kept.Remove();  // a file left behind is merged again next time, to no effect
  const int restored = counts.added + counts.updated + counts.alreadyThere;
  ShowMessage(kIdsKeptMemosRestored, kIdsAppTitle, kMbOk | kMbIconInformation,
              detail + QStringLiteral("\n") + Text(kIdsKeptMemoCount).arg(restored));
  return true;
}

std::int32_t CDesktopApp::GetLastCategory() const {
  std::int32_t value = -1;
  users_->ReadValue(static_cast<std::uint32_t>(currentUserId_), kUserValueSection,
                    kLastCategoryKey, &value, -1);
  return value;
}

void CDesktopApp::SetLastCategory(std::int32_t value) {
  users_->WriteValue(static_cast<std::uint32_t>(currentUserId_), kUserValueSection,
                     kLastCategoryKey, value);
}

bool CDesktopApp::NoDialogOpen() const { return openDialogs_ == 0 && !PopupOpen(); }

bool CDesktopApp::PopupOpen() { return QApplication::activePopupWidget() != nullptr; }

void CDesktopApp::DialogOpened(int flag) {
  if (flag == 0) ++openDialogs_;
  else if (openDialogs_ > 0) --openDialogs_;
}

int CDesktopApp::ShowMessage(int textId, int captionId, unsigned flags, const QString& detail,
                             const QString& arg) {
  QString text = arg.isEmpty() ? Text(textId) : Text(textId).arg(arg);
  if (!detail.isEmpty()) text += QStringLiteral("\n\n") + detail;
  // A message box is as modal as any dialog, and the code waiting for its answer may
  // hold list rows or record indexes (the delete question does).
  OpenDialogScope counted(*this);
  if (messageHook_) return messageHook_(textId, captionId, flags, text);

  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (flags & 0xF0u) {
    case kMbIconHand: icon = QMessageBox::Critical; break;
    case kMbIconQuestion: icon = QMessageBox::Question; break;
    case kMbIconExclamation: icon = QMessageBox::Warning; break;
    case kMbIconInformation: icon = QMessageBox::Information; break;
    default: break;
  }
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  QMessageBox::StandardButton second = QMessageBox::NoButton;
  if ((flags & 0x0Fu) == kMbOkCancel) {
    buttons = QMessageBox::Ok | QMessageBox::Cancel;
    second = QMessageBox::Cancel;
  } else if ((flags & 0x0Fu) == kMbYesNo) {
    buttons = QMessageBox::Yes | QMessageBox::No;
    second = QMessageBox::No;
  }
  QMessageBox box(icon, Text(captionId), text, buttons, LastActivePopup());
  // The text can be selected and copied (Ctrl+C copies nothing of a message box here),
  // so that a message naming a file or a memo can be passed on as it stands.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  // The buttons speak the program's language, as a Japanese system's message box does;
  // Qt would label them in English.
  static constexpr struct {
    QMessageBox::StandardButton button;
    const char* label;
  } kLabels[] = {{QMessageBox::Ok, "OK"},
                 {QMessageBox::Cancel, "キャンセル"},
                 {QMessageBox::Yes, "はい(&Y)"},
                 {QMessageBox::No, "いいえ(&N)"}};
  for (const auto& [button, label] : kLabels) {
    if (QAbstractButton* shown = box.button(button)) shown->setText(QString::fromUtf8(label));
  }
  if ((flags & kMbDefButton2) != 0 && second != QMessageBox::NoButton) box.setDefaultButton(second);
  switch (box.exec()) {
    case QMessageBox::Ok: return kIdOk;
    case QMessageBox::Yes: return kIdYes;
    case QMessageBox::No: return kIdNo;
    default: return kIdCancel;
  }
}

Result CDesktopApp::SaveStore() {
  if (!store_) return kOk;
  // With its file removed, a store without changes writes nothing and reports success,
  // and the reload that follows a save would empty it: the memos in memory would be the
  // only copy, and they would be gone. Count that as the failed save it is.
  // A store that has no file yet (a user before the first HotSync) makes its file.
  if (!store_->HasNoFileYet() && store_->RecordCount() > 0 &&
      ::access(store_->Path().c_str(), F_OK) != 0) {
    return kErrWrite;
  }
  const CPCategoryTable* table = store_->Categories();
  const bool writes = store_->IsDirty() || (table != nullptr && table->IsDirty());
  const Result saved = store_->Save();
  if (saved == kOk && writes) saveConflict_.Remember(store_->Path());
  return saved;
}

Result CDesktopApp::ReloadStore() {
  if (!store_) return kOk;
  const Result loaded = store_->Load();
  saveConflict_.Remember(store_->Path());
  // Every record was read; only the category table is missing, as in a file that earlier
  // versions of this program made before the user's first HotSync.
  return loaded == kErrNoAppInfoForCategories ? kOk : loaded;
}

Result CDesktopApp::ResolveSaveConflict(Result saved, const QString& detail, bool* told) {
  *told = false;
  if (!store_) return saved;
  const std::string path = store_->Path();
  for (;;) {
    const SaveConflictKind kind = SaveConflict::Classify(path, saved);
    if (kind == SaveConflictKind::kNone) {
      if (*told) {
        ShowMessage(kIdsSaveFailed, kIdsAppTitle, kMbOk | kMbIconExclamation, SaveFailureDetail(saved));
      }
      return saved;
    }
    *told = true;
    int writerId = kIdsWriterUnknown;
    switch (saveConflict_.Writer(path, kind)) {
      case OtherProgram::kHotSync: writerId = kIdsWriterHotSync; break;
      case OtherProgram::kTallimor: writerId = kIdsWriterTallimor; break;
      case OtherProgram::kUnknown: break;
    }
    const int textId = kind == SaveConflictKind::kChanged ? kIdsFileChangedReload : kIdsFileHeldReload;
    if (ShowMessage(textId, kIdsAppTitle, kMbYesNo | kMbIconQuestion, detail, Text(writerId)) != kIdYes)
      return saved;  // kept in memory, still dirty: a later save tries again
    saved = ReloadWithEdits();
    if (saved == kOk) return kOk;
    if (saved == kErrStoreKeyChanged) {
      ShowMessage(kIdsEditsKeptKeyChanged, kIdsAppTitle, kMbOk | kMbIconExclamation);
      return saved;
    }
    // Still held (the HotSync has not finished), or rewritten once more: ask again.
  }
}

Result CDesktopApp::ReloadWithEdits() {
  if (!store_) return kOk;
  std::unique_ptr<CProtectedRecordFile> reloaded;
  UnsavedChangeCounts counts;
  const Result result = store_->ReloadWithEdits(&reloaded, &counts);
  if (result != kOk) return result;
  store_->DiscardEdits();  // they are in the file now; the old store must write nothing
  store_ = std::move(reloaded);
  saveConflict_.Remember(store_->Path());
  if (mainFrame_) mainFrame_->SetPaneText(kPaneMessage, Text(kIdsReloadedWithEdits));
  if (CMainDlgView* view = MainView()) PostWindowMessage(view, kWmUserReload);
  return kOk;
}

bool CDesktopApp::DropStoreIfKeyChanged() {
  if (!store_) return false;
  CProtectedRecordFile probe(store_->Path(), nullptr);
  probe.Load();  // a damaged record after the password block still shows the digest
  const InfoBlock* appInfo = probe.AppInfo();
  // A file whose password block cannot be read says nothing about the password.
  if (appInfo == nullptr) return false;
  PasswordInfo info = ReadPasswordInfo(appInfo->Data(), appInfo->Used());
  const bool same = info.digest == store_->KeyDigest();
  WipeSecret(info.digest.data(), info.digest.size());
  if (same) return false;
  store_->DiscardEdits();
  store_.reset();
  return true;
}

QString CDesktopApp::SaveFailureDetail(Result saved) {
  if (saved == kErrStoreReadInPart) return Text(kIdsSaveRefusedReadInPart);
  return Text(kIdsSaveFailedDetail).arg(saved);
}

bool CDesktopApp::QueryExit() {
  if (!store_) return true;
  Result saved = SaveStore();
  if (saved == kOk) return true;
  bool told = false;
  saved = ResolveSaveConflict(saved, {}, &told);
  if (saved == kOk) return true;
  if (ShowMessage(kIdsSaveFailedExit, kIdsAppTitle, kMbYesNo | kMbIconExclamation | kMbDefButton2,
                  SaveFailureDetail(saved)) != kIdYes) {
    return false;  // the program stays open with every edit
  }
  store_->DiscardEdits();  // given up by the user: the store's last save writes nothing
  return true;
}

bool CDesktopApp::OnCommand(int command) {
  switch (command) {
    case kCmdAbout:
      ShowAboutBox();
      return true;
    case kCmdUser:
      RunUserDialog();  // the dialog switches the user itself on success
      return true;
    case kCmdPreferences:
      RunPreferencesDialog();
      return true;
    default:
      return CMemoExchange::OnCommand(*this, command);
  }
}

void CDesktopApp::ShowAboutBox() {
  CAboutDlg dialog(mainFrame_.get());
  dialog.exec();
}

void CDesktopApp::RunPreferencesDialog() {
  CPreferencesDlg dialog(preferences_, mainFrame_.get());
  if (dialog.exec() != QDialog::Accepted) return;
  if (ApplyPreferences(dialog.Chosen()) != kOk)
    ShowMessage(kIdsPrefSaveFailed, kIdsAppTitle, kMbOk | kMbIconExclamation);
}

bool CDesktopApp::RunUserDialog() {
  CUserDlg dialog(*this, mainFrame_.get());
  return dialog.exec() == QDialog::Accepted;
}

QString CDesktopApp::VersionText() { return QStringLiteral(TALLIMOR_VERSION); }

}  // namespace tallimor
