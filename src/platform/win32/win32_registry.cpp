#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <vector>

namespace quarvel {
namespace {

HKEY ToHkey(RegistryApi::Key key) {
  // The predefined roots are sign-extended handles on 64-bit Windows.
  switch (key) {
    case RegistryApi::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryApi::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryApi::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryApi::kUsers:
      return HKEY_USERS;
    default:
      return reinterpret_cast<HKEY>(static_cast<uintptr_t>(key));
  }
}

}  // namespace

long Win32Registry::OpenKey(Key root, const std::string& subKey, Key* opened) {
  HKEY handle = nullptr;
  const LONG result = RegOpenKeyA(ToHkey(root), subKey.c_str(), &handle);
  if (result == ERROR_SUCCESS) *opened = static_cast<Key>(reinterpret_cast<uintptr_t>(handle));
  return result;
}

long Win32Registry::EnumValue(Key key, uint32_t index, uint32_t nameCapacity, std::string* name,
                              uint32_t* type) {
  std::vector<char> buffer(nameCapacity + 1, '\0');
  DWORD length = nameCapacity;
  DWORD found = 0;
  const LONG result =
      RegEnumValueA(ToHkey(key), index, buffer.data(), &length, nullptr, &found, nullptr, nullptr);
  if (result == ERROR_SUCCESS) {
    name->assign(buffer.data(), length);
    *type = found;
  }
  return result;
}

long Win32Registry::QueryValue(Key key, const std::string& name, uint32_t* type, std::string* data,
                               uint32_t* size) {
  DWORD found = 0;
  DWORD bytes = data ? *size : 0;
  const LONG result =
      RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &found,
                       data ? reinterpret_cast<BYTE*>(data->data()) : nullptr, &bytes);
  if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
    *type = found;
    *size = bytes;
  }
  return result;
}

long Win32Registry::SetValue(Key key, const std::string& name, uint32_t type,
                             const std::string& data) {
  return RegSetValueExA(ToHkey(key), name.c_str(), 0, type,
                        reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

long Win32Registry::CloseKey(Key key) { return RegCloseKey(ToHkey(key)); }

}  // namespace quarvel
