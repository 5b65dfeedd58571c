#include "webpage/legacy_html.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quarvel {
namespace {

enum : unsigned {
  kBoundary = 1,  // whitespace-only text touching its start or end tag is dropped
  kRawText = 2,   // content copied unchanged up to its end tag
  kPre = 4,       // whitespace inside is kept
  kHead = 8,      // whitespace inside is dropped
  kBody = 16,     // ends the head
};

struct TagClass {
  std::string_view name;
  unsigned flags;
};

// Upper-case names.
constexpr auto kTagClasses = std::to_array<TagClass>({
    {"ADDRESS", kBoundary},
    {"ARTICLE", kBoundary},
    {"ASIDE", kBoundary},
    {"BASE", kBoundary},
    {"BLOCKQUOTE", kBoundary},
    {"BODY", kBoundary | kBody},
    {"BR", kBoundary},
    {"CAPTION", kBoundary},
    {"CENTER", kBoundary},
    {"COL", kBoundary},
    {"COLGROUP", kBoundary},
    {"DATALIST", kBoundary},
    {"DD", kBoundary},
    {"DETAILS", kBoundary},
    {"DIALOG", kBoundary},
    {"DIR", kBoundary},
    {"DIV", kBoundary},
    {"DL", kBoundary},
    {"DT", kBoundary},
    {"FIELDSET", kBoundary},
    {"FIGCAPTION", kBoundary},
    {"FIGURE", kBoundary},
    {"FOOTER", kBoundary},
    {"FORM", kBoundary},
    {"FRAME", kBoundary},
    {"FRAMESET", kBoundary},
    {"H1", kBoundary},
    {"H2", kBoundary},
    {"H3", kBoundary},
    {"H4", kBoundary},
    {"H5", kBoundary},
    {"H6", kBoundary},
    {"HEAD", kBoundary | kHead},
    {"HEADER", kBoundary},
    {"HGROUP", kBoundary},
    {"HR", kBoundary},
    {"HTML", kBoundary},
    {"IFRAME", kRawText},
    {"LEGEND", kBoundary},
    {"LI", kBoundary},
    {"LINK", kBoundary},
    {"LISTING", kBoundary | kPre},
    {"MAIN", kBoundary},
    {"MENU", kBoundary},
    {"META", kBoundary},
    {"NAV", kBoundary},
    {"NOEMBED", kRawText},
    {"NOFRAMES", kRawText},
    {"NOSCRIPT", kRawText},
    {"OL", kBoundary},
    {"OPTGROUP", kBoundary},
    {"OPTION", kBoundary},
    {"P", kBoundary},
    {"PLAINTEXT", kBoundary | kRawText},
    {"PRE", kBoundary | kPre},
    {"SCRIPT", kRawText},
    {"SECTION", kBoundary},
    {"STYLE", kRawText},
    {"SUMMARY", kBoundary},
    {"TABLE", kBoundary},
    {"TBODY", kBoundary},
    {"TD", kBoundary},
    {"TEXTAREA", kRawText},
    {"TFOOT", kBoundary},
    {"TH", kBoundary},
    {"THEAD", kBoundary},
    {"TITLE", kBoundary | kRawText},
    {"TR", kBoundary},
    {"UL", kBoundary},
    {"XMP", kBoundary | kRawText},
});
constexpr qsizetype kLongestClassifiedName = 10;

bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool IsAsciiLetter(char16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsTagNameChar(char16_t c) { return !IsSpace(c) && c != '/' && c != '>'; }

bool IsBareValueChar(char16_t u) {
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
         u == '_' || u == '.';
}

char16_t Upper(char16_t c) { return c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 32) : c; }

// Up to the first 8 characters of an upper-case ASCII name, one byte each.
constexpr uint64_t Pack(std::string_view name) {
  uint64_t key = 0;
  for (size_t i = 0; i < name.size() && i < 8; ++i)
    key |= uint64_t(static_cast<unsigned char>(name[i])) << (8 * i);
  return key;
}

constexpr size_t Slot(uint64_t key) { return (key * 0x9E3779B97F4A7C15ull) >> 56; }

// The classes by packed name, open addressing over 256 entries.
struct ClassEntry {
  uint64_t key = 0;  // Pack of the name; 0 for an empty entry
  const TagClass* tag = nullptr;
};
struct ClassTable {
  std::array<ClassEntry, 256> entries{};
  constexpr ClassTable() {
    for (const TagClass& c : kTagClasses) {
      size_t slot = Slot(Pack(c.name));
      while (entries[slot].tag) slot = (slot + 1) % entries.size();
      entries[slot] = {Pack(c.name), &c};
    }
  }
};
constexpr ClassTable kClassTable;

// The flags of a tag name in any letter case; 0 for other names.
unsigned Classify(const char16_t* name, qsizetype size) {
  if (size == 0 || size > kLongestClassifiedName) return 0;
  char upper[kLongestClassifiedName];
  uint64_t key = 0;
  for (qsizetype i = 0; i < size; ++i) {
    const char16_t c = Upper(name[i]);
    if (c == 0 || c > 0x7f) return 0;
    upper[i] = static_cast<char>(c);
    if (i < 8) key |= uint64_t(c) << (8 * i);
  }
  for (size_t slot = Slot(key);; slot = (slot + 1) % kClassTable.entries.size()) {
    const ClassEntry& entry = kClassTable.entries[slot];
    if (!entry.tag) return 0;
    // Names up to 8 characters are their key; longer ones are compared whole.
    if (entry.key == key && entry.tag->name.size() == static_cast<size_t>(size) &&
        (size <= 8 || entry.tag->name == std::string_view(upper, static_cast<size_t>(size))))
      return entry.tag->flags;
  }
}

const char16_t* Find(const char16_t* from, const char16_t* end, char16_t c) {
  const qsizetype at = QStringView(from, end - from).indexOf(QChar(c));
  return at < 0 ? nullptr : from + at;
}

// An output that grows as it is written; every write makes room first.
class Output {
 public:
  explicit Output(qsizetype expected) { Grow(expected); }
  void Put(char16_t c) {
    Reserve(1);
    data_[used_++] = c;
  }
  void Put(const char16_t* from, qsizetype count) {
    Reserve(count);
    std::memcpy(data_ + used_, from, static_cast<size_t>(count) * sizeof(char16_t));
    used_ += count;
  }
  // Room for count more characters, which the caller writes.
  char16_t* Room(qsizetype count) {
    Reserve(count);
    char16_t* at = data_ + used_;
    used_ += count;
    return at;
  }
  QString Take() {
    buffer_.truncate(used_);
    return std::move(buffer_);
  }

