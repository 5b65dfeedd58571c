#pragma once

#include <cstdint>
#include <string>

#include "platform/system/registry_api.h"

namespace quarvel {

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
