// The program's own resources of named types (the package archives), found from its script.
#include <fstream>

#include "platform/sim/state.h"

using namespace sim::detail;

namespace {

struct Resource {
  std::string bytes;
};

std::string Upper(const char* text) {
  std::string upper;
  for (; *text; ++text) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
  return upper;
}

// The image's resources stay where they are for the life of the program, as on Windows.
Resource* Lookup(const std::string& type, int id) {
  static std::map<std::pair<std::string, int>, std::unique_ptr<Resource>> image;
  static std::map<std::pair<std::string, int>, std::unique_ptr<Resource>> replaced;
  auto key = std::make_pair(type, id);
  auto override = M().resourceOverrides.find(key);
  if (override != M().resourceOverrides.end()) {
    auto& slot = replaced[key];
    if (!slot || slot->bytes != override->second) {
      // A replaced resource keeps its old block alive: a reader may still hold it.
      static std::vector<std::unique_ptr<Resource>> retired;
      if (slot) retired.push_back(std::move(slot));
      slot = std::make_unique<Resource>(Resource{override->second});
    }
    return slot.get();
  }
  auto& slot = image[key];
  if (!slot) {
    const auto& custom = sim::rc::ProgramResources().custom;
    auto found = custom.find(key);
    if (found == custom.end()) return nullptr;
    std::ifstream in(found->second, std::ios::binary);
    if (!in) return nullptr;
    slot =
        std::make_unique<Resource>(Resource{std::string(std::istreambuf_iterator<char>(in), {})});
  }
  return slot.get();
}

}  // namespace

namespace sim {
void SetResource(const std::string& type, int id, const std::string& bytes) {
  M().resourceOverrides[{type, id}] = bytes;
}
}  // namespace sim

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  if (Enter("FindResourceA", Args(static_cast<const void*>(module), name, type))) return nullptr;
  if ((module != nullptr && module != ModuleHandle()) || !IS_INTRESOURCE(name) ||
      IS_INTRESOURCE(type)) {
    M().lastError = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return nullptr;
  }
  Resource* r = Lookup(Upper(type), static_cast<int>(reinterpret_cast<uintptr_t>(name)));
  if (r == nullptr) {
    M().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(r);
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  if (Enter("LoadResource", "") || resource == nullptr) return nullptr;
  return resource;
}

LPVOID LockResource(HGLOBAL data) {
  if (Enter("LockResource", "") || data == nullptr) return nullptr;
  return static_cast<Resource*>(data)->bytes.data();
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (Enter("SizeofResource", "") || resource == nullptr) return 0;
  return static_cast<DWORD>(reinterpret_cast<Resource*>(resource)->bytes.size());
}
