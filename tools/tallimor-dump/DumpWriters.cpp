// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Text and JSON forms of a dumped record file. Both walk the same MemoFile in
// the same order (header, app info, sort info, categories, records), so that
// they always show the same things.
#include "tools/tallimor-dump/DumpWriters.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "store/ByteOrder.h"
#include "store/Cp932Bytes.h"
#include "text/ShownText.h"
#include "tools/common/TextOutput.h"

namespace tallimor {
namespace {

// Palm dates count seconds from 1904-01-01; Unix time from 1970-01-01.
constexpr long long kPalmToUnixSeconds = 2082844800LL;

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

// Printable text for the listing: printable ASCII as is, other bytes as \xHH. Both
// bytes of a code page 932 double-byte character are escaped, so that a trail byte
// in the ASCII range does not read as a letter.
std::string Printable(const char* bytes, std::size_t n) {
  std::string text;
  bool trail = false;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (!trail && c >= 0x20 && c < 0x7F && c != '\\') {
      text.push_back(static_cast<char>(c));
    } else {
      AppendByteEscape(text, c);
    }
    trail = !trail && IsCp932LeadByte(c);
  }
  return text;
}

// The four characters of a creator or type value, most significant byte first.
std::string FourChars(std::uint32_t value) {
  std::uint8_t chars[4];
  EncodeFixed32BE(chars, value);
  return std::string(reinterpret_cast<const char*>(chars), 4);
}

std::string HeaderName(const RecordFileHeader& header) {
  return std::string(header.name, strnlen(header.name, kDatabaseNameSize));
}

std::string PalmDate(std::uint32_t seconds) {
  if (seconds == 0) return "";
  const std::time_t unix = static_cast<std::time_t>(static_cast<long long>(seconds) - kPalmToUnixSeconds);
  std::tm tm {};
  if (gmtime_r(&unix, &tm) == nullptr) return "";
  char text[32];
  std::strftime(text, sizeof text, " (%Y-%m-%d %H:%M:%S UTC)", &tm);
  return text;
}

std::string StatusWords(std::uint32_t status) {
  static const struct {
    std::uint32_t bit;
    const char* word;
  } kWords[] = {{kStatusDeleted, "deleted"},
                {kStatusArchived, "archived"},
                {kStatusModified, "modified"},
                {kStatusNew, "new"}};
  std::string text;
  for (const auto& w : kWords) {
    if (status & w.bit) text += std::string(" ") + w.word;
  }
  return text;
}

void HexDump(const std::uint8_t* bytes, std::size_t n, const char* indent, std::ostream& out) {
  for (std::size_t line = 0; line < n; line += 16) {
    char text[96];
    int used = std::snprintf(text, sizeof text, "%s%04zx ", indent, line);
    std::string ascii;
    for (std::size_t i = line; i < line + 16; ++i) {
      if (i < n) {
        used += std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), " %02x", bytes[i]);
        ascii.push_back(bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.');
      } else {
        used += std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), "   ");
      }
    }
    out << text << "  |" << ascii << "|\n";
  }
}

void TextBlock(const char* title, const InfoBlock* block, std::ostream& out) {
  if (!block) {
    out << title << ": none\n";
    return;
  }
  const std::string name = block->Name();
  char line[160];
  std::snprintf(line, sizeof line, "%s: %u bytes, capacity %u, used %u, reserved 0x%08x, name \"",
                title, block->Size(), block->Capacity(), block->Used(), block->Reserved());
  out << line << Printable(name.data(), name.size()) << "\"\n";
  HexDump(block->Data(), block->Used(), "  ", out);
}

void JsonBlock(const InfoBlock* block, std::ostream& out) {
  if (!block) {
    out << "null";
    return;
  }
  const std::string name = block->Name();
  out << "{\"name\": " << JsonBytes(name) << ", \"capacity\": " << block->Capacity()
      << ", \"used\": " << block->Used() << ", \"reserved\": " << block->Reserved() << ", \"data\": \""
      << Hex(block->Data(), block->Used()) << "\"}";
}

}  // namespace

