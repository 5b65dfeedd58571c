#pragma once

#include "platform/system/registry_api.h"

namespace quarvel {

// The registry on the Windows ANSI registry calls (advapi32).
class Win32Registry : public RegistryApi {
 public:
  long OpenKey(Key root, const std::string& subKey, Key* opened) override;
  long EnumValue(Key key, uint32_t index, uint32_t nameCapacity, std::string* name,
                 uint32_t* type) override;
  long QueryValue(Key key, const std::string& name, uint32_t* type, std::string* data,
                  uint32_t* size) override;
  long SetValue(Key key, const std::string& name, uint32_t type, const std::string& data) override;
  long CloseKey(Key key) override;
};

}  // namespace quarvel
