#pragma once

#include <QByteArray>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace quarvel {

// The registry as the ANSI registry calls see it: open a key below a
// predefined root, enumerate value names, query, set, close. Names and data
// are bytes in the system's ANSI code page. Results are Windows error codes
// (0 for success).
class RegistryApi {
 public:
  using Key = uint64_t;
  static constexpr Key kClassesRoot = 0x80000000, kCurrentUser = 0x80000001,
                       kLocalMachine = 0x80000002, kUsers = 0x80000003;
  static constexpr long kSuccess = 0, kFileNotFound = 2, kInvalidHandle = 6, kMoreData = 234,
                        kNoMoreItems = 259;

  virtual ~RegistryApi() = default;
  // RegOpenKeyA
  virtual long OpenKey(Key root, const QByteArray& subKey, Key* opened) = 0;
  // RegEnumValueA without data: the name of value `index` (at most
  // nameCapacity - 1 bytes) and its type.
  virtual long EnumValue(Key key, uint32_t index, uint32_t nameCapacity, QByteArray* name,
                         uint32_t* type) = 0;
  // RegQueryValueExA: with data null, only the type and the size.
  virtual long QueryValue(Key key, const QByteArray& name, uint32_t* type, QByteArray* data,
                          uint32_t* size) = 0;
  // RegSetValueExA
  virtual long SetValue(Key key, const QByteArray& name, uint32_t type, const QByteArray& data) = 0;
  // RegCloseKey
  virtual long CloseKey(Key key) = 0;
};

// This platform has no system registry: no key can be opened.
class NoRegistry : public RegistryApi {
 public:
  long OpenKey(Key, const QByteArray&, Key*) override { return kFileNotFound; }
  long EnumValue(Key, uint32_t, uint32_t, QByteArray*, uint32_t*) override {
    return kInvalidHandle;
  }
  long QueryValue(Key, const QByteArray&, uint32_t*, QByteArray*, uint32_t*) override {
    return kInvalidHandle;
  }
  long SetValue(Key, const QByteArray&, uint32_t, const QByteArray&) override {
    return kInvalidHandle;
  }
  long CloseKey(Key) override { return kInvalidHandle; }
};

// A registry held in memory, for tests: key paths and value names are matched
// without regard to letter case, values are enumerated in creation order.
class MemoryRegistry : public RegistryApi {
 public:
  struct Value {
    QByteArray name;
    uint32_t type;
    QByteArray data;
  };
  void CreateKey(Key root, const QByteArray& subKey);
  void Set(Key root, const QByteArray& subKey, const Value& value);  // creates the key
  const Value* Find(Key root, const QByteArray& subKey, const QByteArray& name) const;
  int openHandles() const { return static_cast<int>(open_.size()); }

  long OpenKey(Key root, const QByteArray& subKey, Key* opened) override;
  long EnumValue(Key key, uint32_t index, uint32_t nameCapacity, QByteArray* name,
                 uint32_t* type) override;
  long QueryValue(Key key, const QByteArray& name, uint32_t* type, QByteArray* data,
                  uint32_t* size) override;
  long SetValue(Key key, const QByteArray& name, uint32_t type, const QByteArray& data) override;
  long CloseKey(Key key) override;

 private:
  using Values = std::vector<Value>;
  Values* Lookup(Key key);
  std::map<std::pair<Key, QByteArray>, Values> keys_;
  std::map<Key, std::pair<Key, QByteArray>> open_;
  Key next_ = 0x100;
};

// The registry helpers of the navigation click sound.
RegistryApi::Key OpenRegistryKey(RegistryApi& api, const QByteArray& keyPath);
QByteArray GetRegistryValueType(RegistryApi& api, const QByteArray& keyPath,
                                const QByteArray& valueName);
QByteArray TextAfterLast(const QByteArray& text, const QByteArray& delimiter);
QByteArray ReadRegistryValue(RegistryApi& api, const QByteArray& keyPath,
                             const QByteArray& valueName, uint32_t* type);
bool WriteRegistryValue(RegistryApi& api, const QByteArray& keyPath, const QByteArray& valueName,
                        const QByteArray& data, uint32_t type);

// Appends "1" to the sound file of the browsers' navigation click, once, so
// that the sound is no longer found. True when the value was changed.
bool SilenceNavigationSound(RegistryApi& api);

inline constexpr char kNavigationSoundKey[] =
    "HKEY_CURRENT_USER\\AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current";

// The registry of this platform.
std::unique_ptr<RegistryApi> SystemRegistry();

}  // namespace quarvel
