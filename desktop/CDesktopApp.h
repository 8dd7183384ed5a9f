// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's application object: single instance, the profile Tallimor.ini,
// the HotSync users and their data paths, the current user's store, the count of open
// dialogs that gates a HotSync, the program's message boxes, the About box and exit.
// It lives for the whole run, owned by main(); the main frame and the dialogs reach it
// through the reference they are given.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "desktop/CConflictReviewDlg.h"
#include "desktop/CProfile.h"
#include "desktop/Preferences.h"
#include "desktop/SaveConflict.h"
#include "desktop/UserDataLock.h"
#include "store/ConflictPairFile.h"
#include "store/ResultCodes.h"

class QWidget;

namespace tallimor {

class ClipboardGuard;
class SessionLockWatcher;
class CMainDlgView;
class CMainFrame;
class CProtectedRecordFile;
class UserData;

// Message box flags and answers, as the program's ShowMessage callers pass and test them.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbOkCancel = 0x01;
inline constexpr unsigned kMbYesNo = 0x04;
inline constexpr unsigned kMbIconHand = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbDefButton2 = 0x100;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// OpenUserData refused: the password of data about to be created was not confirmed
// (the user has been told, or cancelled the confirmation).
inline constexpr Result kErrPasswordNotConfirmed = -4004;

// Where the program finds its files; main() fills it from the command line and the
// environment.
struct DesktopOptions {
  std::string hotSyncRoot;     // HotSync root directory, with the users file
  std::string profilePath;     // the Tallimor.ini to use
  std::string executableName;  // base name of the program, names the single-instance lock
};

class CDesktopApp : public QObject {
  Q_OBJECT

 public:
  // Counts a modal box, prompt or file dialog as an open dialog while it lives: a
  // HotSync must not write and reload the file under code that waits for its answer.
  class OpenDialogScope {
   public:
    explicit OpenDialogScope(CDesktopApp& app) : app_(app) { app_.DialogOpened(0); }
    ~OpenDialogScope() { app_.DialogOpened(1); }
    OpenDialogScope(const OpenDialogScope&) = delete;
    OpenDialogScope& operator=(const OpenDialogScope&) = delete;

   private:
    CDesktopApp& app_;
  };

  explicit CDesktopApp(DesktopOptions options);
  // Destroys the main frame, then the current store (which writes it back if it changed).
  ~CDesktopApp() override;

  CDesktopApp(const CDesktopApp&) = delete;
  CDesktopApp& operator=(const CDesktopApp&) = delete;

  // Start-up: single instance, main frame, user dialog. True to run the event loop, false
  // to end the program (second instance, user dialog cancelled, frame not created).
  bool InitInstance();

  // The part of start-up before the user dialog: takes the single-instance lock, creates
  // and shows the main frame, resets the dialog count and reads the remembered user.
  // kWmAlreadyRunning when another instance holds the lock (it has been asked to come
  // forward); other errors when the lock or the frame's socket cannot be had.
  Result Start();

  // What Start answered during InitInstance (kOk before it ran).
  Result StartResult() const { return startResult_; }

  // End of the run: gives up the current store (which writes it back if it changed) and
  // the single-instance lock.
  void ExitInstance();

  // The per-user data path: root directory, user directory, "/Tallimor-Vexa/record.dat".
  // kErrNoFileName when the users file does not know the user.
  Result GetUserDataPath(std::int32_t userId, std::string* path) const;

  // The "Settings"/"UserID" value of the profile, -1 when absent.
  std::int32_t GetProfileUserId() const;

  // Makes userId the current user and writes it to the profile.
  Result SetCurrentUser(std::int32_t userId);
  std::int32_t CurrentUserId() const { return currentUserId_; }

  // The HotSync users: how many there are, the id at an index, a user's name (code page
  // 932 bytes).
  int GetUserCount() const;
  Result GetUserIdAt(int index, std::int32_t* userId) const;
  Result GetUserName(std::int32_t userId, std::string* name) const;

  // The password hint stored in the user's record file, in code page 932 bytes.
  Result GetUserHint(std::int32_t userId, std::string* hint) const;

  // Opens a user's record file with the typed password (code page 932 bytes). Another
  // desktop program that has the user open (UserDataLock) refuses it: the user is told
  // and the result is kErrUserOpenElsewhere. On a match
  // the current store is written back (see ResolveSaveConflict) and replaced, the user remembered, memos kept
  // aside under a previous password offered back (RestoreKeptMemos), and the main view
  // told to reload. *success is false on a wrong password, and also when the current
  // store could not be written and the user chose to keep it. A user without a record
  // file whose password is not empty is asked to type it again first, since nothing
  // could check it later: kErrPasswordNotConfirmed when it is not confirmed.
  Result OpenUserData(std::int32_t userId, const std::string& password, bool* success);

