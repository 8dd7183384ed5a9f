// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync action dialog: four radio buttons with a picture each, "Set as default",
// and (when the manager names a user) the user's default and next actions. OK maps the
// checked button back to a sync type; "Synchronize the files" always stands for a fast
// synchronization, because the HotSync manager decides on its own when a slow one is due.
#include "conduit/CActionDlg.h"

#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>
#include <cstring>
#include <string>

#include "conduit/ActionPicture.h"
#include "conduit/CPDesktopDatabase.h"
#include "hotsync/plugin/ConduitInterface.h"
#include "conduit/ConduitStrings.h"
#include "conduit/DialogHost.h"
#include "conduit/WsprintfA.h"
#include "text/CodePage932.h"

#ifndef TALLIMOR_HELP_FROM_LIBRARY
#error "the installed help page's place must come from the build"
#endif

namespace tallimor {
namespace {

// The help page's file name, beside the library in the build tree and among the
// installed documentation.
constexpr char kHelpPageName[] = "hotsyncd.html";

// Texts of the dialog template (the string resources hold the others).
constexpr char kTextSynchronize[] = "&Synchronize the files";
constexpr char kTextDesktopOverwrites[] = "&Desktop overwrites Palm organizer";
constexpr char kTextHandheldOverwrites[] = "&Palm organizer overwrites Desktop";
constexpr char kTextDoNothing[] = "Do &nothing";
constexpr char kTextSetAsDefault[] = "Set &as default";
constexpr char kTextDefaultLabel[] = "Default HotSync Action";
constexpr char kTextNextLabel[] = "Next HotSync Action";
constexpr char kTextHelp[] = "&Help";

// The four actions in button order: button id, its text, and the sync type OK writes.
struct ActionRow {
  int button;
  const char* text;
  std::int32_t syncType;
};
constexpr ActionRow kActions[] = {
    {CActionDlg::kIdSynchronize, kTextSynchronize, kSyncFast},
    {CActionDlg::kIdDesktopOverwrites, kTextDesktopOverwrites, kSyncDesktopToHandheld},
    {CActionDlg::kIdHandheldOverwrites, kTextHandheldOverwrites, kSyncHandheldToDesktop},
    {CActionDlg::kIdDoNothing, kTextDoNothing, kSyncDoNothing},
};

// Code page 932 bytes (up to their NUL, within `size`) as Unicode; bytes that are not
// code page 932 show as U+FFFD rather than vanishing.
QString FromCp932(const char* bytes, std::size_t size) {
  std::size_t length = 0;
  while (length < size && bytes[length] != '\0') ++length;
  const std::string_view view(bytes, length);
  const Converted<std::u16string> converted = CodePage932::ToUtf16(view);
  if (converted.ok()) {
    return QString::fromUtf16(converted.text.data(), static_cast<qsizetype>(converted.text.size()));
  }
  QString shown;
  for (unsigned char b : view) shown += b < 0x80 ? QChar(b) : QChar(QChar::ReplacementCharacter);
  return shown;
}

// Anything of this library, so that dladdr names the file that holds it.
const char kModuleAnchor = 0;

}  // namespace

CActionDlg::CActionDlg(ConduitConfigRecord* record, int dialogId, QWidget* parent)
    : QDialog(parent), record_(record), dialogId_(dialogId) {
  setModal(true);

  auto* group = new QGroupBox(this);
  auto* grid = new QGridLayout(group);
  actions_ = new QButtonGroup(this);
  actions_->setExclusive(true);
  for (int i = 0; i < 4; ++i) {
    pictures_[i] = new QLabel(group);
    pictures_[i]->setFixedSize(ActionPictureSize());
    auto* button = new QRadioButton(QString::fromLatin1(kActions[i].text), group);
    actions_->addButton(button, kActions[i].button);
    grid->addWidget(pictures_[i], i, 0);
    grid->addWidget(button, i, 1);
    controls_[kIdFirstPicture + i] = pictures_[i];
    controls_[kActions[i].button] = button;
  }
  setAsDefault_ = new QCheckBox(QString::fromLatin1(kTextSetAsDefault), this);

  currentSettings_ = new QGroupBox(this);
  auto* settings = new QGridLayout(currentSettings_);
  auto* defaultText = new QLabel(currentSettings_);
  auto* nextText = new QLabel(currentSettings_);
  settings->addWidget(new QLabel(QString::fromLatin1(kTextDefaultLabel), currentSettings_), 0, 0);
  settings->addWidget(defaultText, 0, 1);
  settings->addWidget(new QLabel(QString::fromLatin1(kTextNextLabel), currentSettings_), 1, 0);
  settings->addWidget(nextText, 1, 1);
  settings->setColumnStretch(1, 1);
  currentSettings_->setVisible(false);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  QPushButton* help = buttons->addButton(QString::fromLatin1(kTextHelp), QDialogButtonBox::HelpRole);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CActionDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CActionDlg::reject);
  connect(help, &QPushButton::clicked, this, &CActionDlg::showHelp);
  auto* helpKey = new QShortcut(QKeySequence::HelpContents, this);
  connect(helpKey, &QShortcut::activated, this, &CActionDlg::showHelp);

