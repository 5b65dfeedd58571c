// The registry helpers and the navigation click sound, on an in-memory registry.
#include <gtest/gtest.h>

#include "system/registry.h"

namespace quarvel {
namespace {

const QByteArray kSubKey = "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current";
constexpr auto kUser = RegistryApi::kCurrentUser;

QByteArray Sz(const QByteArray& text) { return text + QByteArray(1, '\0'); }

class NavigationSound : public ::testing::Test {
 protected:
  QByteArray Default() {
    const auto* value = registry.Find(kUser, kSubKey, "");
    return value ? value->data : QByteArray("<none>");
  }
  MemoryRegistry registry;
};

TEST_F(NavigationSound, AppendsOneToTheSoundFileOnceAndKeepsTheStringType) {
  registry.Set(kUser, kSubKey, {"", 2, Sz("C:\\WINDOWS\\Media\\start.wav")});
  EXPECT_TRUE(SilenceNavigationSound(registry));
  EXPECT_EQ(Default(), Sz("C:\\WINDOWS\\Media\\start.wav1"));
  EXPECT_EQ(registry.Find(kUser, kSubKey, "")->type, 2u);
  EXPECT_FALSE(SilenceNavigationSound(registry));  // second start: unchanged
  EXPECT_EQ(Default(), Sz("C:\\WINDOWS\\Media\\start.wav1"));
  EXPECT_EQ(registry.openHandles(), 0);
}

TEST_F(NavigationSound, LeavesEmptySpacesOnlyAndAlreadySilencedValuesAlone) {
  for (const QByteArray& data : {Sz(""), Sz("   "), QByteArray(), Sz("D:\\sounds\\ding1")}) {
    registry.Set(kUser, kSubKey, {"", 1, data});
    EXPECT_FALSE(SilenceNavigationSound(registry)) << data.constData();
    EXPECT_EQ(Default(), data);
  }
}

TEST_F(NavigationSound, FindsTheDefaultValueAmongOthersByItsEmptyName) {
  registry.Set(kUser, kSubKey, {"Other", 1, Sz("x.wav")});
  registry.Set(kUser, kSubKey, {"", 1, Sz("a.wav")});
  EXPECT_TRUE(SilenceNavigationSound(registry));
  EXPECT_EQ(Default(), Sz("a.wav1"));
  EXPECT_EQ(registry.Find(kUser, kSubKey, "Other")->data, Sz("x.wav"));
}

TEST_F(NavigationSound, AValueOfAnotherTypeIsNeverRewritten) {
  for (uint32_t type : {3u, 4u, 5u, 6u, 11u}) {
    registry.Set(kUser, kSubKey, {"", type, QByteArray("\x10\x20\x30\x00", 4)});
    EXPECT_FALSE(SilenceNavigationSound(registry)) << type;
    EXPECT_EQ(registry.Find(kUser, kSubKey, "")->type, type);
    EXPECT_EQ(Default(), QByteArray("\x10\x20\x30\x00", 4));
  }
}

TEST_F(NavigationSound, AMissingKeyOrValueOrNoRegistryChangesNothing) {
  EXPECT_FALSE(SilenceNavigationSound(registry));
  registry.Set(kUser, kSubKey, {"NotDefault", 1, Sz("a.wav")});
  EXPECT_FALSE(SilenceNavigationSound(registry));
  NoRegistry none;
  EXPECT_FALSE(SilenceNavigationSound(none));
}

TEST(RegistryHelpers, OpenNeedsAKnownRootNameInCapitalsAndABackslash) {
  MemoryRegistry registry;
  registry.CreateKey(RegistryApi::kLocalMachine, "Software\\Q");
  EXPECT_NE(OpenRegistryKey(registry, "HKEY_LOCAL_MACHINE\\Software\\Q"), 0u);
  EXPECT_NE(OpenRegistryKey(registry, "HKEY_LOCAL_MACHINE\\software\\q"), 0u);  // keys ignore case
  EXPECT_EQ(OpenRegistryKey(registry, "hkey_local_machine\\Software\\Q"), 0u);
  EXPECT_EQ(OpenRegistryKey(registry, "HKEY_LOCAL_MACHINE"), 0u);
  EXPECT_EQ(OpenRegistryKey(registry, "HKLM\\Software\\Q"), 0u);
  EXPECT_EQ(OpenRegistryKey(registry, "HKEY_LOCAL_MACHINE\\Software\\Missing"), 0u);
}

TEST(RegistryHelpers, ValueTypeDescriptionsFollowTheEnumeration) {
  MemoryRegistry registry;
  const QByteArray path = "HKEY_CURRENT_USER\\K";
  // A missing key, and a key without values: REG_NONE and 0.
  EXPECT_EQ(GetRegistryValueType(registry, path, ""), QByteArray("REG_NONE - 字节集，值为：0"));
  registry.CreateKey(kUser, "K");
  EXPECT_EQ(GetRegistryValueType(registry, path, ""), QByteArray("REG_NONE - 字节集，值为：0"));
  registry.Set(kUser, "K", {"a", 1, Sz("x")});
  registry.Set(kUser, "K", {"b", 2, Sz("y")});
  registry.Set(kUser, "K", {"c", 7, Sz("z")});
  registry.Set(kUser, "K", {"d", 5, "1234"});
  EXPECT_EQ(GetRegistryValueType(registry, path, "a"), QByteArray("REG_SZ - 字符串值，值为：1"));
  EXPECT_EQ(GetRegistryValueType(registry, path, "b"),
            QByteArray("REG_REG_EXPAND_SZ - 可扩充字符串值，值为：2"));
  EXPECT_EQ(GetRegistryValueType(registry, path, "c"),
            QByteArray("REG_MULTI_SZ - 多字符串值，值为：7"));
  EXPECT_EQ(GetRegistryValueType(registry, path, "d"), QByteArray());  // no description
  EXPECT_EQ(GetRegistryValueType(registry, path, "A"), QByteArray());  // names are exact
  EXPECT_EQ(GetRegistryValueType(registry, path, "missing"), QByteArray());
  EXPECT_EQ(registry.openHandles(), 0);
}

TEST(RegistryHelpers, ReadKeepsTheTerminatingZeroAndWriteNeedsAnExistingKey) {
  MemoryRegistry registry;
  registry.Set(kUser, "K", {"v", 1, Sz("text")});
  uint32_t type = 0;
  EXPECT_EQ(ReadRegistryValue(registry, "HKEY_CURRENT_USER\\K", "v", &type), Sz("text"));
  EXPECT_EQ(type, 1u);
  EXPECT_TRUE(ReadRegistryValue(registry, "HKEY_CURRENT_USER\\K", "none", &type).isEmpty());
  EXPECT_TRUE(ReadRegistryValue(registry, "HKEY_CURRENT_USER\\Nope", "v", &type).isEmpty());
  EXPECT_TRUE(WriteRegistryValue(registry, "HKEY_CURRENT_USER\\K", "w", "abc", 3));
  EXPECT_EQ(registry.Find(kUser, "K", "w")->data, QByteArray("abc"));
  EXPECT_FALSE(WriteRegistryValue(registry, "HKEY_CURRENT_USER\\New", "w", "abc", 3));
  EXPECT_EQ(registry.Find(kUser, "New", "w"), nullptr);
  EXPECT_EQ(registry.openHandles(), 0);
}

TEST(RegistryHelpers, TextAfterLastDelimiter) {
  EXPECT_EQ(TextAfterLast("a：b：12", "："), QByteArray("12"));
  EXPECT_EQ(TextAfterLast("abc", "："), QByteArray());
  EXPECT_EQ(TextAfterLast("abc：", "："), QByteArray());
  EXPECT_EQ(TextAfterLast("a.b.c", "."), QByteArray("c"));
}

}  // namespace
}  // namespace quarvel