 private:
  void Reserve(qsizetype count) {
    if (count > capacity_ - used_) Grow(count);
  }
  void Grow(qsizetype count) {
    capacity_ = std::max(capacity_ * 2, used_ + count + 16);
    buffer_.resize(capacity_);
    data_ = reinterpret_cast<char16_t*>(buffer_.data());
  }
  QString buffer_;
  char16_t* data_ = nullptr;
  qsizetype used_ = 0;
  qsizetype capacity_ = 0;
};

// Whether a tag or a comment begins at s[i], which is '<'.
bool StartsMarkup(const char16_t* s, qsizetype i, qsizetype n) {
  if (i + 1 >= n) return false;
  const char16_t c = s[i + 1];
  if (IsAsciiLetter(c)) return true;
  if (c == '/') return i + 2 < n && IsAsciiLetter(s[i + 2]);
  return c == '!' && i + 3 < n && s[i + 2] == '-' && s[i + 3] == '-';
}

// The flags of the tag that begins at s[i] (0 for a comment); reads a few
// characters only.
unsigned PeekFlags(const char16_t* s, qsizetype i, qsizetype n) {
  if (s[i + 1] == '!') return 0;
  const qsizetype start = i + (s[i + 1] == '/' ? 2 : 1);
  qsizetype end = start;
  while (end < n && end - start <= kLongestClassifiedName && IsTagNameChar(s[end])) ++end;
  return Classify(s + start, end - start);
}

bool EqualIgnoringCase(const char16_t* a, const char16_t* b, qsizetype size) {
  for (qsizetype k = 0; k < size; ++k)
    if (Upper(a[k]) != Upper(b[k])) return false;
  return true;
}

// Where the end tag of a raw-text element named name begins, searching from
// i; n when there is none.
qsizetype FindEndTag(const char16_t* s, qsizetype i, qsizetype n, const char16_t* name,
                     qsizetype size) {
  for (qsizetype k = i;;) {
    const char16_t* lt = Find(s + k, s + n, u'<');
    if (!lt) return n;
    k = lt - s;
    const qsizetype after = k + 2 + size;
    if (after <= n && s[k + 1] == '/' && EqualIgnoringCase(s + k + 2, name, size) &&
        (after == n || IsSpace(s[after]) || s[after] == '/' || s[after] == '>')) {
      return k;
    }
    ++k;
  }
}

class Rewriter {
 public:
  explicit Rewriter(QStringView in) : s_(in.utf16()), n_(in.size()), out_(n_ + n_ / 8) {}

  QString Run() {
    qsizetype i = 0;
    while (i < n_) {
      i = Text(i);
      if (i >= n_) break;
      i = s_[i + 1] == '!' ? Comment(i) : Tag(i);
    }
    return out_.Take();
  }

 private:
  void Put(qsizetype from, qsizetype to) { out_.Put(s_ + from, to - from); }
  void Put(char16_t c) { out_.Put(c); }

