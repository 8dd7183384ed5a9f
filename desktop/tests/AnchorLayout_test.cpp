// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The anchor layout on its own: registration from the control's present place, the
// four flags, replacing and removing entries, and controls that are gone.
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

#include "desktop/CAnchorLayout.h"

namespace tallimor::test {
namespace {

using A = CAnchorLayout;

class MainDlgViewAnchorLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_.resize(300, 200);
    control_ = new QWidget(&parent_);
    control_->setGeometry(20, 30, 100, 50);  // margins: 180 to the right, 120 below
  }
  QRect After(unsigned flags, QSize grown = QSize(340, 260)) {
    control_->setGeometry(20, 30, 100, 50);
    parent_.resize(300, 200);
    CAnchorLayout layout;
    EXPECT_TRUE(layout.Register(control_, flags));
    parent_.resize(grown);
    layout.Apply(&parent_);
    return control_->geometry();
  }

  QWidget parent_;
  QWidget* control_ = nullptr;
};

TEST_F(MainDlgViewAnchorLayout, EachFlagMovesOnlyItsEdge) {
  EXPECT_EQ(After(A::kAnchorRight), QRect(20, 30, 140, 50));
  EXPECT_EQ(After(A::kAnchorRight | A::kKeepWidth), QRect(60, 30, 100, 50));
  EXPECT_EQ(After(A::kAnchorBottom), QRect(20, 30, 100, 110));
  EXPECT_EQ(After(A::kAnchorBottom | A::kKeepHeight), QRect(20, 90, 100, 50));
  EXPECT_EQ(After(A::kAnchorRight | A::kAnchorBottom | A::kKeepWidth | A::kKeepHeight),
            QRect(60, 90, 100, 50));
  // Keep flags without their anchor change nothing.
  EXPECT_EQ(After(A::kKeepWidth | A::kKeepHeight), QRect(20, 30, 100, 50));
  // Shrinking follows the same margins.
  EXPECT_EQ(After(A::kAnchorRight | A::kAnchorBottom, QSize(250, 180)), QRect(20, 30, 50, 30));
}

TEST_F(MainDlgViewAnchorLayout, RegisteringAgainReplacesAndFlagsZeroRemoves) {
  CAnchorLayout layout;
  EXPECT_FALSE(layout.Register(nullptr, A::kAnchorRight));
  QWidget orphan;
  EXPECT_FALSE(layout.Register(&orphan, A::kAnchorRight));
  EXPECT_FALSE(layout.Register(control_, 0));  // nothing to remove yet

  ASSERT_TRUE(layout.Register(control_, A::kAnchorRight));
  control_->setGeometry(20, 30, 100, 50);
  ASSERT_TRUE(layout.Register(control_, A::kAnchorBottom));  // replaces the first entry
  EXPECT_EQ(layout.Count(), 1);
  parent_.resize(340, 260);
  layout.Apply(&parent_);
  EXPECT_EQ(control_->geometry(), QRect(20, 30, 100, 110));

  EXPECT_TRUE(layout.Register(control_, 0));
  EXPECT_EQ(layout.Count(), 0);
  parent_.resize(500, 500);
  layout.Apply(&parent_);
  EXPECT_EQ(control_->geometry(), QRect(20, 30, 100, 110));
}

TEST_F(MainDlgViewAnchorLayout, AControlDestroyedMeanwhileIsSkipped) {
  CAnchorLayout layout;
  auto* other = new QPushButton(&parent_);
  other->setGeometry(200, 150, 80, 20);
  ASSERT_TRUE(layout.Register(control_, A::kAnchorRight));
  ASSERT_TRUE(layout.Register(other, A::kAnchorRight | A::kAnchorBottom | A::kKeepWidth | A::kKeepHeight));
  delete control_;
  control_ = nullptr;
  parent_.resize(400, 300);
  layout.Apply(&parent_);
  EXPECT_EQ(other->geometry(), QRect(300, 250, 80, 20));
}

}  // namespace
}  // namespace tallimor::test
