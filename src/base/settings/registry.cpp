#include "base/settings/registry.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>

namespace quarvel {
namespace {

// The leading number of a text, as the old Val did: 0 for text that is no number.
double LeadingNumber(const std::string& text) {
  const char* begin = text.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  return end == begin ? 0 : value;
}

// The type of a value as the type description text gives it back.
uint32_t TypeFromDescription(RegistryApi& api, const std::string& keyPath,
                             const std::string& valueName) {
  const std::string description = GetRegistryValueType(api, keyPath, valueName);
  return static_cast<uint32_t>(
      static_cast<int64_t>(std::trunc(LeadingNumber(TextAfterLast(description, "：")))));
}

constexpr uint32_t kString = 1, kExpandString = 2;

}  // namespace

RegistryApi::Key OpenRegistryKey(RegistryApi& api, const std::string& keyPath) {
  const size_t slash = keyPath.find('\\');
  const std::string root = slash == std::string::npos ? std::string() : keyPath.substr(0, slash);
  const std::string subKey = slash == std::string::npos ? std::string() : keyPath.substr(slash + 1);
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

std::string GetRegistryValueType(RegistryApi& api, const std::string& keyPath,
                                 const std::string& valueName) {
  const RegistryApi::Key handle = OpenRegistryKey(api, keyPath);
  int64_t type = 0;
  for (uint32_t index = 0;; ++index) {
    std::string name;
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
  return std::string(it->second) + std::to_string(type);
}

std::string TextAfterLast(const std::string& text, const std::string& delimiter) {
  const size_t at = text.rfind(delimiter);
  if (at == std::string::npos || delimiter.empty()) return {};
  return text.substr(at + delimiter.size());
}

std::string ReadRegistryValue(RegistryApi& api, const std::string& keyPath,
                              const std::string& valueName, uint32_t* type) {
  const RegistryApi::Key handle = OpenRegistryKey(api, keyPath);
  if (!handle) return {};
  uint32_t size = 0;
  api.QueryValue(handle, valueName, type, nullptr, &size);
  std::string data(size, '\0');
  const long result = api.QueryValue(handle, valueName, type, &data, &size);
  api.CloseKey(handle);
  if (result != RegistryApi::kSuccess) return {};
  data.resize(std::min<size_t>(size, data.size()));
  return data;
}

bool WriteRegistryValue(RegistryApi& api, const std::string& keyPath, const std::string& valueName,
                        const std::string& data, uint32_t type) {
  const RegistryApi::Key handle = OpenRegistryKey(api, keyPath);
  if (!handle) return false;
  const long result = api.SetValue(handle, valueName, type, data);
  api.CloseKey(handle);
  return result == RegistryApi::kSuccess;
}

bool SilenceNavigationSound(RegistryApi& api) {
  const std::string path = kNavigationSoundKey;
  const std::string name;  // the default value
  uint32_t type = TypeFromDescription(api, path, name);
  uint32_t reported = type;
  const std::string data = ReadRegistryValue(api, path, name, &reported);
  const std::string value = data.substr(0, data.find('\0'));
  if (value.find_first_not_of(' ') == std::string::npos) return false;  // no sound set
  if (value.back() == '1') return false;                                // silenced before
  type = TypeFromDescription(api, path, name);
  // Only a string value is rewritten: any other type would be corrupted.
  if (type != kString && type != kExpandString) return false;
  return WriteRegistryValue(api, path, name, value + "1" + std::string(1, '\0'), type);
}
}  // namespace quarvel
