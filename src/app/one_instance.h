// COneInstance: one Quillmate a session; a second start brings the running dialog forward.
#pragma once

#include "platform/win32.h"
#include "ui/handles.h"

// The mutex that says a Quillmate runs in the session.
constexpr char kOneInstanceName[] = "Local\\Quillmate-CF25CB4A-97E4-4636-AC5F-8AEF3EFEB605";

// The message the running dialog answers with kComeForwardAnswer once it is restored; 0 when it
// could not be registered.
UINT ComeForwardMessage();
constexpr LRESULT kComeForwardAnswer = 0x51554C4D;

class COneInstance {
 public:
  COneInstance() = default;
  ~COneInstance();
  COneInstance(const COneInstance&) = delete;
  COneInstance& operator=(const COneInstance&) = delete;

  // True when this start goes on to open its dialog: no Quillmate runs in the session, or none
  // answered in time (the name may be another program's). False when a running Quillmate's
  // dialog was brought forward instead.
  bool Claim();

 private:
  ui::Mutex mutex_;
  bool owned_ = false;
};
