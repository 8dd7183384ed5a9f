// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The review of memos kept in both versions: which recorded pairs are offered, what
// each choice does to the store and to record.CFL, and the dialog showing both
// versions deciphered.
#include <QPlainTextEdit>
#include <QPushButton>

#include "desktop/CConflictReviewDlg.h"
#include "desktop/resources/StringTable.h"
#include "desktop/tests/ViewTestSupport.h"
#include "protect/CProtectedRecordFile.h"
#include "store/ConflictPairFile.h"

namespace tallimor::test {
namespace {

class ConflictReviewTest : public ViewSandbox {
 protected:
  void SetUp() override {
    ViewSandbox::SetUp();
    RecordFileFixture file;
    file.categories = {"Unfiled", "Work"};
    file.memos = {{0x10, 1, "handheld's\nversion"}, {0x11, 0, "desktop's version"},
                  {0x12, 0, "another, handheld"}, {0x13, 0, "another, desktop"}};
    Open(file);
    pairs_ = std::make_unique<ConflictPairFile>(ConflictPairFile::PathBeside(DataPath(user_)));
    // Mark 0 is the fixture file's own; 7 would be a HotSync that was rolled back.
    ASSERT_EQ(pairs_->Write({{0, 0x10, 0x11}, {7, 0x12, 0x13}, {0, 0x12, 0x99}, {0, 0x12, 0x13}}), kOk);
  }
  std::vector<ConflictPair> OnDisk() const {
    std::vector<ConflictPair> read;
    pairs_->Read(&read);
    return read;
  }
  bool DeletedOnDisk(std::int32_t index) const {
    CProtectedRecordFile disk(DataPath(user_), kViewPassword);
    return disk.Load() == kOk && disk.RecordAt(index) != nullptr && disk.RecordAt(index)->IsDeleted();
  }
  std::unique_ptr<ConflictPairFile> pairs_;
};

TEST_F(ConflictReviewTest, OnlyPairsOfACommittedHotSyncWithBothMemosLiveAreOffered) {
  EXPECT_EQ(app_->PendingConflicts(), (std::vector<ConflictPair>{{0, 0x10, 0x11}, {0, 0x12, 0x13}}));
  Store()->MarkDeleted(3, true);  // one memo of the second pair deleted meanwhile
  EXPECT_EQ(app_->PendingConflicts(), (std::vector<ConflictPair>{{0, 0x10, 0x11}}));
}

TEST_F(ConflictReviewTest, KeepingOneDeletesTheOtherOnDiskAndForgetsThePair) {
  ASSERT_EQ(app_->DecideConflict({0, 0x10, 0x11}, ConflictChoice::kKeepHandheld), kOk);
  EXPECT_TRUE(DeletedOnDisk(1));
  EXPECT_FALSE(DeletedOnDisk(0));
  EXPECT_EQ(MemoAt(0), "handheld's\nversion");  // read back deciphered after the save
  EXPECT_EQ(OnDisk().size(), 3u);
  EXPECT_EQ(app_->PendingConflicts(), (std::vector<ConflictPair>{{0, 0x12, 0x13}}));

  ASSERT_EQ(app_->DecideConflict({0, 0x12, 0x13}, ConflictChoice::kKeepBoth), kOk);
  EXPECT_FALSE(DeletedOnDisk(2));
  EXPECT_FALSE(DeletedOnDisk(3));
  EXPECT_TRUE(app_->PendingConflicts().empty());
}

TEST_F(ConflictReviewTest, AChoiceThatCannotBeSavedDeletesNothingAndKeepsThePair) {
  ::unlink(DataPath(user_).c_str());
  EXPECT_NE(app_->DecideConflict({0, 0x10, 0x11}, ConflictChoice::kKeepDesktop), kOk);
  EXPECT_FALSE(Store()->RecordAt(0)->IsDeleted());
  EXPECT_EQ(OnDisk().size(), 4u);
}

TEST_F(ConflictReviewTest, TheOfferRunsTheDialogWithBothVersionsDeciphered) {
  answer_ = kIdYes;
  auto shown = std::make_shared<std::vector<QString>>();
  std::shared_ptr<bool> reviewed = WhenShown<CConflictReviewDlg>([shown](CConflictReviewDlg* dialog) {
    shown->push_back(dialog->HandheldPane()->toPlainText());
    shown->push_back(dialog->DesktopPane()->toPlainText());
    dialog->KeepDesktopButton()->click();  // first pair: the desktop's version
    shown->push_back(dialog->HandheldPane()->toPlainText());
    dialog->LaterButton()->click();        // the second waits
  });
  EXPECT_EQ(app_->OfferConflictReview(), 1);
  ASSERT_TRUE(*reviewed);
  ASSERT_EQ(shown->size(), 3u);
  EXPECT_EQ((*shown)[0], QStringLiteral("handheld's\nversion"));
  EXPECT_EQ((*shown)[1], QStringLiteral("desktop's version"));
  EXPECT_EQ((*shown)[2], QStringLiteral("another, handheld"));
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_[0].textId, kIdsConflictOffer);
  EXPECT_TRUE(DeletedOnDisk(0));
  EXPECT_EQ(app_->PendingConflicts(), (std::vector<ConflictPair>{{0, 0x12, 0x13}}));
}

TEST_F(ConflictReviewTest, DecliningTheOfferChangesNothing) {
  answer_ = kIdNo;
  EXPECT_EQ(app_->OfferConflictReview(), 0);
  EXPECT_EQ(OnDisk().size(), 4u);
  EXPECT_EQ(app_->PendingConflicts().size(), 2u);
}

}  // namespace
}  // namespace tallimor::test