  // For every kept file of memos beside the current store's file (KeptMemoFile), one at
  // a time: asks for the previous password until it matches the file's digest or the
  // user cancels (the file then waits for the next login), merges the memos into the
  // store, saves it and only then removes the file. A merge that cannot be saved is
  // dropped from memory and the file kept. Returns how many files were merged.
  int RestoreKeptMemos();

  // Runs the password prompt captioned with string captionId, showing string textId
  // and `detail` below it, until the text typed can be stored as code page 932 (else
  // message 174, and the prompt again). True with *password set on OK; false on Cancel.
  // The prompt counts as an open dialog.
  bool AskPassword(int captionId, int textId, const QString& detail, std::string* password);

  // Replaces the password prompt with `hook`, which gets the ids and the full text and
  // returns the text typed, or nothing for Cancel; tests answer prompts with it. An
  // empty hook restores the prompt.
  using PasswordHook = std::function<std::optional<QString>(int captionId, int textId, const QString&)>;
  void SetPasswordHook(PasswordHook hook) { passwordHook_ = std::move(hook); }

  // The current user's "LastCategory" (-1 when absent), and writing it.
  std::int32_t GetLastCategory() const;
  void SetLastCategory(std::int32_t value);

  // flag 0: a counted dialog opens; any other flag: one closes (never below 0).
  void DialogOpened(int flag);
  // True when no counted dialog is open and no pop-up (a context menu, the category
  // pop-up, an open menu of the menu bar, a combo's list) is: a pop-up waits with the
  // rows it was opened on as a dialog does, and a reload under it would have its
  // command act on other memos.
  bool NoDialogOpen() const;
  // True while a pop-up menu or list of the program is open.
  static bool PopupOpen();
  int OpenDialogCount() const { return openDialogs_; }

  // Shows string textId captioned with string captionId (kMb* flags) over the main
  // window's last active pop-up; `detail` is appended as a paragraph of its own, and
  // `arg`, when given, fills the text's %1. Returns the button pressed (kId*).
  int ShowMessage(int textId, int captionId, unsigned flags, const QString& detail = {},
                  const QString& arg = {});

  // Replaces the message box with `hook`, which gets the ids, flags and full text and
  // returns the button; tests answer boxes with it. An empty hook restores the box.
  using MessageHook = std::function<int(int textId, int captionId, unsigned flags, const QString&)>;
  void SetMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }

  // The current user's store, or nullptr before the first user is opened.
  CProtectedRecordFile* GetStore() const { return store_.get(); }

  // Writes the current store back. On failure the memos stay in memory, readable, and
  // the result is the store's error; with no store, 0.
  Result SaveStore();

  // After a save of the current store that answered `saved`: when another program
  // rewrote the file since it was read, or holds it open now (a HotSync), tells the
  // user so, naming that program when it can (`detail` follows as a paragraph), and
  // offers to read the file anew with the unsaved edits put back on top of it
  // (CProtectedRecordFile::ReloadWithEdits), asking again while the file stays held.
  // kOk once the store was reloaded with the edits and saved (the view is told to
  // reload). Otherwise the error, with every edit still in memory and the store still
  // dirty, so that a later save can try again; *told says whether the user has heard
  // of it (false: the failure was none of another program's doing, nothing was shown).
  Result ResolveSaveConflict(Result saved, const QString& detail, bool* told);

  // Reads the current store from its file again, dropping what is in memory. A file
  // without a category table (one that earlier versions made before the first HotSync)
  // reads as 0.
  Result ReloadStore();

  // After a HotSync has written the file: true when the file no longer carries the
  // digest of the current store's key, i.e. the password was changed on the handheld.
  // The store's key would then show the memos as garbage and write edits under a
  // password the handheld no longer has, so the store is given up unsaved (the HotSync
  // start saved it, and it has been read back since) and the user must log in again.
  // False, keeping the store, when the digests agree or the file cannot be read.
  bool DropStoreIfKeyChanged();

  // The paragraph a failed save's message box ends with: why a file read only in part
  // is kept as it is, or the result code.
  static QString SaveFailureDetail(Result saved);

  // Asks before the program ends: writes the store back (see ResolveSaveConflict) and,
  // if that fails, asks whether to give the unsaved edits up; the default answer keeps
  // the program open. True when the program may end.
  bool QueryExit();

  // Commands of the application: About (57664), User (132) and Options (3550). True
  // when handled.
  bool OnCommand(int command);

  // Runs the About box modally.
  void ShowAboutBox();

  // Runs the preferences dialog (command 3550) and puts what the user chose into effect.
  void RunPreferencesDialog();

  // Runs the user dialog modally; true when a user's data was opened.
  bool RunUserDialog();

  // The main frame and its view; nullptr before InitInstance creates them.
  CMainFrame* MainFrame() const { return mainFrame_.get(); }
  CMainDlgView* MainView() const;