  controls_[kIdOk] = ok;
  controls_[kIdCancel] = cancel;
  controls_[kIdHelp] = help;
  controls_[kIdActionGroup] = group;
  controls_[kIdSetAsDefault] = setAsDefault_;
  controls_[kIdDefaultAction] = defaultText;
  controls_[kIdNextAction] = nextText;
  controls_[kIdCurrentSettings] = currentSettings_;

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(setAsDefault_);
  layout->addWidget(currentSettings_);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  initialise();
}

CActionDlg::~CActionDlg() = default;

int CActionDlg::Run(ConduitConfigRecord* record, int dialogId) {
  DialogHost host;
  if (!host.ready()) return kNotShown;
  CActionDlg dialog(record, dialogId, QApplication::activeWindow());
  return dialog.exec();
}

int CActionDlg::ButtonForSyncType(std::int32_t syncType) {
  switch (syncType) {
    case kSyncFast:
    case kSyncSlow:
      return kIdSynchronize;
    case kSyncHandheldToDesktop:
      return kIdHandheldOverwrites;
    case kSyncDesktopToHandheld:
      return kIdDesktopOverwrites;
    default:
      return kIdDoNothing;  // negative, "do nothing", and every type this dialog cannot show
  }
}

int CActionDlg::TextForSyncType(std::int32_t syncType) {
  return ButtonForSyncType(syncType) + (kStrActionSynchronize - kIdSynchronize);
}

QString CActionDlg::HelpPagePath() {
  Dl_info info{};
  if (dladdr(&kModuleAnchor, &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return QString::fromLocal8Bit(HelpPageFor(path.substr(0, slash + 1)));
}

std::string CActionDlg::HelpPageFor(const std::string& directory) {
  const std::string beside = directory + kHelpPageName;
  if (access(beside.c_str(), R_OK) == 0) return beside;
  return directory + TALLIMOR_HELP_FROM_LIBRARY "/" + kHelpPageName;
}

QWidget* CActionDlg::control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void CActionDlg::accept() {
  if (record_ != nullptr) {
    std::int32_t chosen = kSyncDoNothing;
    for (const ActionRow& row : kActions) {
      if (actions_->checkedId() == row.button) chosen = row.syncType;
    }
    record_->chosenSyncType = chosen;
    record_->preference =
        setAsDefault_->isChecked() ? kSyncPreferenceDefault : kSyncPreferenceNextOnly;
  }
  done(kEndedOk);
}

void CActionDlg::reject() { done(kEndedCancel); }

void CActionDlg::showHelp() {
  const QString page = HelpPagePath();
  if (page.isEmpty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

void CActionDlg::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange && record_ != nullptr) loadPictures();
  QDialog::changeEvent(event);
}

void CActionDlg::initialise() {
  if (record_ == nullptr) return;
  static_cast<QGroupBox*>(control(kIdActionGroup))->setTitle(stringText(kStrActionGroup));
  setWindowTitle(stringText(kStrConduitName));
  loadPictures();
  actions_->button(ButtonForSyncType(record_->nextSyncType))->setChecked(true);
  if (record_->creator == 0) return;  // no user: no current settings to show

  static_cast<QLabel*>(control(kIdNextAction))
      ->setText(stringText(actions_->checkedId() + (kStrActionSynchronize - kIdSynchronize)));
  static_cast<QLabel*>(control(kIdDefaultAction))
      ->setText(stringText(TextForSyncType(record_->defaultSyncType)));
  char heading[kWsprintfMax];
  char name[kConduitUserNameSize + 1] = {};
  std::memcpy(name, record_->userName, sizeof record_->userName);  // terminated even if the record is not
  char format[kWsprintfMax];
  LoadConduitString(kStrCurrentSettings, format, sizeof format);
  FormatWsprintfA(heading, sizeof heading, format, {name});
  currentSettings_->setTitle(FromCp932(heading, sizeof heading));
  currentSettings_->setVisible(true);
}

void CActionDlg::loadPictures() {
  const QColor face = palette().color(QPalette::Button);
  for (int i = 0; i < 4; ++i) {
    pictures_[i]->setPixmap(DrawActionPicture(kFirstPictureBitmap + i, face));
  }
}

QString CActionDlg::stringText(int id) {
  char text[kWsprintfMax];
  LoadConduitString(id, text, sizeof text);
  return FromCp932(text, sizeof text);
}

}  // namespace tallimor
