// The registry helpers and the navigation click sound. The same cases run on
// the in-memory registry everywhere and, in the Windows build, on the real
// registry API too, so that any difference between the two fails.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/settings/registry.h"
#include "support/memory_registry.h"
#ifdef _WIN32
#include <windows.h>

#include "platform/win32/win32_registry.h"
#endif

namespace quarvel {
namespace {

const std::string kNavigationSubKey = "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current";
const std::string kTestSubKey = "Software\\QuarvelTest";
constexpr auto kUser = RegistryApi::kCurrentUser;

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

struct StoredValue {
  uint32_t type;
  std::string data;
};

// The in-memory registry, with the means to set a scene and look at it.
class MemoryBackend {
 public:
  RegistryApi& api() { return registry_; }
  void Reset(const std::string& subKey) { registry_.CreateKey(kUser, subKey); }
  void Set(const std::string& subKey, const std::string& name, uint32_t type,
           const std::string& data) {
    registry_.Set(kUser, subKey, {name, type, data});
  }
  std::optional<StoredValue> Get(const std::string& subKey, const std::string& name) {
    const auto* value = registry_.Find(kUser, subKey, name);
    if (!value) return std::nullopt;
    return StoredValue{value->type, value->data};
  }
  bool AllClosed() const { return registry_.openHandles() == 0; }

 private:
  testing::MemoryRegistry registry_;
};

#ifdef _WIN32
// The real registry (under Wine in this project's tests), set up and read
// with the wide-character calls so that the code under test is checked by
// another path than its own.
class Win32Backend {
 public:
  RegistryApi& api() { return registry_; }
  void Reset(const std::string& subKey) {
    RegDeleteTreeA(HKEY_CURRENT_USER, subKey.c_str());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegCloseKey(key);
  }
  void Set(const std::string& subKey, const std::string& name, uint32_t type,
           const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  std::optional<StoredValue> Get(const std::string& subKey, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<StoredValue> stored;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::string data(size, '\0');
      RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size);
      data.resize(size);
      stored = StoredValue{type, data};
    }
    RegCloseKey(key);
    return stored;
  }
  bool AllClosed() const { return true; }

 private:
  Win32Registry registry_;
};
using Backends = ::testing::Types<MemoryBackend, Win32Backend>;
#else
using Backends = ::testing::Types<MemoryBackend>;
#endif

template <typename Backend>
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend.Reset(kNavigationSubKey);
    backend.Reset(kTestSubKey);
  }
  void TearDown() override { EXPECT_TRUE(backend.AllClosed()); }
  std::string Default() {
    const auto value = backend.Get(kNavigationSubKey, "");
    return value ? value->data : "<none>";
  }
  Backend backend;
};
TYPED_TEST_SUITE(RegistryTest, Backends);

TYPED_TEST(RegistryTest, SilencingAppendsOneToTheSoundFileOnceKeepingTheType) {
  this->backend.Set(kNavigationSubKey, "", 2, Sz("C:\\WINDOWS\\Media\\start.wav"));
  EXPECT_TRUE(SilenceNavigationSound(this->backend.api()));
  EXPECT_EQ(this->Default(), Sz("C:\\WINDOWS\\Media\\start.wav1"));
  EXPECT_EQ(this->backend.Get(kNavigationSubKey, "")->type, 2u);
  EXPECT_FALSE(SilenceNavigationSound(this->backend.api()));  // the second start
  EXPECT_EQ(this->Default(), Sz("C:\\WINDOWS\\Media\\start.wav1"));
}

TYPED_TEST(RegistryTest, GbkBytesOfTheSoundPathArePassedThroughUntouched) {
  const std::string path = "C:\\\xc9\xf9\xd2\xf4\\start.wav";  // 声音 in GBK
  this->backend.Set(kNavigationSubKey, "", 1, Sz(path));
  EXPECT_TRUE(SilenceNavigationSound(this->backend.api()));
  EXPECT_EQ(this->Default(), Sz(path + "1"));
}

TYPED_TEST(RegistryTest, EmptySpacesOnlyAndAlreadySilencedValuesAreLeftAlone) {
  for (const std::string& data : {Sz(""), Sz("   "), Sz("D:\\sounds\\ding1")}) {
    this->backend.Set(kNavigationSubKey, "", 1, data);
    EXPECT_FALSE(SilenceNavigationSound(this->backend.api())) << data;
    EXPECT_EQ(this->Default(), data);
  }
}

TYPED_TEST(RegistryTest, TheDefaultValueIsFoundAmongOthersByItsEmptyName) {
  this->backend.Set(kNavigationSubKey, "Other", 1, Sz("x.wav"));
  this->backend.Set(kNavigationSubKey, "", 1, Sz("a.wav"));
  EXPECT_TRUE(SilenceNavigationSound(this->backend.api()));
  EXPECT_EQ(this->Default(), Sz("a.wav1"));
  EXPECT_EQ(this->backend.Get(kNavigationSubKey, "Other")->data, Sz("x.wav"));
}

