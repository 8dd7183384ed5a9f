// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The KeePass 2 XML writer. Entry and group UUIDs are a random prefix per export and
// a counter, so two exports never share an identity when imported into one database.
#include "exchange/KeePassXmlFormat.h"

#include <array>
#include <cstdint>
#include <random>

namespace tallimor {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// XML character data: markup characters as entities, CR as a character reference (a
// parser would turn a bare one into LF), other control characters as U+FFFD.
std::string XmlText(const std::string& text, bool* replaced) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\r': out += "&#13;"; break;
      case '\t':
      case '\n': out.push_back(ch); break;
      default:
        if (c < 0x20) {
          out += kReplacement;
          *replaced = true;
        } else {
          out.push_back(ch);
        }
    }
  }
  return out;
}

class UuidMaker {
 public:
  UuidMaker() {
    std::random_device random;
    for (std::size_t i = 0; i < 12; i += 4) {
      const std::uint32_t word = random();
      for (std::size_t b = 0; b < 4; ++b) bytes_[i + b] = static_cast<std::uint8_t>(word >> (8 * b));
    }
  }
  // The next UUID, base64 as KeePass stores it.
  std::string Next() {
    ++counter_;
    for (std::size_t b = 0; b < 4; ++b) bytes_[12 + b] = static_cast<std::uint8_t>(counter_ >> (24 - 8 * b));
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes_.size(); i += 3) {
      const std::uint32_t group = (std::uint32_t{bytes_[i]} << 16) |
                                  (i + 1 < bytes_.size() ? std::uint32_t{bytes_[i + 1]} << 8 : 0) |
                                  (i + 2 < bytes_.size() ? std::uint32_t{bytes_[i + 2]} : 0);
      text.push_back(kDigits[(group >> 18) & 63]);
      text.push_back(kDigits[(group >> 12) & 63]);
      text.push_back(i + 1 < bytes_.size() ? kDigits[(group >> 6) & 63] : '=');
      text.push_back(i + 2 < bytes_.size() ? kDigits[group & 63] : '=');
    }
    return text;
  }

 private:
  std::array<std::uint8_t, 16> bytes_{};
  std::uint32_t counter_ = 0;
};

void WriteString(const char* key, const std::string& value, std::ostream& out, bool* replaced) {
  out << "\t\t\t\t\t<String><Key>" << key << "</Key><Value>" << XmlText(value, replaced) << "</Value></String>\n";
}

}  // namespace

std::string KeePassTitle(const std::string& text) { return text.substr(0, text.find('\n')); }

void WriteKeePassXml(const std::vector<ExchangeMemo>& memos, const std::vector<std::string>& categories,
                     std::ostream& out, std::size_t* replaced) {
  *replaced = 0;
  // Each name once, or its memos would be written twice.
  std::vector<std::string> groups;
  auto addGroup = [&groups](const std::string& name) {
    for (const std::string& known : groups) {
      if (known == name) return;
    }
    groups.push_back(name);
  };
  for (const std::string& name : categories) addGroup(name);
  for (const ExchangeMemo& memo : memos) addGroup(memo.category);
  UuidMaker uuids;
  bool unused = false;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      << "<KeePassFile>\n"
      << "\t<Meta>\n\t\t<Generator>Tallimor</Generator>\n\t\t<DatabaseName>Tallimor</DatabaseName>\n\t</Meta>\n"
      << "\t<Root>\n\t\t<Group>\n\t\t\t<UUID>" << uuids.Next() << "</UUID>\n\t\t\t<Name>Tallimor</Name>\n";
  for (const std::string& group : groups) {
    out << "\t\t\t<Group>\n\t\t\t\t<UUID>" << uuids.Next() << "</UUID>\n\t\t\t\t<Name>" << XmlText(group, &unused)
        << "</Name>\n";
    for (const ExchangeMemo& memo : memos) {
      if (memo.category != group) continue;
      std::string tags;
      for (const auto& [on, tag] : {std::pair{memo.isPrivate, kPrivateTag}, std::pair{memo.deleted, kDeletedTag},
                                    std::pair{memo.archived, kArchivedTag}}) {
        if (on) tags += (tags.empty() ? "" : ";") + std::string(tag);
      }
      bool memoReplaced = false;
      out << "\t\t\t\t<Entry>\n\t\t\t\t\t<UUID>" << uuids.Next() << "</UUID>\n";
      if (!tags.empty()) out << "\t\t\t\t\t<Tags>" << tags << "</Tags>\n";
      WriteString("Title", KeePassTitle(memo.text), out, &memoReplaced);
      WriteString("Notes", memo.text, out, &memoReplaced);
      out << "\t\t\t\t</Entry>\n";
      if (memoReplaced) ++*replaced;
    }
    out << "\t\t\t</Group>\n";
  }
  out << "\t\t</Group>\n\t</Root>\n</KeePassFile>\n";
}

}  // namespace tallimor
