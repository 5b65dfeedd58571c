#include "system/registry.h"

#include <cmath>

namespace quarvel {
namespace {

QByteArray Lower(const QByteArray& text) { return text.toLower(); }

// The leading number of a text, as the old Val did: 0 for text that is no number.
double LeadingNumber(const QByteArray& text) {
  const QByteArray trimmed = text.trimmed();
  qsizetype end = 0;
  if (end < trimmed.size() && (trimmed[end] == '-' || trimmed[end] == '+')) ++end;
  while (end < trimmed.size() &&
         (std::isdigit(static_cast<unsigned char>(trimmed[end])) || trimmed[end] == '.'))
    ++end;
  bool ok = false;
  const double value = trimmed.left(end).toDouble(&ok);
  return ok ? value : 0;
}

// The type of a value as the type description text gives it back.
uint32_t TypeFromDescription(RegistryApi& api, const QByteArray& keyPath,
                             const QByteArray& valueName) {
  const QByteArray description = GetRegistryValueType(api, keyPath, valueName);
  return static_cast<uint32_t>(
      static_cast<int64_t>(std::trunc(LeadingNumber(TextAfterLast(description, "：")))));
}

constexpr uint32_t kString = 1, kExpandString = 2;

}  // namespace

void MemoryRegistry::CreateKey(Key root, const QByteArray& subKey) { keys_[{root, Lower(subKey)}]; }

void MemoryRegistry::Set(Key root, const QByteArray& subKey, const Value& value) {
  Values& values = keys_[{root, Lower(subKey)}];
  for (Value& v : values) {
    if (Lower(v.name) == Lower(value.name)) {
      v = value;
      return;
    }
  }
  values.push_back(value);
}

const MemoryRegistry::Value* MemoryRegistry::Find(Key root, const QByteArray& subKey,
                                                  const QByteArray& name) const {
  const auto it = keys_.find({root, Lower(subKey)});
  if (it == keys_.end()) return nullptr;
  for (const Value& v : it->second)
    if (Lower(v.name) == Lower(name)) return &v;
  return nullptr;
}

MemoryRegistry::Values* MemoryRegistry::Lookup(Key key) {
  const auto open = open_.find(key);
  if (open == open_.end()) return nullptr;
  const auto it = keys_.find(open->second);
  return it == keys_.end() ? nullptr : &it->second;
}

long MemoryRegistry::OpenKey(Key root, const QByteArray& subKey, Key* opened) {
  if (root < kClassesRoot || root > kUsers) return kInvalidHandle;
  if (!keys_.count({root, Lower(subKey)})) return kFileNotFound;
  *opened = next_++;
  open_[*opened] = {root, Lower(subKey)};
  return kSuccess;
}

long MemoryRegistry::EnumValue(Key key, uint32_t index, uint32_t nameCapacity, QByteArray* name,
                               uint32_t* type) {
  Values* values = Lookup(key);
  if (!values) return kInvalidHandle;
  if (index >= values->size()) return kNoMoreItems;
  const Value& value = (*values)[index];
  if (static_cast<uint32_t>(value.name.size()) + 1 > nameCapacity) return kMoreData;
  *name = value.name;
  *type = value.type;
  return kSuccess;
}

long MemoryRegistry::QueryValue(Key key, const QByteArray& name, uint32_t* type, QByteArray* data,
                                uint32_t* size) {
  Values* values = Lookup(key);
  if (!values) return kInvalidHandle;
  for (const Value& value : *values) {
    if (Lower(value.name) != Lower(name)) continue;
    *type = value.type;
    if (data) {
      if (*size < static_cast<uint32_t>(value.data.size())) return kMoreData;
      *data = value.data;
    }
    *size = static_cast<uint32_t>(value.data.size());
    return kSuccess;
  }
  return kFileNotFound;
}

long MemoryRegistry::SetValue(Key key, const QByteArray& name, uint32_t type,
                              const QByteArray& data) {
  Values* values = Lookup(key);
  if (!values) return kInvalidHandle;
  Set(open_[key].first, open_[key].second, {name, type, data});
  return kSuccess;
}

long MemoryRegistry::CloseKey(Key key) { return open_.erase(key) ? kSuccess : kInvalidHandle; }

RegistryApi::Key OpenRegistryKey(RegistryApi& api, const QByteArray& keyPath) {
  const qsizetype slash = keyPath.indexOf('\\');
  const QByteArray root = slash < 0 ? QByteArray() : keyPath.left(slash);
  const QByteArray subKey = slash < 0 ? QByteArray() : keyPath.mid(slash + 1);
  RegistryApi::Key predefined = 0;
  if (root == "HKEY_CLASSES_ROOT")
    predefined = RegistryApi::kClassesRoot;
  else if (root == "HKEY_CURRENT_USER")
    predefined = RegistryApi::kCurrentUser;
  else if (root == "HKEY_LOCAL_MACHINE")
    predefined = RegistryApi::kLocalMachine;
  else if (root == "HKEY_USERS")
    predefined = RegistryApi::kUsers;
  else
    return 0;
  RegistryApi::Key handle = 0;
  return api.OpenKey(predefined, subKey, &handle) == RegistryApi::kSuccess ? handle : 0;
}

QByteArray GetRegistryValueType(RegistryApi& api, const QByteArray& keyPath,
                                const QByteArray& valueName) {
  const RegistryApi::Key handle = OpenRegistryKey(api, keyPath);
  int64_t type = 0;
  for (uint32_t index = 0;; ++index) {
    QByteArray name;
    uint32_t found = 0;
    if (api.EnumValue(handle, index, 256, &name, &found) != RegistryApi::kSuccess) break;
    type = found;
    if (name == valueName) break;
    type = -1;
  }
  if (handle) api.CloseKey(handle);
  static const std::map<int64_t, const char*> kDescriptions = {
      {0, "REG_NONE - 字节集，值为："},
      {1, "REG_SZ - 字符串值，值为："},
      {2, "REG_REG_EXPAND_SZ - 可扩充字符串值，值为："},
      {3, "REG_BINARY - 二进制，值为："},
      {4, "REG_DWORD - DWORD，值为："},
      {7, "REG_MULTI_SZ - 多字符串值，值为："}};
  const auto it = kDescriptions.find(type);
  if (it == kDescriptions.end()) return {};
  return QByteArray(it->second) + QByteArray::number(static_cast<qlonglong>(type));
}

QByteArray TextAfterLast(const QByteArray& text, const QByteArray& delimiter) {
  const qsizetype at = text.lastIndexOf(delimiter);
  if (at < 0 || delimiter.isEmpty()) return {};
  return text.mid(at + delimiter.size());
}

QByteArray ReadRegistryValue(RegistryApi& api, const QByteArray& keyPath,
                             const QByteArray& valueName, uint32_t* type) {
  const RegistryApi::Key handle = OpenRegistryKey(api, keyPath);
  if (!handle) return {};
  uint32_t size = 0;
  api.QueryValue(handle, valueName, type, nullptr, &size);
  QByteArray data(static_cast<qsizetype>(size), '\0');
  const long result = api.QueryValue(handle, valueName, type, &data, &size);
  api.CloseKey(handle);
  if (result != RegistryApi::kSuccess) return {};
  data.resize(static_cast<qsizetype>(size));
  return data;
}

bool WriteRegistryValue(RegistryApi& api, const QByteArray& keyPath, const QByteArray& valueName,
                        const QByteArray& data, uint32_t type) {
  const RegistryApi::Key handle = OpenRegistryKey(api, keyPath);
  if (!handle) return false;
  const long result = api.SetValue(handle, valueName, type, data);
  api.CloseKey(handle);
  return result == RegistryApi::kSuccess;
}

bool SilenceNavigationSound(RegistryApi& api) {
  const QByteArray path = kNavigationSoundKey;
  const QByteArray name;  // the default value
  uint32_t type = TypeFromDescription(api, path, name);
  uint32_t reported = type;
  const QByteArray data = ReadRegistryValue(api, path, name, &reported);
  const qsizetype zero = data.indexOf('\0');
  const QByteArray value = zero < 0 ? data : data.left(zero);
  QByteArray spaceless = value;
  spaceless.replace(' ', QByteArray());
  if (spaceless.isEmpty()) return false;  // no sound set
  if (value.endsWith('1')) return false;  // silenced before
  type = TypeFromDescription(api, path, name);
  // Only a string value is rewritten: any other type would be corrupted.
  if (type != kString && type != kExpandString) return false;
  return WriteRegistryValue(api, path, name, value + "1" + QByteArray(1, '\0'), type);
}

std::unique_ptr<RegistryApi> SystemRegistry() { return std::make_unique<NoRegistry>(); }

}  // namespace quarvel
