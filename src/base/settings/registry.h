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

// The registry helpers of the navigation click sound.
RegistryApi::Key OpenRegistryKey(RegistryApi& api, const std::string& keyPath);
std::string GetRegistryValueType(RegistryApi& api, const std::string& keyPath,
                                 const std::string& valueName);
std::string TextAfterLast(const std::string& text, const std::string& delimiter);
std::string ReadRegistryValue(RegistryApi& api, const std::string& keyPath,
                              const std::string& valueName, uint32_t* type);
bool WriteRegistryValue(RegistryApi& api, const std::string& keyPath, const std::string& valueName,
                        const std::string& data, uint32_t type);

// Appends "1" to the sound file of the browsers' navigation click, once, so
// that the sound is no longer found. True when the value was changed.
bool SilenceNavigationSound(RegistryApi& api);

inline constexpr char kNavigationSoundKey[] =
    "HKEY_CURRENT_USER\\AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current";

}  // namespace quarvel
