// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The export, import and backup commands: file dialogs, questions and messages around
// exchange/'s formats, the import's checks and the read-only memo files.
#include "desktop/CMemoExchange.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <sstream>

#include "desktop/CBackupWindow.h"
#include "desktop/CDesktopApp.h"
#include "desktop/CMainDlgView.h"
#include "desktop/CPasswordPromptDlg.h"
#include "desktop/CWindowMessageEvent.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/resources/StringTable.h"
#include "exchange/CsvMemoFormat.h"
#include "exchange/KeePassXmlFormat.h"
#include "exchange/MemoFile.h"
#include "exchange/MemoFileTexts.h"
#include "exchange/MemoImport.h"
#include "exchange/TextMemoFormat.h"
#include "protect/CProtectedRecordFile.h"
#include "protect/PasswordInfo.h"
#include "protect/StoredMemo.h"
#include "store/AtomicFile.h"
#include "text/CodePage932.h"

namespace tallimor {
namespace {

QString Str(int id) { return QString::fromUtf8(LoadString(id)); }

// Why an import was refused, and where in the file.
QString ProblemDetail(const ImportProblem& problem) {
  QString detail = Str(kIdsImportFault + static_cast<int>(problem.fault) - 1);
  if (problem.character != 0) {
    detail += QStringLiteral(" (U+%1)").arg(static_cast<uint>(problem.character), 4, 16, QChar('0')).toUpper();
  }
  if (problem.line != 0) detail += Str(kIdsImportLine).arg(problem.line);
  return detail;
}

}  // namespace

bool CMemoExchange::OnCommand(CDesktopApp& app, int command) {
  switch (command) {
    case kCmdExport: {
      std::vector<std::string> categories;
      const std::vector<ExchangeMemo> memos = StoreMemos(app, &categories);
      Export(app, app.LastActivePopup(), memos, categories);
      return true;
    }
    case kCmdImport:
      Import(app);
      return true;
    case kCmdOpenBackup:
      OpenBackup(app);
      return true;
    default:
      return false;
  }
}

std::vector<ExchangeMemo> CMemoExchange::StoreMemos(CDesktopApp& app, std::vector<std::string>* categories) {
  std::vector<ExchangeMemo> memos;
  CProtectedRecordFile* store = app.GetStore();
  bool lossy = false;
  *categories = ExchangeCategoryNames(store != nullptr ? store->Categories() : nullptr, &lossy);
  if (store == nullptr) return memos;
  for (std::int32_t slot = 0; slot < store->HighWater(); ++slot) {
    const CPRecord* record = store->RecordAt(slot);
    if (record == nullptr || !IsExportedRecord(*record, false)) continue;
    memos.push_back(MakeExchangeMemo(*record, StoredMemoText(*record), store->Categories(), &lossy));
  }
  return memos;
}

void CMemoExchange::Export(CDesktopApp& app, QWidget* parent, const std::vector<ExchangeMemo>& memos,
                           const std::vector<std::string>& categories) {
  const QStringList filters = {Str(kIdsFilterKeePassXml), Str(kIdsFilterCsv), Str(kIdsFilterText)};
  static const char* const kSuffixes[] = {".xml", ".csv", ".txt"};
  QString filter = filters.front();
  QString path;
  {
    CDesktopApp::OpenDialogScope scope(app);
    path = QFileDialog::getSaveFileName(parent, Str(kIdsExportCaption), QString(), filters.join(";;"), &filter,
                                        QFileDialog::DontConfirmOverwrite);
  }
  if (path.isEmpty()) return;
  // A suffix typed with the name says the format, whatever file type the dialog shows:
  // memos.csv must hold CSV. Without one, the chosen file type gives both.
  qsizetype format = std::max<qsizetype>(0, filters.indexOf(filter));
  const QString suffix = QFileInfo(path).suffix();
  for (qsizetype i = 0; i < std::ssize(kSuffixes); ++i) {
    if (suffix.compare(QString::fromLatin1(kSuffixes[i] + 1), Qt::CaseInsensitive) == 0) {
      format = i;
    }
  }
  if (suffix.isEmpty()) path += QString::fromLatin1(kSuffixes[format]);
  if (QFileInfo::exists(path) &&
      app.ShowMessage(kIdsReplaceFile, kIdsExportCaption, kMbYesNo | kMbIconQuestion | kMbDefButton2, {},
                      QFileInfo(path).fileName()) != kIdYes) {
    return;
  }
  std::ostringstream out;
  std::size_t replaced = 0;
  if (format == 0) {
    WriteKeePassXml(memos, categories, out, &replaced);
  } else if (format == 1) {
    WriteCsvMemos(memos, out);
  } else {
    WriteTextMemos(memos, out);
  }
  std::string bytes = out.str();
  std::string error;
  const Result written = AtomicFile::Write(path.toStdString(), reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size(), &error);
  WipeSecret(bytes);
  if (written != kOk) {
    app.ShowMessage(kIdsExportFailed, kIdsExportCaption, kMbOk | kMbIconExclamation, QString::fromStdString(error));
    return;
  }
  const QString note = replaced > 0 ? Str(kIdsExportReplaced).arg(replaced) : QString();
  app.ShowMessage(kIdsExported, kIdsExportCaption, kMbOk | kMbIconInformation, note, QString::number(memos.size()));
}

void CMemoExchange::Import(CDesktopApp& app) {
  CProtectedRecordFile* store = app.GetStore();
  if (store == nullptr) {
    app.ShowMessage(kIdsImportNoUser, kIdsImportCaption, kMbOk | kMbIconExclamation);
    return;
  }
  QString path;
  {
    CDesktopApp::OpenDialogScope scope(app);
    path = QFileDialog::getOpenFileName(app.LastActivePopup(), Str(kIdsImportCaption), QString(),
                                        QStringList{Str(kIdsFilterImport), Str(kIdsFilterCsv),
                                                    Str(kIdsFilterText)}.join(";;"));
  }
  if (path.isEmpty()) return;
  QFile file(path);
  ImportProblem problem;
  if (file.size() > static_cast<qint64>(kMaxImportFileBytes)) {
    problem.fault = ImportFault::kFileTooLarge;
    app.ShowMessage(kIdsImportFileFormat, kIdsImportCaption, kMbOk | kMbIconExclamation, ProblemDetail(problem));
    return;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    app.ShowMessage(kIdsImportUnreadable, kIdsImportCaption, kMbOk | kMbIconExclamation, file.errorString());
    return;
  }
  const QByteArray bytes = file.readAll();
  const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  std::vector<ExchangeMemo> memos;
  const bool csv = QFileInfo(path).suffix().compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0;
  MemoImport import;
  if (!(csv ? ReadCsvMemos(view, &memos, &problem) : ReadTextMemos(view, &memos, &problem)) ||
      !import.Prepare(memos, &problem)) {
    if (problem.memo == 0) {
      app.ShowMessage(kIdsImportFileFormat, kIdsImportCaption, kMbOk | kMbIconExclamation, ProblemDetail(problem));
    } else {
      app.ShowMessage(kIdsImportRefused, kIdsImportCaption, kMbOk | kMbIconExclamation, ProblemDetail(problem),
                      QString::number(problem.memo));
    }
    return;
  }
  ImportCounts counts;
  const Result applied = import.Apply(*store, &counts);
  if (applied != kOk) {
    app.ShowMessage(kIdsImportUnreadable, kIdsImportCaption, kMbOk | kMbIconExclamation,
                    QString::fromUtf8(ResultMeaning(applied)));
    return;
  }
  if (CMainDlgView* mainView = app.MainView()) PostWindowMessage(mainView, kWmUserReload);
  const QString note = counts.filedAsUnfiled > 0 ? Str(kIdsImportUnfiled).arg(counts.filedAsUnfiled) : QString();
  app.ShowMessage(kIdsImported, kIdsImportCaption, kMbOk | kMbIconInformation, note, QString::number(counts.memos));
}

void CMemoExchange::OpenBackup(CDesktopApp& app) {
  QString path;
  {
    CDesktopApp::OpenDialogScope scope(app);
    path = QFileDialog::getOpenFileName(app.LastActivePopup(), Str(kIdsBackupCaption), QString(),
                                        Str(kIdsFilterBackup));
  }
  if (path.isEmpty()) return;
  const std::string file = path.toStdString();
  MemoFile opened;
  const Result read = ReadMemoFile(file, opened);
  if (read != kOk) {
    // A file read in part would show fewer memos than it holds, as if that were all.
    QString detail = QString::fromUtf8(ResultMeaning(read));
    if (!opened.openError.empty()) detail += QStringLiteral(" (%1)").arg(QString::fromStdString(opened.openError));
    app.ShowMessage(kIdsBackupUnreadable, kIdsBackupCaption, kMbOk | kMbIconExclamation, detail);
    return;
  }
  CPasswordPromptDlg prompt(Str(kIdsBackupCaption), Str(kIdsBackupPassword), app.LastActivePopup());
  {
    CDesktopApp::OpenDialogScope scope(app);
    if (prompt.exec() != QDialog::Accepted) return;
  }
  QByteArray typed = prompt.Password()->text().toUtf8();
  prompt.Password()->clear();
  Converted<std::string> key = CodePage932::FromUtf8(std::string_view(typed.constData(), typed.size()));
  typed.fill('\0');
  if (!key.ok()) {
    app.ShowMessage(kIdsPasswordNotCp932, kIdsBackupCaption, kMbOk | kMbIconExclamation);
    return;
  }
  std::size_t undecodable = 0;
  const MemoTextsResult result = FillMemoTexts(key.text.c_str(), file, opened, &undecodable);
  WipeSecret(key.text);
  if (result == MemoTextsResult::kWrongPassword || result == MemoTextsResult::kNoPasswordInfo) {
    app.ShowMessage(kIdsBackupWrongPassword, kIdsBackupCaption, kMbOk | kMbIconExclamation);
    return;
  }
  if (result == MemoTextsResult::kDecipheredToText) {
    app.ShowMessage(kIdsBackupTakenByText, kIdsBackupCaption, kMbOk | kMbIconInformation);
  }
  bool lossy = false;
  const CPCategoryTable* table = opened.hasCategories ? &opened.categories : nullptr;
  std::vector<ExchangeMemo> memos;
  for (std::size_t i = 0; i < opened.records.size() && i < opened.memos.size(); ++i) {
    if (!IsExportedRecord(*opened.records[i], false)) continue;
    memos.push_back(MemoFileExchangeMemo(opened, i, &lossy));
  }
  for (std::string& memo : opened.memos) WipeSecret(memo);
  // A window of its own, beside the main window, that closes and frees itself.
  auto* window = new CBackupWindow(app, path, std::move(memos), ExchangeCategoryNames(table, &lossy), nullptr);
  window->show();
}

}  // namespace tallimor