  // Text up to the next tag or comment: kept, or dropped when it is only
  // whitespace that the old engine would not have held.
  qsizetype Text(qsizetype i) {
    qsizetype end = i;
    for (;;) {
      const char16_t* lt = Find(s_ + end, s_ + n_, u'<');
      if (!lt) {
        end = n_;
        break;
      }
      end = lt - s_;
      if (StartsMarkup(s_, end, n_)) break;
      ++end;
    }
    if (end == i) return i;
    const bool blank = std::all_of(s_ + i, s_ + end, IsSpace);
    const bool dropped =
        blank && preDepth_ == 0 &&
        (inHead_ || prevBoundary_ || (end < n_ && (PeekFlags(s_, end, n_) & kBoundary)));
    if (!dropped) {
      Put(i, end);
      prevBoundary_ = false;
    }
    return end;
  }

  qsizetype Comment(qsizetype i) {
    qsizetype stop = n_;
    for (qsizetype k = i + 4; k + 2 < n_; ++k) {
      if (s_[k] == '-' && s_[k + 1] == '-' && s_[k + 2] == '>') {
        stop = k + 3;
        break;
      }
    }
    Put(i, stop);
    prevBoundary_ = false;
    return stop;
  }

  qsizetype Tag(qsizetype i) {
    const bool endTag = s_[i + 1] == '/';
    qsizetype j = i + (endTag ? 2 : 1);
    const qsizetype nameStart = j;
    while (j < n_ && IsTagNameChar(s_[j])) ++j;
    const qsizetype nameEnd = j;
    Put('<');
    if (endTag) Put('/');
    char16_t* name = out_.Room(nameEnd - nameStart);
    for (qsizetype k = nameStart; k < nameEnd; ++k) *name++ = Upper(s_[k]);
    j = Attributes(j);
    Put('>');
    i = j < n_ ? j + 1 : n_;

    const unsigned flags = Classify(s_ + nameStart, nameEnd - nameStart);
    prevBoundary_ = flags & kBoundary;
    if (endTag) {
      if (flags & kHead) inHead_ = false;
      if ((flags & kPre) && preDepth_ > 0) --preDepth_;
      return i;
    }
    if (flags & kHead) inHead_ = true;
    if (flags & kBody) inHead_ = false;
    if (flags & kPre) ++preDepth_;
    if (flags & kRawText) {
      const qsizetype stop = FindEndTag(s_, i, n_, s_ + nameStart, nameEnd - nameStart);
      if (stop > i) {
        Put(i, stop);
        prevBoundary_ = false;
      }
      i = stop;
    }
    return i;
  }

  // Attributes as the modern engine writes them (name="value"), or bare
  // names; returns where the tag's '>' is (or n).
  qsizetype Attributes(qsizetype j) {
    while (j < n_ && s_[j] != '>') {
      if (IsSpace(s_[j]) || s_[j] == '/') {
        ++j;
        continue;
      }
      const qsizetype nameStart = j++;
      while (j < n_ && !IsSpace(s_[j]) && s_[j] != '/' && s_[j] != '>' && s_[j] != '=') ++j;
      Put(' ');
      Put(nameStart, j);
      qsizetype k = j;
      while (k < n_ && IsSpace(s_[k])) ++k;
      if (k >= n_ || s_[k] != '=') {
        j = k;
        continue;
      }
      j = k + 1;
      while (j < n_ && IsSpace(s_[j])) ++j;
      if (j < n_ && (s_[j] == '"' || s_[j] == '\'')) {
        const char16_t quote = s_[j];
        const qsizetype valueStart = j + 1;
        const char16_t* close = Find(s_ + valueStart, s_ + n_, quote);
        const qsizetype valueEnd = close ? close - s_ : n_;
        j = close ? valueEnd + 1 : n_;
        if (valueEnd > valueStart) {
          const bool bare = std::all_of(s_ + valueStart, s_ + valueEnd, IsBareValueChar);
          Put('=');
          if (!bare) Put(quote);
          Put(valueStart, valueEnd);
          if (!bare) Put(quote);
        }
      } else {  // an unquoted value: copied as it stands
        const qsizetype valueStart = j;
        while (j < n_ && !IsSpace(s_[j]) && s_[j] != '>') ++j;
        if (j > valueStart) {
          Put('=');
          Put(valueStart, j);
        }
      }
    }
    return j;
  }

  const char16_t* const s_;
  const qsizetype n_;
  Output out_;
  bool prevBoundary_ = false;  // the last thing kept was a boundary element's tag
  bool inHead_ = false;
  qsizetype preDepth_ = 0;
};

}  // namespace

QString ToLegacyHtml(QStringView modern) { return Rewriter(modern).Run(); }

}  // namespace quarvel
