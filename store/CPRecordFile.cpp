// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPRecordFile: load and save of the desktop program's record.dat over the shared
// format code, the record list, and the desktop's category operations. Save
// replaces the file whole through LockedFile; the file must already exist.
#include "store/CPRecordFile.h"

#include <new>
#include <utility>

#include "store/ByteOrder.h"
#include "store/CopyOut.h"

namespace tallimor {
namespace {

// An app info block made for categories holds exactly the category table.
constexpr std::uint32_t kCategoryBlockCapacity = kCategoryTableSize;

}  // namespace

CPRecordFile::CPRecordFile(std::string path, std::uint32_t capabilityFlags)
    : path_(std::move(path)), flags_(capabilityFlags) {}

CPRecordFile::~CPRecordFile() = default;

void CPRecordFile::DiscardAll() {
  records_.Clear();
  position_ = 0;
  categories_.reset();
  header_.reset();
  appInfo_.reset();
  sortInfo_.reset();
}

Result CPRecordFile::ReadFile() {
  dirty_ = false;
  if (path_.empty()) return kErrNoFileName;
  if (!file_.IsOpen()) return kErrFileNotOpen;
  RecordFileContents contents;
  const Result result =
      ReadRecordFile(file_.Descriptor(), contents, [this](std::unique_ptr<CPRecord> record) {
        std::int32_t slot = -1;
        return records_.Add(std::move(record), slot);
      });
  header_ = std::move(contents.header);
  appInfo_ = std::move(contents.appInfo);
  sortInfo_ = std::move(contents.sortInfo);
  readIdentity_ = file_.Identity();
  if (!LockedFile::ContentDigest(file_.Descriptor(), &readDigest_)) readIdentity_ = FileIdentity{};
  file_.Close();
  dirty_ = false;
  return result;
}

Result CPRecordFile::WriteFile() {
  if (!dirty_ && !(categories_ && categories_->IsDirty())) return kOk;
  if (file_.Open(path_, LockedFile::Mode::kReadWriteExisting) != kOk) return kErrWrite;
  // The file is not held between a load and a save; one that another program (a
  // HotSync that ran without telling this one) wrote meanwhile is not written over.
  if (readIdentity_.size >= 0 && !(file_.Identity() == readIdentity_)) {
    // Replaced or touched, but it may hold the very bytes read (a copy put back).
    std::uint64_t digest = 0;
    if (file_.Identity().size != readIdentity_.size ||
        !LockedFile::ContentDigest(file_.Descriptor(), &digest) || digest != readDigest_) {
      file_.Close();
      return kErrFileChanged;
    }
  }
  if (!header_) {
    file_.Close();
    return kOk;
  }
  std::int32_t slot = -1;
  const RecordSource source = [this, &slot]() -> const CPRecord* {
    slot = records_.NextOccupied(slot + 1);
    return slot == -1 ? nullptr : records_.At(slot);
  };
  const Result result = file_.Replace([&](int fd) {
    return WriteRecordFile(fd, *header_, appInfo_.get(), sortInfo_.get(), records_.Count(), source,
                           StoredFlagsPolicy::kFromRecord);
  });
  if (result == kOk) {
    readIdentity_ = file_.Identity();
    if (!LockedFile::ContentDigest(file_.Descriptor(), &readDigest_)) readIdentity_ = FileIdentity{};
  }
  file_.Close();
  if (result != kOk) return result == kErrOutOfMemory || result == kErrFileChanged ? result : kErrWrite;
  dirty_ = false;
  return kOk;
}

Result CPRecordFile::Load() {
  DiscardAll();
  dirty_ = false;
  if (file_.Open(path_, LockedFile::Mode::kReadWriteExisting) != kOk) return kErrOpenFailed;
  const Result readResult = ReadFile();
  file_.Close();
  // Categories are built even after a read error when the app info block was
  // read, so that the caller sees all that could be read.
  const Result tableResult = (readResult == kOk || appInfo_) ? BuildCategoryTable() : kOk;
  return readResult != kOk ? readResult : tableResult;
}

Result CPRecordFile::Save() {
  if (!dirty_ && !(categories_ && categories_->IsDirty())) return kOk;
  const Result result = StoreCategoryTable();
  if (result != kOk) return result;
  return WriteFile();
}

bool CPRecordFile::UsesCategories() const {
  return (flags_ & kCategories) && (flags_ & kAppInfo);
}

Result CPRecordFile::BuildCategoryTable() {
  if (!UsesCategories()) return kOk;
  categories_.reset();
  if (!appInfo_ || appInfo_->Used() == 0) return kErrNoAppInfoForCategories;
  categories_.reset(new (std::nothrow) CPCategoryTable);
  if (!categories_) return kErrOutOfMemory;
  const Result result = categories_->Load(appInfo_->Data(), appInfo_->Used());
  if (result == kErrCategoryTableShort) {
    categories_.reset();
    return result;
  }
  categories_->SetDirty(false);
  return result;
}

Result CPRecordFile::StoreCategoryTable() {
  if (!UsesCategories() || !categories_ || !categories_->IsDirty()) return kOk;
  dirty_ = true;
  if (!appInfo_) {
    appInfo_ = InfoBlock::Create(kCategoryBlockCapacity, nullptr);
    if (!appInfo_) return kErrOutOfMemory;
  }
  std::uint32_t size = appInfo_->Capacity();
  const Result result = categories_->Store(appInfo_->Data(), size);
  if (result != kOk) return result;
  if (appInfo_->Used() < size) appInfo_->SetUsed(size);
  const std::uint16_t changed = categories_->ChangedWord();
  EncodeFixed16BE(appInfo_->Data(), changed);
  return kOk;
}

CPRecord* CPRecordFile::RecordAt(std::int32_t index) const { return records_.At(index); }

CPRecord* CPRecordFile::FirstRecord() {
  position_ = 0;
  return NextRecord();
}

CPRecord* CPRecordFile::NextRecord() {
  const std::int32_t slot = records_.NextOccupied(position_);
  if (slot == -1) {
    position_ = records_.HighWater();
    return nullptr;
  }
  position_ = slot + 1;
  return records_.At(slot);
}

Result CPRecordFile::AddRecord(const CPRecord& record, std::int32_t* index) {
  if (index) *index = -1;
  std::unique_ptr<CPRecord> copy(new (std::nothrow) CPRecord(record));
  if (!copy || copy->DataLength() != record.DataLength()) return kErrOutOfMemory;
  std::int32_t slot = -1;
  const Result result = records_.Add(std::move(copy), slot);
  if (result != kOk) return result;
  if (index) *index = slot;
  dirty_ = true;
  return kOk;
}

CPRecord* CPRecordFile::AddEmptyRecord() {
  std::unique_ptr<CPRecord> record(new (std::nothrow) CPRecord);
  if (!record) return nullptr;
  record->SetId(0);
  record->SetNew(true);
  std::int32_t slot = -1;
  if (records_.Add(std::move(record), slot) != kOk) return nullptr;
  dirty_ = true;
  return records_.At(slot);
}

Result CPRecordFile::MarkModified(std::int32_t index, bool on) {
  CPRecord* record = records_.At(index);
  if (!record) return kErrRecordNotFound;
  if (!record->IsNew()) record->SetModified(on);
  dirty_ = true;
  return kOk;
}

Result CPRecordFile::MarkDeleted(std::int32_t index, bool on) {
  CPRecord* record = records_.At(index);
  if (!record) return kErrRecordNotFound;
  record->SetDeleted(on);
  dirty_ = true;
  return kOk;
}

Result CPRecordFile::RemoveRecord(std::int32_t index) {
  if (!records_.Remove(index)) return kErrRecordNotFound;
  dirty_ = true;
  return kOk;
}

std::int32_t CPRecordFile::FindRecordById(std::uint32_t id) const { return records_.FindById(id); }

Result CPRecordFile::SetRecordId(std::int32_t index, std::uint32_t id) {
  if (!records_.SetId(index, id)) return kErrRecordNotFound;
  dirty_ = true;
  return kOk;
}

std::int32_t CPRecordFile::RecordCount() const { return records_.Count(); }
std::int32_t CPRecordFile::HighWater() const { return records_.HighWater(); }

CPCategoryTable* CPRecordFile::Categories() const { return categories_.get(); }

CPCategory* CPRecordFile::CategoryAt(std::int32_t index) const {
  return categories_ ? categories_->At(index) : nullptr;
}

CPCategory* CPRecordFile::FirstCategory() { return categories_ ? categories_->First() : nullptr; }
CPCategory* CPRecordFile::NextCategory() { return categories_ ? categories_->Next() : nullptr; }

std::int32_t CPRecordFile::FirstFreeCategoryIndex() const {
  return categories_ ? categories_->FirstFreeIndex() : -1;
}

Result CPRecordFile::AddCategory(CPCategory& category) {
  if (!categories_) return kErrCategoryTableFull;
  const std::int32_t id = categories_->NextDesktopId();
  if (id == -1) return kErrCategoryTableFull;
  category.SetId(id);
  category.SetIndex(-1);
  return categories_->AddAndMarkDirty(category);
}

Result CPRecordFile::RenameCategory(std::int32_t index, const char* name) {
  if (!categories_) return kErrNoCategoryAtIndex;
  const Result result = categories_->SetNameAt(index, name);
  if (result != kOk) return result;
  categories_->At(index)->SetChanged(true);
  categories_->SetDirty(true);
  return kOk;
}

Result CPRecordFile::DeleteCategory(std::int32_t index, bool move) {
  if (index < 0 || index >= kCategoryCount) return kErrRecordCategoryIndex;
  if (!categories_) return kErrNoCategoryAtIndex;
  const Result result = categories_->DeleteAt(index);
  if (result != kOk) return result;
  for (std::int32_t slot = records_.NextOccupied(0); slot != -1;
       slot = records_.NextOccupied(slot + 1)) {
    CPRecord* record = records_.At(slot);
    if (record->Category() != index) continue;
    if (move) {
      record->SetCategory(0);
    } else {
      record->SetDeleted(true);
    }
    record->SetModified(true);
  }
  dirty_ = true;
  return kOk;
}

Result CPRecordFile::GetAppInfoData(std::uint8_t* buffer, std::uint32_t& size) const {
  if (!appInfo_) return kErrNoAppInfo;
  return CopyOut(appInfo_->Data(), appInfo_->Used(), buffer, size);
}

}  // namespace tallimor