void WriteDumpText(const MemoFile& file, std::ostream& out) {
  const RecordFileHeader* h = file.headerRead ? file.contents.header.get() : nullptr;
  if (!h) {
    out << "Header: could not be read\n";
  } else {
    const std::string name = HeaderName(*h);
    const std::string creator = FourChars(h->creator);
    const std::string type = FourChars(h->type);
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%04x", h->flags);
    out << "Header\n"
        << "  name         \"" << Printable(name.data(), name.size()) << "\"\n"
        << "  version      " << h->version << "\n"
        << "  dbVersion    " << h->dbVersion << "\n"
        << "  creator      '" << Printable(creator.data(), 4) << "'\n"
        << "  type         '" << Printable(type.data(), 4) << "'\n"
        << "  flags        " << flags << "\n"
        << "  modDate      " << h->modDate << PalmDate(h->modDate) << "\n"
        << "  modNumber    " << h->modNumber << "\n"
        << "  createDate   " << h->createDate << PalmDate(h->createDate) << "\n"
        << "  backupDate   " << h->backupDate << PalmDate(h->backupDate) << "\n"
        << "  recordCount  " << h->recordCount << "\n";
  }
  TextBlock("App info", file.contents.appInfo.get(), out);
  TextBlock("Sort info", file.contents.sortInfo.get(), out);

  const CPCategoryTable& categories = file.categories;
  out << "Categories (" << categories.Count() << ")\n";
  for (int i = 0; i < kCategoryCount; ++i) {
    const CPCategory* c = categories.At(i);
    if (!c) continue;
    const char* name = c->Name() ? c->Name() : "";
    char line[64];
    std::snprintf(line, sizeof line, "  %2d  id %3d  \"", c->Index(), c->Id());
    out << line << Printable(name, std::strlen(name)) << "\"" << (c->IsChanged() ? "  changed" : "")
        << "\n";
  }

  out << "Records (" << file.records.size() << ")\n";
  for (std::size_t i = 0; i < file.records.size(); ++i) {
    const CPRecord& r = *file.records[i];
    char line[128];
    std::snprintf(line, sizeof line, "  #%zu  id %u  category %d  status 0x%x", i, r.Id(), r.Category(),
                  r.Status());
    out << line << StatusWords(r.Status()) << (r.IsPrivate() ? "  private" : "") << "  " << r.DataLength()
        << " bytes\n";
    HexDump(r.Data(), r.DataLength(), "      ", out);
    if (file.hasTexts && i < file.texts.size()) WriteMemoLines(file.texts[i], out);
  }
}

void WriteDumpJson(const MemoFile& file, std::ostream& out) {
  out << "{\"header\": ";
  const RecordFileHeader* h = file.headerRead ? file.contents.header.get() : nullptr;
  if (!h) {
    out << "null";
  } else {
    const std::string name = HeaderName(*h);
    const std::string creator = FourChars(h->creator);
    const std::string type = FourChars(h->type);
    out << "{\"name\": " << JsonBytes(name) << ", \"version\": " << h->version
        << ", \"dbVersion\": " << h->dbVersion << ", \"creator\": " << JsonBytes(creator)
        << ", \"type\": " << JsonBytes(type) << ", \"flags\": " << h->flags
        << ", \"modDate\": " << h->modDate << ", \"modNumber\": " << h->modNumber
        << ", \"createDate\": " << h->createDate << ", \"backupDate\": " << h->backupDate
        << ", \"recordCount\": " << h->recordCount << "}";
  }
  out << ",\n \"appInfo\": ";
  JsonBlock(file.contents.appInfo.get(), out);
  out << ",\n \"sortInfo\": ";
  JsonBlock(file.contents.sortInfo.get(), out);

  out << ",\n \"categories\": [";
  const char* separator = "";
  for (int i = 0; i < kCategoryCount; ++i) {
    const CPCategory* c = file.categories.At(i);
    if (!c) continue;
    const char* name = c->Name() ? c->Name() : "";
    out << separator << "\n  {\"index\": " << c->Index() << ", \"id\": " << c->Id() << ", \"name\": \""
        << Hex(reinterpret_cast<const std::uint8_t*>(name), std::strlen(name))
        << "\", \"changed\": " << (c->IsChanged() ? "true" : "false") << "}";
    separator = ",";
  }
  out << "],\n \"records\": [";
  separator = "";
  for (std::size_t i = 0; i < file.records.size(); ++i) {
    const auto& record = file.records[i];
    out << separator << "\n  {\"id\": " << record->Id() << ", \"category\": " << record->Category()
        << ", \"status\": " << record->Status() << ", \"private\": " << (record->IsPrivate() ? "true" : "false")
        << ", \"data\": \"" << Hex(record->Data(), record->DataLength()) << "\"";
    if (file.hasTexts && i < file.texts.size()) out << ", \"text\": " << JsonUtf8(file.texts[i]);
    out << "}";
    separator = ",";
  }
  out << "]}\n";
}

}  // namespace tallimor
