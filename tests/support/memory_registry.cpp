#include "support/memory_registry.h"

#include <algorithm>
#include <cctype>

namespace quarvel::testing {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

void MemoryRegistry::CreateKey(Key root, const std::string& subKey) {
  keys_[{root, Lower(subKey)}];
}

void MemoryRegistry::Set(Key root, const std::string& subKey, const Value& value) {
  Values& values = keys_[{root, Lower(subKey)}];
  for (Value& v : values) {
    if (Lower(v.name) == Lower(value.name)) {
      v = value;
      return;
    }
  }
  values.push_back(value);
}

const MemoryRegistry::Value* MemoryRegistry::Find(Key root, const std::string& subKey,
                                                  const std::string& name) const {
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

long MemoryRegistry::OpenKey(Key root, const std::string& subKey, Key* opened) {
  if (root < kClassesRoot || root > kUsers) return kInvalidHandle;
  if (!keys_.count({root, Lower(subKey)})) return kFileNotFound;
  *opened = next_++;
  open_[*opened] = {root, Lower(subKey)};
  return kSuccess;
}

long MemoryRegistry::EnumValue(Key key, uint32_t index, uint32_t nameCapacity, std::string* name,
                               uint32_t* type) {
  Values* values = Lookup(key);
  if (!values) return kInvalidHandle;
  if (index >= values->size()) return kNoMoreItems;
  const Value& value = (*values)[index];
  if (value.name.size() + 1 > nameCapacity) return kMoreData;
  *name = value.name;
  *type = value.type;
  return kSuccess;
}

long MemoryRegistry::QueryValue(Key key, const std::string& name, uint32_t* type, std::string* data,
                                uint32_t* size) {
  Values* values = Lookup(key);
  if (!values) return kInvalidHandle;
  for (const Value& value : *values) {
    if (Lower(value.name) != Lower(name)) continue;
    *type = value.type;
    if (data) {
      if (*size < value.data.size()) return kMoreData;
      *data = value.data;
    }
    *size = static_cast<uint32_t>(value.data.size());
    return kSuccess;
  }
  return kFileNotFound;
}

long MemoryRegistry::SetValue(Key key, const std::string& name, uint32_t type,
                              const std::string& data) {
  Values* values = Lookup(key);
  if (!values) return kInvalidHandle;
  Set(open_[key].first, open_[key].second, {name, type, data});
  return kSuccess;
}

long MemoryRegistry::CloseKey(Key key) { return open_.erase(key) ? kSuccess : kInvalidHandle; }

}  // namespace quarvel::testing
