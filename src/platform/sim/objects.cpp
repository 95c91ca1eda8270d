// The simulated session's processes and named kernel objects: mutexes, and the names they share.
//
// Evidence: Microsoft's CreateMutexA page (a name that exists gives a handle to that object and
// ERROR_ALREADY_EXISTS, bInitialOwner then ignored; the name of an event or another kind fails
// with ERROR_INVALID_HANDLE; names compare with regard to case), "Kernel Object Namespaces" (a
// session's process names objects in the session's namespace, which "Local\" names
// explicitly), ReleaseMutex (ERROR_NOT_OWNER from a thread that does not own it) and
// WaitForSingleObject (WAIT_ABANDONED for a mutex whose owner ended without releasing it).
// Wine's tests, kernel32 sync.c: test_mutex (ERROR_ALREADY_EXISTS, another case is another
// object and sets the last error to 0), test_temporary_objects (an object goes with its last
// handle); ntdll om.c test_name_collisions.
#include <cstdio>
#include <cstdlib>

#include "platform/sim/state.h"

using namespace sim::detail;

namespace {

constexpr char kLocalPrefix[] = "Local\\";

std::string SessionName(const std::string& name) {
  if (name.compare(0, sizeof kLocalPrefix - 1, kLocalPrefix) == 0)
    return name.substr(sizeof kLocalPrefix - 1);
  return name;
}

std::shared_ptr<KernelObject> Named(const std::string& name) {
  auto it = M().namedObjects.find(SessionName(name));
  if (it == M().namedObjects.end()) return nullptr;
  std::shared_ptr<KernelObject> object = it->second.lock();
  if (!object) M().namedObjects.erase(it);
  return object;
}

HANDLE Hand(const std::shared_ptr<KernelObject>& object) {
  uintptr_t handle = M().nextObjectHandle += 4;
  M().objectHandles[handle] = Machine::ObjectHandle{object, M().process};
  return reinterpret_cast<HANDLE>(handle);
}

Machine::ObjectHandle* Handle(HANDLE handle) {
  auto it = M().objectHandles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == M().objectHandles.end() || it->second.process != M().process) return nullptr;
  return &it->second;
}

}  // namespace

namespace sim {

void RunAsAnotherProcess(const std::function<void()>& body) {
  Machine& m = M();
  DWORD previous = m.process, process = m.nextProcessId++;
  m.process = process;
  body();
  // The process ends: its handles close, what its thread owned is abandoned, its windows go.
  for (auto it = m.objectHandles.begin(); it != m.objectHandles.end();) {
    if (it->second.process == process) {
      it = m.objectHandles.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [name, weak] : m.namedObjects) {
    std::shared_ptr<KernelObject> object = weak.lock();
    if (object && object->owner == process) {
      object->owner = 0;
      object->recursion = 0;
      object->abandoned = true;
    }
  }
  for (auto& [value, window] : m.windows)
    if (window->process == process) window->destroyed = true;
  if (detail::Find(m.foreground) == nullptr) m.foreground = nullptr;
  m.process = previous;
}

void HoldNamedObject(const std::string& name, NamedObjectKind kind, bool owned, bool deniesOthers) {
  auto object = std::make_shared<KernelObject>();
  object->name = SessionName(name);
  object->kind = kind;
  object->owner = owned && kind == NamedObjectKind::kMutex ? 0xFFFF : 0;  // another program
  object->recursion = object->owner != 0 ? 1 : 0;
  object->deniesOthers = deniesOthers;
  M().heldByOthers.push_back(object);
  M().namedObjects[object->name] = object;
}

bool NamedObjectExists(const std::string& name) {
  return Named(name) != nullptr;
}

int OpenKernelObjects() {
  int open = 0;
  for (const auto& [handle, entry] : M().objectHandles)
    if (entry.process == 1) ++open;
  return open;
}

}  // namespace sim

namespace sim::detail {

bool CloseKernelObject(HANDLE handle) {
  if (Handle(handle) == nullptr) return false;
  // A thread that still owns the mutex keeps owning it until it releases it or ends.
  M().objectHandles.erase(reinterpret_cast<uintptr_t>(handle));
  return true;
}

bool WaitForKernelObject(HANDLE handle, DWORD milliseconds, DWORD* result) {
  Machine::ObjectHandle* entry = Handle(handle);
  if (entry == nullptr) return false;
  KernelObject& object = *entry->object;
  Machine& m = M();
  if (object.kind == NamedObjectKind::kMutex && (object.owner == 0 || object.owner == m.process)) {
    // A free mutex is taken; its owner may take it again, and releases it as often.
    *result = object.abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    object.abandoned = false;
    object.owner = m.process;
    ++object.recursion;
    return true;
  }
  // Owned by another process, or an event nobody sets: this thread is the only one here, so
  // nothing changes while it waits.
  if (milliseconds == INFINITE) {
    std::fprintf(stderr, "simulated machine: infinite wait on an object nothing signals\n");
    std::abort();
  }
  m.waitedMilliseconds += milliseconds;
  PassTime(milliseconds);
  *result = WAIT_TIMEOUT;
  return true;
}

}  // namespace sim::detail

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
  if (Enter("CreateMutexA", Args(initialOwner, name))) return nullptr;
  Machine& m = M();
  if (name != nullptr) {
    if (std::shared_ptr<KernelObject> existing = Named(name)) {
      if (existing->kind != sim::NamedObjectKind::kMutex) {
        m.lastError = ERROR_INVALID_HANDLE;
        return nullptr;
      }
      if (existing->deniesOthers) {
        m.lastError = ERROR_ACCESS_DENIED;
        return nullptr;
      }
      m.lastError = ERROR_ALREADY_EXISTS;
      return Hand(existing);
    }
  }
  auto object = std::make_shared<KernelObject>();
  if (name != nullptr) {
    object->name = SessionName(name);
    m.namedObjects[object->name] = object;
  }
  if (initialOwner) {
    object->owner = m.process;
    object->recursion = 1;
  }
  m.lastError = 0;
  return Hand(object);
}

BOOL ReleaseMutex(HANDLE mutex) {
  if (Enter("ReleaseMutex", "")) return FALSE;
  Machine::ObjectHandle* entry = Handle(mutex);
  if (entry == nullptr || entry->object->kind != sim::NamedObjectKind::kMutex) {
    M().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  KernelObject& object = *entry->object;
  if (object.owner != M().process) {
    M().lastError = ERROR_NOT_OWNER;
    return FALSE;
  }
  if (--object.recursion == 0) object.owner = 0;
  return TRUE;
}

DWORD GetTickCount() {
  Enter("GetTickCount", "");
  return M().now;
}
