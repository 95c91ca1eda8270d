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

// The key a handle stands for and the access it was opened with; HKEY_LOCAL_MACHINE is open
// for everything (keys of its own may still deny writes).
RegistryKey* Root(HKEY key, REGSAM* access) {
  if (key == HKEY_LOCAL_MACHINE) {
    *access = KEY_ALL_ACCESS;
    return M().registry.get();
  }
  auto it = M().openKeys.find(reinterpret_cast<uintptr_t>(key));
  if (it == M().openKeys.end()) return nullptr;
  *access = it->second.access;
  return it->second.key;
}

HKEY Hand(RegistryKey* key, REGSAM access) {
  uintptr_t handle = M().nextKey += 4;
  M().openKeys[handle] = {key, access};
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

// Access rights the registry knows; a mask with others is refused rather than guessed at.
constexpr REGSAM kKnownAccess = KEY_ALL_ACCESS | KEY_NOTIFY | 0x0020 /* KEY_CREATE_LINK */ |
                                0x0100 /* KEY_WOW64_64KEY */ | 0x0200 /* KEY_WOW64_32KEY */ |
                                0x02000000 /* MAXIMUM_ALLOWED */;

// How a value's data reads in the call log: texts quoted, numbers in decimal, else a size.
std::string DataArg(DWORD type, const BYTE* data, DWORD size) {
  if (data == nullptr) return "null";
  if (type == REG_SZ && size > 0)
    return Arg(std::string(reinterpret_cast<const char*>(data), size - 1));
  if (type == REG_DWORD && size == 4) {
    DWORD value = 0;
    std::memcpy(&value, data, 4);
    return Arg(value);
  }
  return std::to_string(size) + " bytes";
}

void DropVolatile(RegistryKey* key) {
  for (auto it = key->subkeys.begin(); it != key->subkeys.end();) {
    if (it->second->isVolatile) {
      it = key->subkeys.erase(it);
    } else {
      DropVolatile(it->second.get());
      ++it;
    }
  }
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

bool RegistryKeyIsVolatile(const std::string& key) {
  RegistryKey* k = Walk(M().registry.get(), key, false);
  return k != nullptr && k->isVolatile;
}

namespace detail {
void DropVolatileKeys() {
  DropVolatile(M().registry.get());
}
}  // namespace detail

int OpenRegistryKeys() {
  return static_cast<int>(M().openKeys.size());
}

}  // namespace sim

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result) {
  if (Enter("RegOpenKeyExA", Args(subKey, options, access)))
    return static_cast<LSTATUS>(M().lastError);
  *result = nullptr;
  REGSAM parentAccess = 0;
  RegistryKey* root = Root(key, &parentAccess);
  if (root == nullptr) return ERROR_INVALID_HANDLE;
  // Zero or REG_OPTION_OPEN_LINK are the documented options; what Windows makes of others is not
  // documented, so they are refused.
  if (options & ~static_cast<DWORD>(0x8 /* REG_OPTION_OPEN_LINK */)) return ERROR_INVALID_PARAMETER;
  if (access & ~kKnownAccess) return ERROR_ACCESS_DENIED;
  bool denied = false;
  RegistryKey* found = Walk(root, subKey ? subKey : "", false, &denied);
  if (found == nullptr) return ERROR_FILE_NOT_FOUND;
  if (WantsWrite(access) && denied) return ERROR_ACCESS_DENIED;
  *result = Hand(found, access);
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD options,
                        REGSAM access, LPSECURITY_ATTRIBUTES, HKEY* result, LPDWORD disposition) {
  if (Enter("RegCreateKeyExA", Args(subKey, options, access)))
    return static_cast<LSTATUS>(M().lastError);
  *result = nullptr;
  REGSAM parentAccess = 0;
  RegistryKey* root = Root(key, &parentAccess);
  if (root == nullptr) return ERROR_INVALID_HANDLE;
  // Only volatility is an option of ours; links and backup semantics are not simulated.
  if (reserved != 0 || (options & ~static_cast<DWORD>(REG_OPTION_VOLATILE)))
    return ERROR_INVALID_PARAMETER;
  if (access & ~kKnownAccess) return ERROR_ACCESS_DENIED;
  bool denied = false;
  std::string path = subKey ? subKey : "";
  RegistryKey* existing = Walk(root, path, false, &denied);
  if (existing == nullptr) {
    // Each missing key is made below the last one found, which must let keys be made.
    if (!(parentAccess & KEY_CREATE_SUB_KEY) || denied) return ERROR_ACCESS_DENIED;
    RegistryKey* parent = root;
    for (const auto& part : Split(path)) {
      auto found = parent->subkeys.find(Lower(part));
      if (found != parent->subkeys.end()) {
        parent = found->second.get();
        continue;
      }
      if (parent->isVolatile && !(options & REG_OPTION_VOLATILE))
        return ERROR_CHILD_MUST_BE_VOLATILE;
      auto made = std::make_unique<RegistryKey>();
      made->name = part;
      made->isVolatile = (options & REG_OPTION_VOLATILE) != 0;
      parent = (parent->subkeys[Lower(part)] = std::move(made)).get();
    }
    existing = parent;
    if (disposition) *disposition = REG_CREATED_NEW_KEY;
  } else {
    if (WantsWrite(access) && denied) return ERROR_ACCESS_DENIED;
    if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
  }
  *result = Hand(existing, access);
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size) {
  if (Enter("RegSetValueExA", Args(name, type, size) + ", " + DataArg(type, data, size)))
    return static_cast<LSTATUS>(M().lastError);
  if (reserved != 0) BrokenContract("RegSetValueExA: the reserved argument is not 0");
  REGSAM access = 0;
  RegistryKey* k = Root(key, &access);
  if (k == nullptr || key == HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
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
  REGSAM access = 0;
  RegistryKey* k = Root(key, &access);
  if (k == nullptr) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
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
  if (Enter("RegEnumValueA", Args(index, nameSize ? *nameSize : 0u, dataSize ? *dataSize : 0u)))
    return static_cast<LSTATUS>(M().lastError);
  REGSAM access = 0;
  RegistryKey* k = Root(key, &access);
  if (k == nullptr) return ERROR_INVALID_HANDLE;
  if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegistryValue& v = k->values[index];
  DWORD length = static_cast<DWORD>(v.data.size());
  // Too small a buffer for either: the type and the data's size are told, the name size kept.
  if (nameSize == nullptr || *nameSize <= v.name.size() ||
      (data && dataSize && *dataSize < length)) {
    if (type) *type = v.type;
    if (dataSize) *dataSize = length;
    return ERROR_MORE_DATA;
  }
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
