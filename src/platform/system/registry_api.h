#pragma once

#include <cstdint>
#include <string>

namespace quarvel {

// The registry as the ANSI registry calls see it: open a key below a
// predefined root, enumerate value names, query, set, close. Names and data
// are bytes in the system's ANSI code page (GBK on a Chinese system). Results
// are Windows error codes (0 for success). Plain C++, so that the Windows
// backend builds without Qt.
class RegistryApi {
 public:
  using Key = uint64_t;
  static constexpr Key kClassesRoot = 0x80000000, kCurrentUser = 0x80000001,
                       kLocalMachine = 0x80000002, kUsers = 0x80000003;
  static constexpr long kSuccess = 0, kFileNotFound = 2, kInvalidHandle = 6, kMoreData = 234,
                        kNoMoreItems = 259;

  virtual ~RegistryApi() = default;
  // RegOpenKeyA
  virtual long OpenKey(Key root, const std::string& subKey, Key* opened) = 0;
  // RegEnumValueA without data: the name of value `index` (at most
  // nameCapacity - 1 bytes) and its type.
  virtual long EnumValue(Key key, uint32_t index, uint32_t nameCapacity, std::string* name,
                         uint32_t* type) = 0;
  // RegQueryValueExA: with data null, only the type and the size.
  virtual long QueryValue(Key key, const std::string& name, uint32_t* type, std::string* data,
                          uint32_t* size) = 0;
  // RegSetValueExA
  virtual long SetValue(Key key, const std::string& name, uint32_t type,
                        const std::string& data) = 0;
  // RegCloseKey
  virtual long CloseKey(Key key) = 0;
};

}  // namespace quarvel