  // The widget that owns message boxes: the frame's active modal dialog, else the frame.
  QWidget* LastActivePopup() const;

  // True once a user's data has been opened: a second start brings this one forward.
  bool IsLoggedIn() const { return loggedIn_; }

  // Brings the main window and its last active pop-up to the front.
  void BringToFront();

  // The profile Tallimor.ini.
  CProfile& Profile() { return profile_; }

  // The preferences in effect (read from the profile at construction).
  const Preferences& CurrentPreferences() const { return preferences_; }
  // Puts `preferences` into effect and writes them to the profile; the profile's write
  // error, with the preferences in effect all the same.
  Result ApplyPreferences(const Preferences& preferences);

  // Everything the program puts on the clipboard goes through here.
  ClipboardGuard& Clipboard() { return *clipboard_; }

  // What asks for the lock: the session's screen lock and the idle timer.
  SessionLockWatcher& LockWatcher() { return *lockWatcher_; }

  // Locks the memos away now, or as soon as no dialog is open and no HotSync runs (a
  // dialog may hold a memo being edited, and the conduit has the file meanwhile).
  void RequestLock();

  // Locks the memos away: writes the store back as a user switch does, forgets the
  // key and every deciphered memo (the view is emptied) and then shows the user
  // dialog; only the password brings the memos back. Meanwhile a HotSync finds no
  // store. kOk (also with nothing to lock); when the store cannot be written the
  // memos stay as they are, unlocked, the user is told and the save's error returned.
  Result Lock();

  // True from a lock until a user's data is opened again.
  bool IsLocked() const { return locked_; }

  // Asks for the review of the memos kept in both versions once the view has reloaded
  // (after a HotSync that ended normally, and after a login).
  void OfferConflictReviewAfterReload() { reviewDue_ = true; }

  // The pairs of the current store that wait for review: those of record.CFL whose
  // HotSync was not rolled back and whose two memos are both there and not deleted.
  std::vector<ConflictPair> PendingConflicts() const;

  // When pairs wait (and no dialog is open): asks whether to review them now and, on
  // yes, runs the review. "No" leaves them for the next offer. Returns how many were
  // decided.
  int OfferConflictReview();

  // Carries out the user's choice for `pair`: keeping one version marks the other
  // deleted (the next HotSync removes it on both sides); the store is saved and only
  // then the pair leaves record.CFL, so a kill in between offers the pair again.
  // The save's error, with the deletion undone and the pair kept.
  Result DecideConflict(const ConflictPair& pair, ConflictChoice choice);

  // The program's version text, from the build.
  static QString VersionText();

 private:
  // Takes the single-instance lock: kOk, kWmAlreadyRunning when another instance holds
  // it, or the error that kept the lock from being made.
  Result AcquireInstanceLock();
  // Asks the running instance to come forward if it is logged in.
  void ActivateRunningInstance() const;
  // Asks for the password of a user without data again; true when both agree.
  bool ConfirmNewPassword(const std::string& password);
  // RestoreKeptMemos for one file; true when its memos were merged and saved.
  bool RestoreKeptFile(const std::string& path);
  // Replaces the current store by the file read anew with its edits on top, saved.
  Result ReloadWithEdits();

  DesktopOptions options_;                        // where the files are
  CProfile profile_;                              // Tallimor.ini
  std::unique_ptr<UserData> users_;               // the HotSync users file
  std::unique_ptr<CProtectedRecordFile> store_;   // the current user's data, if any
  std::unique_ptr<CMainFrame> mainFrame_;         // the main window
  std::int32_t currentUserId_ = -1;               // -1 when no user is known
  int openDialogs_ = 0;                           // counted modal dialogs now open
  Result startResult_ = kOk;                      // Start's answer in InitInstance
  int lockFd_ = -1;                               // single-instance lock, -1 when not held
  UserDataLock userLock_;                         // the open user's desktop.lock
  SaveConflict saveConflict_;                     // the HotSync log as the store was last read
  bool loggedIn_ = false;                         // the "logged in" mark of a running instance
  // RequestLock's retry while a dialog or a HotSync keeps the lock waiting.
  void RetryPendingLock();

  Preferences preferences_;                       // the preferences in effect
  std::unique_ptr<SessionLockWatcher> lockWatcher_;  // screen lock and idle time
  bool locked_ = false;                           // the memos were locked away
  bool lockPending_ = false;                      // a lock waits for dialogs or a HotSync
  bool reviewDue_ = false;                        // offer the review at the next reload
  std::unique_ptr<ClipboardGuard> clipboard_;     // the program's texts on the clipboard
  MessageHook messageHook_;                       // replaces the message box when set
  PasswordHook passwordHook_;                     // replaces the password prompt when set
};

}  // namespace tallimor
