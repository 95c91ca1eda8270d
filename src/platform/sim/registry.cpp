// The simulated registry: keys below HKEY_LOCAL_MACHINE with typed values in creation order.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "platform/sim/state.h"

using namespace sim::detail;
using sim::RegistryValue;

namespace {

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// Walks (and with `create`, makes) the path below `from`; denied writes are inherited.
RegistryKey* Walk(RegistryKey* from, const std::string& path, bool create, bool* denied = nullptr) {
  RegistryKey* key = from;
  if (denied) *denied = key->denyWrites;
  for (const auto& part : Split(path)) {
    auto& slot = key->subkeys[Lower(part)];
    if (!slot) {
      if (!create) {
        key->subkeys.erase(Lower(part));
        return nullptr;
      }
      slot = std::make_unique<RegistryKey>();
      slot->name = part;
    }
    key = slot.get();
    if (denied && key->denyWrites) *denied = true;
  }
  return key;
}

RegistryKey* Root(HKEY key, bool* writable) {
  if (key == HKEY_LOCAL_MACHINE) {
    *writable = true;
    return M().registry.get();
  }
  auto it = M().openKeys.find(reinterpret_cast<uintptr_t>(key));
  if (it == M().openKeys.end()) return nullptr;
  *writable = it->second.writable;
  return it->second.key;
}

HKEY Hand(RegistryKey* key, bool writable) {
  uintptr_t handle = M().nextKey += 4;
  M().openKeys[handle] = {key, writable};
  return reinterpret_cast<HKEY>(handle);
}

RegistryValue* FindValue(RegistryKey* key, const char* name) {
  std::string wanted = name ? name : "";
  for (auto& v : key->values)
    if (strcasecmp(v.name.c_str(), wanted.c_str()) == 0) return &v;
  return nullptr;
}

bool WantsWrite(REGSAM access) {
  return access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | 0x00010000 /* DELETE */);
}

}  // namespace

namespace sim {

void PutRegistryValue(const std::string& key, const std::string& name, DWORD type,
                      const std::string& data) {
  RegistryKey* k = Walk(M().registry.get(), key, true);
  if (RegistryValue* v = FindValue(k, name.c_str())) {
    v->type = type;
    v->data = data;
  } else {
    k->values.push_back({name, type, data});
  }
}

void PutRegistryDword(const std::string& key, const std::string& name, DWORD value) {
  PutRegistryValue(key, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4));
}

bool RegistryKeyExists(const std::string& key) {
  return Walk(M().registry.get(), key, false) != nullptr;
}

std::vector<std::string> RegistrySubkeys(const std::string& key) {
  std::vector<std::string> names;
  if (RegistryKey* k = Walk(M().registry.get(), key, false))
    for (const auto& [lower, sub] : k->subkeys) names.push_back(sub->name);
  return names;
}

std::vector<RegistryValue> RegistryValues(const std::string& key) {
  RegistryKey* k = Walk(M().registry.get(), key, false);
  return k ? k->values : std::vector<RegistryValue>{};
}

void DenyRegistryWrites(const std::string& key) {
  Walk(M().registry.get(), key, true)->denyWrites = true;
}

int OpenRegistryKeys() {
  return static_cast<int>(M().openKeys.size());
}

}  // namespace sim

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result) {
  if (Enter("RegOpenKeyExA", Args(subKey, options, access)))
    return static_cast<LSTATUS>(M().lastError);
  *result = nullptr;
  bool writable = false;
  RegistryKey* root = Root(key, &writable);
  if (root == nullptr) return ERROR_INVALID_HANDLE;
  bool denied = false;
  RegistryKey* found = Walk(root, subKey ? subKey : "", false, &denied);
  if (found == nullptr) return ERROR_FILE_NOT_FOUND;
  if (WantsWrite(access) && denied) return ERROR_ACCESS_DENIED;
  *result = Hand(found, WantsWrite(access));
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                        LPSECURITY_ATTRIBUTES, HKEY* result, LPDWORD disposition) {
  if (Enter("RegCreateKeyExA", Args(subKey, access))) return static_cast<LSTATUS>(M().lastError);
  *result = nullptr;
  bool writable = false;
  RegistryKey* root = Root(key, &writable);
  if (root == nullptr) return ERROR_INVALID_HANDLE;
  bool denied = false;
  bool existed = Walk(root, subKey ? subKey : "", false, &denied) != nullptr;
  if (!existed && (!writable || denied)) return ERROR_ACCESS_DENIED;
  if (WantsWrite(access) && denied) return ERROR_ACCESS_DENIED;
  RegistryKey* made = Walk(root, subKey ? subKey : "", true);
  if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = Hand(made, WantsWrite(access));
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (Enter("RegSetValueExA", Args(name, type, size))) return static_cast<LSTATUS>(M().lastError);
  bool writable = false;
  RegistryKey* k = Root(key, &writable);
  if (k == nullptr || key == HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
  if (!writable) return ERROR_ACCESS_DENIED;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (RegistryValue* v = FindValue(k, name)) {
    v->type = type;
    v->data = bytes;
  } else {
    k->values.push_back({name ? name : "", type, bytes});
  }
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (Enter("RegQueryValueExA", Args(name, size ? *size : 0u)))
    return static_cast<LSTATUS>(M().lastError);
  bool writable = false;
  RegistryKey* k = Root(key, &writable);
  if (k == nullptr) return ERROR_INVALID_HANDLE;
  RegistryValue* v = FindValue(k, name);
  if (v == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  DWORD length = static_cast<DWORD>(v->data.size());
  if (data && size && *size < length) {
    *size = length;
    return ERROR_MORE_DATA;
  }
  if (data && size) std::memcpy(data, v->data.data(), length);
  if (size) *size = length;
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type,
                      LPBYTE data, LPDWORD dataSize) {
  if (Enter("RegEnumValueA", Args(index))) return static_cast<LSTATUS>(M().lastError);
  bool writable = false;
  RegistryKey* k = Root(key, &writable);
  if (k == nullptr) return ERROR_INVALID_HANDLE;
  if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegistryValue& v = k->values[index];
  if (nameSize == nullptr || *nameSize <= v.name.size()) return ERROR_MORE_DATA;
  DWORD length = static_cast<DWORD>(v.data.size());
  if (data && dataSize && *dataSize < length) return ERROR_MORE_DATA;
  std::memcpy(name, v.name.c_str(), v.name.size() + 1);
  *nameSize = static_cast<DWORD>(v.name.size());
  if (type) *type = v.type;
  if (data && dataSize) std::memcpy(data, v.data.data(), length);
  if (dataSize) *dataSize = length;
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (Enter("RegCloseKey", "")) return static_cast<LSTATUS>(M().lastError);
  return M().openKeys.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS
                                                              : ERROR_INVALID_HANDLE;
}
