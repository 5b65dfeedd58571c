#include "webpage/agent_protocol.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace quarvel {

namespace {

const char kHex[] = "0123456789abcdef";

void AppendEscape(QString& out, char16_t unit) {
  const char16_t escape[6] = {u'\\',
                              u'u',
                              char16_t(kHex[(unit >> 12) & 15]),
                              char16_t(kHex[(unit >> 8) & 15]),
                              char16_t(kHex[(unit >> 4) & 15]),
                              char16_t(kHex[unit & 15])};
  out.append(reinterpret_cast<const QChar*>(escape), 6);
}

}  // namespace

void AppendJsonString(QString& out, QStringView text) {
  out.reserve(out.size() + text.size() + 2);
  out.append(QLatin1Char('"'));
  const char16_t* s = text.utf16();
  const qsizetype n = text.size();
  qsizetype run = 0;  // start of the units not yet copied
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t c = s[i];
    const bool plain = c >= 0x20 && c != '"' && c != '\\' && c != 0x2028 && c != 0x2029 &&
                       (c < 0xD800 || c > 0xDFFF);
    if (plain) continue;
    // A well-formed surrogate pair passes as it is.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    out.append(reinterpret_cast<const QChar*>(s + run), i - run);
    run = i + 1;
    switch (c) {
      case '"':
        out.append(QLatin1String("\\\""));
        break;
      case '\\':
        out.append(QLatin1String("\\\\"));
        break;
      case '\n':
        out.append(QLatin1String("\\n"));
        break;
      case '\r':
        out.append(QLatin1String("\\r"));
        break;
      case '\t':
        out.append(QLatin1String("\\t"));
        break;
      default:
        AppendEscape(out, c);
    }
  }
  out.append(reinterpret_cast<const QChar*>(s + run), n - run);
  out.append(QLatin1Char('"'));
}

AgentRequest::AgentRequest(const char* op) {
  json_ = QStringLiteral("{\"op\":");
  AppendJsonString(json_, QString::fromLatin1(op));
}

void AgentRequest::Key(const char* key) {
  json_.append(QLatin1Char(','));
  json_.append(QLatin1Char('"'));
  json_.append(QLatin1String(key));
  json_.append(QLatin1String("\":"));
}

AgentRequest& AgentRequest::Add(const char* key, QStringView text) {
  Key(key);
  AppendJsonString(json_, text);
  return *this;
}

AgentRequest& AgentRequest::Add(const char* key, const char* latin1) {
  return Add(key, QString::fromLatin1(latin1));
}

AgentRequest& AgentRequest::Add(const char* key, const QStringList& texts) {
  Key(key);
  json_.append(QLatin1Char('['));
  for (qsizetype i = 0; i < texts.size(); ++i) {
    if (i > 0) json_.append(QLatin1Char(','));
    AppendJsonString(json_, texts[i]);
  }
  json_.append(QLatin1Char(']'));
  return *this;
}

AgentRequest& AgentRequest::Add(const char* key, double number) {
  Key(key);
  // JSON has no infinities or NaN.
  json_.append(std::isfinite(number) ? QString::number(number, 'g', 17) : QStringLiteral("0"));
  return *this;
}

AgentRequest& AgentRequest::Add(const char* key, bool flag) {
  Key(key);
  json_.append(flag ? QLatin1String("true") : QLatin1String("false"));
  return *this;
}

AgentRequest& AgentRequest::AddJson(const char* key, QStringView json) {
  Key(key);
  json_.append(json);
  return *this;
}

QString AgentRequest::Json() const { return json_ + QLatin1Char('}'); }

namespace {

// Reads the one JSON object of a reply. Keys other than t, v, id, token and
// loading are passed over, whatever they hold, up to a bounded nesting depth.
class ObjectReader {
 public:
  explicit ObjectReader(QStringView s) : s_(s.utf16()), n_(s.size()) {}

  enum class Type { None, String, Number, Boolean, Null, Other };
  struct Value {
    Type type = Type::None;
    QString text;
    double number = 0;
    bool boolean = false;
  };

  bool Read(Value* t, Value* v, Value* id, Value* token, Value* loading) {
    SkipSpace();
    if (!Take('{')) return false;
    SkipSpace();
    if (Take('}')) return AtEnd();
    for (;;) {
      SkipSpace();
      QString key;
      if (!String(&key)) return false;
      SkipSpace();
      if (!Take(':')) return false;
      SkipSpace();
      Value* into = key == QLatin1String("t")         ? t
                    : key == QLatin1String("v")       ? v
                    : key == QLatin1String("id")      ? id
                    : key == QLatin1String("token")   ? token
                    : key == QLatin1String("loading") ? loading
                                                      : nullptr;
      Value scratch;
      if (!Scalar(into ? into : &scratch)) return false;
      SkipSpace();
      if (Take(',')) continue;
      if (Take('}')) return AtEnd();
      return false;
    }
  }

