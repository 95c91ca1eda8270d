// One Quillmate a session: a named mutex says one may run, its dialog's answer that one does.
//
// The mutex's name is in the session's namespace ("Local\"), so each user session has its own
// Quillmate. Anything of the same user can create that name first, and no name or title is
// proof of anything: a taken name only sends this start looking for a Quillmate dialog that
// answers a registered message, for a few seconds, after which it starts anyway.
#include "app/one_instance.h"

#include "app/quillmate_dlg.h"

namespace {

constexpr char kMessageName[] = "Quillmate-ComeForward-CF25CB4A-97E4-4636-AC5F-8AEF3EFEB605";
// Long enough for a first start to get from its mutex to its dialog's message loop, which
// includes the unpacking; short enough that a name held by another program only delays.
constexpr DWORD kLookForMs = 10000;
constexpr DWORD kAnswerMs = 500;
constexpr DWORD kPollMs = 100;

bool TimeIsUp(DWORD start) {
  return ::GetTickCount() - start >= kLookForMs;  // unsigned: right across the tick wrap
}

// A dialog of ours by class and title (either language) that answers the message: it has
// restored itself, and this start brings it to the foreground, as the user started it.
bool BringRunningDialogForward(DWORD start) {
  UINT message = ComeForwardMessage();
  if (message == 0) return false;
  for (bool chinese : {false, true}) {
    const char* title = CQuillmateDlg::TitleText(chinese);
    for (HWND window = ::FindWindowExA(nullptr, nullptr, "#32770", title); window != nullptr;
         window = ::FindWindowExA(nullptr, window, "#32770", title)) {
      DWORD_PTR answer = 0;
      if (::SendMessageTimeoutA(window, message, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, kAnswerMs,
                                &answer) != 0 &&
          static_cast<LRESULT>(answer) == kComeForwardAnswer) {
        ::SetForegroundWindow(window);
        return true;
      }
      if (TimeIsUp(start)) return false;  // however many windows bear the title
    }
  }
  return false;
}

}  // namespace

UINT ComeForwardMessage() {
  static const UINT message = ::RegisterWindowMessageA(kMessageName);
  return message;
}

COneInstance::~COneInstance() {
  if (owned_) ::ReleaseMutex(mutex_.Get());
}

bool COneInstance::Claim() {
  mutex_.Reset(::CreateMutexA(nullptr, TRUE, kOneInstanceName));
  DWORD error = ::GetLastError();
  if (mutex_ && error != ERROR_ALREADY_EXISTS) {
    owned_ = true;
    return true;
  }
  // Another kind of object of that name, or one this start may not open, is another program's;
  // any other failure says nothing of a running Quillmate.
  if (!mutex_ && error != ERROR_INVALID_HANDLE && error != ERROR_ACCESS_DENIED) return true;
  DWORD start = ::GetTickCount();
  for (;;) {
    // The running one owns the mutex while it runs; free or abandoned, it has ended.
    if (mutex_) {
      DWORD wait = ::WaitForSingleObject(mutex_.Get(), 0);
      if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        owned_ = true;
        return true;
      }
    }
    if (BringRunningDialogForward(start)) return false;
    if (TimeIsUp(start)) return true;
    ::Sleep(kPollMs);
  }
}
