#pragma once

#include <map>
#include <string>
#include <vector>

#include "base/settings/registry.h"

namespace quarvel::testing {

// A registry held in memory, for tests: key paths and value names are matched
// without regard to letter case, values are enumerated in creation order.
class MemoryRegistry : public RegistryApi {
 public:
  struct Value {
    std::string name;
    uint32_t type;
    std::string data;
  };
  void CreateKey(Key root, const std::string& subKey);
  void Set(Key root, const std::string& subKey, const Value& value);  // creates the key
  const Value* Find(Key root, const std::string& subKey, const std::string& name) const;
  int openHandles() const { return static_cast<int>(open_.size()); }

  long OpenKey(Key root, const std::string& subKey, Key* opened) override;
  long EnumValue(Key key, uint32_t index, uint32_t nameCapacity, std::string* name,
                 uint32_t* type) override;
  long QueryValue(Key key, const std::string& name, uint32_t* type, std::string* data,
                  uint32_t* size) override;
  long SetValue(Key key, const std::string& name, uint32_t type, const std::string& data) override;
  long CloseKey(Key key) override;

 private:
  using Values = std::vector<Value>;
  Values* Lookup(Key key);
  std::map<std::pair<Key, std::string>, Values> keys_;
  std::map<Key, std::pair<Key, std::string>> open_;
  Key next_ = 0x100;
};

}  // namespace quarvel::testing