 private:
  static constexpr int kMaxDepth = 32;
  static constexpr qsizetype kMaxNumberLength = 64;

  void SkipSpace() {
    while (i_ < n_ && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
  }
  bool Take(char16_t c) {
    if (i_ < n_ && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipSpace();
    return i_ == n_;
  }
  bool Word(const char* word) {
    const qsizetype size = static_cast<qsizetype>(std::strlen(word));
    if (n_ - i_ < size) return false;
    for (qsizetype k = 0; k < size; ++k)
      if (s_[i_ + k] != char16_t(word[k])) return false;
    i_ += size;
    return true;
  }

  static int HexValue(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // A string; into may be null to pass over it.
  bool String(QString* into) {
    if (!Take('"')) return false;
    qsizetype run = i_;
    for (;;) {
      if (i_ >= n_) return false;
      const char16_t c = s_[i_];
      if (c == '"' || c == '\\' || c < 0x20) {
        if (into) into->append(reinterpret_cast<const QChar*>(s_ + run), i_ - run);
        if (c < 0x20) return false;
        ++i_;
        if (c == '"') return true;
        if (i_ >= n_) return false;
        const char16_t e = s_[i_++];
        char16_t unit;
        switch (e) {
          case '"':
          case '\\':
          case '/':
            unit = e;
            break;
          case 'b':
            unit = '\b';
            break;
          case 'f':
            unit = '\f';
            break;
          case 'n':
            unit = '\n';
            break;
          case 'r':
            unit = '\r';
            break;
          case 't':
            unit = '\t';
            break;
          case 'u': {
            if (n_ - i_ < 4) return false;
            int value = 0;
            for (int k = 0; k < 4; ++k) {
              const int digit = HexValue(s_[i_ + k]);
              if (digit < 0) return false;
              value = value * 16 + digit;
            }
            i_ += 4;
            unit = static_cast<char16_t>(value);
            break;
          }
          default:
            return false;
        }
        if (into) into->append(QChar(unit));
        run = i_;
        continue;
      }
      ++i_;
    }
  }

  bool Number(double* into) {
    const qsizetype start = i_;
    Take('-');
    if (Take('0')) {
    } else if (i_ < n_ && s_[i_] >= '1' && s_[i_] <= '9') {
      while (i_ < n_ && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    } else {
      return false;
    }
    if (Take('.')) {
      if (!(i_ < n_ && s_[i_] >= '0' && s_[i_] <= '9')) return false;
      while (i_ < n_ && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    }
    if (i_ < n_ && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (!Take('+')) Take('-');
      if (!(i_ < n_ && s_[i_] >= '0' && s_[i_] <= '9')) return false;
      while (i_ < n_ && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    }
    if (i_ - start > kMaxNumberLength) return false;
    bool ok = false;
    const double value = QStringView(s_ + start, i_ - start).toDouble(&ok);
    if (!ok || !std::isfinite(value)) return false;
    *into = value;
    return true;
  }

  // A value of a known key: a scalar, or anything else passed over.
  bool Scalar(Value* into) {
    if (i_ >= n_) return false;
    switch (s_[i_]) {
      case '"':
        into->type = Type::String;
        into->text.clear();
        return String(&into->text);
      case 't':
        into->type = Type::Boolean;
        into->boolean = true;
        return Word("true");
      case 'f':
        into->type = Type::Boolean;
        into->boolean = false;
        return Word("false");
      case 'n':
        into->type = Type::Null;
        return Word("null");
      case '[':
      case '{':
        into->type = Type::Other;
        return Skip();
      default:
        into->type = Type::Number;
        return Number(&into->number);
    }
  }

  // Passes over one array or object, iteratively, at most kMaxDepth deep.
  bool Skip() {
    std::vector<char16_t> closers;
    do {
      SkipSpace();
      if (i_ >= n_) return false;
      const char16_t c = s_[i_];
      if (c == '[' || c == '{') {
        if (closers.size() >= kMaxDepth) return false;
        closers.push_back(c == '[' ? ']' : '}');
        ++i_;
        SkipSpace();
        if (Take(closers.back())) {
          closers.pop_back();
          if (!AfterValue(closers)) return false;
        } else if (c == '{' && !KeyAndColon()) {
          return false;
        }
        continue;
      }
      double number;
      const bool ok = c == '"'   ? String(nullptr)
                      : c == 't' ? Word("true")
                      : c == 'f' ? Word("false")
                      : c == 'n' ? Word("null")
                                 : Number(&number);
      if (!ok || !AfterValue(closers)) return false;
    } while (!closers.empty());
    return true;
  }

  // After a value inside nested arrays or objects: a comma (and in an object
  // the next key) or the closers.
  bool AfterValue(std::vector<char16_t>& closers) {
    for (;;) {
      if (closers.empty()) return true;
      SkipSpace();
      if (Take(',')) return closers.back() == ']' || KeyAndColon();
      if (!Take(closers.back())) return false;
      closers.pop_back();
    }
  }

  bool KeyAndColon() {
    SkipSpace();
    if (!String(nullptr)) return false;
    SkipSpace();
    return Take(':');
  }

  const char16_t* s_;
  qsizetype n_;
  qsizetype i_ = 0;
};

AgentReply Malformed() { return AgentReply(); }

AgentReply DecodeObject(QStringView reply) {
  ObjectReader::Value t, v, id, token, loading;
  if (!ObjectReader(reply).Read(&t, &v, &id, &token, &loading)) return Malformed();
  if (t.type != ObjectReader::Type::String) return Malformed();
  using Type = ObjectReader::Type;
  using Kind = AgentReply::Kind;
  const QString& kind = t.text;
  AgentReply out;
  // An element id: a whole number the agent gave out (1 and up).
  const auto readId = [&](bool optional) {
    if (id.type == Type::None) return optional;
    if (id.type != Type::Number) return false;
    const double value = id.number;
    if (value == 0 && optional) return true;
    if (!(value >= 1 && value <= 9007199254740992.0) || std::floor(value) != value) return false;
    out.id = static_cast<qint64>(value);
    return true;
  };
  if (kind == QLatin1String("s")) {
    if (v.type != Type::String) return Malformed();
    out.kind = Kind::Text;
    out.text = std::move(v.text);
  } else if (kind == QLatin1String("n")) {
    if (v.type != Type::Number) return Malformed();
    out.kind = Kind::Number;
    out.number = v.number;
  } else if (kind == QLatin1String("b")) {
    if (v.type != Type::Boolean) return Malformed();
    out.kind = Kind::Boolean;
    out.boolean = v.boolean;
  } else if (kind == QLatin1String("null")) {
    out.kind = Kind::Null;
  } else if (kind == QLatin1String("undef")) {
    out.kind = Kind::Undefined;
  } else if (kind == QLatin1String("missing")) {
    out.kind = Kind::Missing;
  } else if (kind == QLatin1String("func")) {
    out.kind = Kind::Function;
  } else if (kind == QLatin1String("ref")) {
    if (!readId(false)) return Malformed();
    out.kind = Kind::Reference;
  } else if (kind == QLatin1String("hello")) {
    if (token.type != Type::String || token.text.isEmpty()) return Malformed();
    out.kind = Kind::Hello;
    out.text = std::move(token.text);
  } else if (kind == QLatin1String("found")) {
    if (v.type != Type::Boolean || !readId(true)) return Malformed();
    out.kind = Kind::Found;
    out.boolean = v.boolean;
  } else if (kind == QLatin1String("long")) {
    // A length a string can have: a whole number below 2^31.
    if (v.type != Type::Number || !(v.number >= 0 && v.number < 2147483648.0) ||
        std::floor(v.number) != v.number || !readId(false) ||
        (loading.type != Type::None && loading.type != Type::Boolean))
      return Malformed();
    out.kind = Kind::LongText;
    out.number = v.number;
    out.loading = loading.type == Type::Boolean && loading.boolean;
  } else if (kind == QLatin1String("stale")) {
    out.kind = Kind::Stale;
  } else if (kind == QLatin1String("err")) {
    out.kind = Kind::Error;
    if (v.type == Type::String) out.text = std::move(v.text);
  } else {
    return Malformed();
  }
  return out;
}

}  // namespace

AgentReply DecodeAgentReply(QStringView reply) {
  if (reply.isEmpty()) return Malformed();
  const QChar first = reply.front();
  if (first == QLatin1Char('T') || first == QLatin1Char('L')) {
    AgentReply out;
    out.kind = AgentReply::Kind::Text;
    out.loading = first == QLatin1Char('L');
    out.text = reply.sliced(1).toString();
    return out;
  }
  if (first == QLatin1Char('{')) return DecodeObject(reply);
  return Malformed();
}

AgentReply DecodeAgentReply(QString&& reply) {
  if (reply.isEmpty() || (reply.front() != QLatin1Char('T') && reply.front() != QLatin1Char('L')))
    return DecodeAgentReply(QStringView(reply));
  AgentReply out;
  out.kind = AgentReply::Kind::Text;
  out.loading = reply.front() == QLatin1Char('L');
  reply.remove(0, 1);
  out.text = std::move(reply);
  return out;
}

}  // namespace quarvel