TYPED_TEST(RegistryTest, AValueOfAnotherTypeIsNeverRewritten) {
  const std::string bytes("\x10\x20\x30\x00", 4);
  for (uint32_t type : {3u, 4u, 5u, 6u, 11u}) {
    this->backend.Set(kNavigationSubKey, "", type, bytes);
    EXPECT_FALSE(SilenceNavigationSound(this->backend.api())) << type;
    EXPECT_EQ(this->backend.Get(kNavigationSubKey, "")->type, type);
    EXPECT_EQ(this->Default(), bytes);
  }
}

TYPED_TEST(RegistryTest, AKeyWithoutTheValueChangesNothing) {
  this->backend.Set(kNavigationSubKey, "NotDefault", 1, Sz("a.wav"));
  EXPECT_FALSE(SilenceNavigationSound(this->backend.api()));
  EXPECT_FALSE(this->backend.Get(kNavigationSubKey, ""));
}

TYPED_TEST(RegistryTest, OpenNeedsAKnownRootNameInCapitalsAndABackslash) {
  RegistryApi& api = this->backend.api();
  const RegistryApi::Key key = OpenRegistryKey(api, "HKEY_CURRENT_USER\\" + kTestSubKey);
  EXPECT_NE(key, 0u);
  api.CloseKey(key);
  EXPECT_EQ(OpenRegistryKey(api, "hkey_current_user\\" + kTestSubKey), 0u);
  EXPECT_EQ(OpenRegistryKey(api, "HKEY_CURRENT_USER"), 0u);
  EXPECT_EQ(OpenRegistryKey(api, "HKCU\\" + kTestSubKey), 0u);
  EXPECT_EQ(OpenRegistryKey(api, "HKEY_CURRENT_USER\\Software\\QuarvelMissing"), 0u);
}

TYPED_TEST(RegistryTest, ValueTypeDescriptionsFollowTheEnumeration) {
  RegistryApi& api = this->backend.api();
  const std::string path = "HKEY_CURRENT_USER\\" + kTestSubKey;
  // A missing key, and a key without values: REG_NONE and 0.
  EXPECT_EQ(GetRegistryValueType(api, "HKEY_CURRENT_USER\\Software\\QuarvelMissing", ""),
            "REG_NONE - 字节集，值为：0");
  EXPECT_EQ(GetRegistryValueType(api, path, ""), "REG_NONE - 字节集，值为：0");
  this->backend.Set(kTestSubKey, "a", 1, Sz("x"));
  this->backend.Set(kTestSubKey, "b", 2, Sz("y"));
  this->backend.Set(kTestSubKey, "c", 7, Sz("z") + std::string(1, '\0'));
  this->backend.Set(kTestSubKey, "d", 5, "1234");
  EXPECT_EQ(GetRegistryValueType(api, path, "a"), "REG_SZ - 字符串值，值为：1");
  EXPECT_EQ(GetRegistryValueType(api, path, "b"), "REG_REG_EXPAND_SZ - 可扩充字符串值，值为：2");
  EXPECT_EQ(GetRegistryValueType(api, path, "c"), "REG_MULTI_SZ - 多字符串值，值为：7");
  EXPECT_EQ(GetRegistryValueType(api, path, "d"), "");        // no description
  EXPECT_EQ(GetRegistryValueType(api, path, "A"), "");        // names compared exactly
  EXPECT_EQ(GetRegistryValueType(api, path, "missing"), "");  // values, none of that name
}

TYPED_TEST(RegistryTest, ReadKeepsTheTerminatingZeroAndWriteNeedsAnExistingKey) {
  RegistryApi& api = this->backend.api();
  const std::string path = "HKEY_CURRENT_USER\\" + kTestSubKey;
  this->backend.Set(kTestSubKey, "v", 1, Sz("text"));
  uint32_t type = 0;
  EXPECT_EQ(ReadRegistryValue(api, path, "v", &type), Sz("text"));
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(ReadRegistryValue(api, path, "none", &type), "");
  EXPECT_EQ(ReadRegistryValue(api, path + "Missing", "v", &type), "");
  EXPECT_TRUE(WriteRegistryValue(api, path, "w", "abc", 3));
  EXPECT_EQ(this->backend.Get(kTestSubKey, "w")->data, "abc");
  EXPECT_FALSE(WriteRegistryValue(api, path + "\\New", "w", "abc", 3));
  EXPECT_FALSE(this->backend.Get(kTestSubKey + "\\New", "w"));
}

#ifdef _WIN32
TEST(Win32Registry, TextsCrossTheAnsiCallsAsGbk) {
  ASSERT_EQ(GetACP(), 936u);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kNavigationSubKey.c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::wstring path = L"C:\\\u58f0\u97f3\\start.wav";  // C:\声音\start.wav
  RegSetValueExW(key, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                 static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  Win32Registry registry;
  EXPECT_TRUE(SilenceNavigationSound(registry));
  wchar_t buffer[64] = {};
  DWORD size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExW(key, L"", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(std::wstring(buffer), path + L"1");
}
#endif

TEST(RegistryHelpers, TextAfterLastDelimiter) {
  EXPECT_EQ(TextAfterLast("a：b：12", "："), "12");
  EXPECT_EQ(TextAfterLast("abc", "："), "");
  EXPECT_EQ(TextAfterLast("abc：", "："), "");
  EXPECT_EQ(TextAfterLast("a.b.c", "."), "c");
}

}  // namespace
}  // namespace quarvel
