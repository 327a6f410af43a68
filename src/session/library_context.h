#pragma once
// The library's one context: the link's record and every family's record, built once in
// static storage and never destroyed, so that a link thread winding down at process end
// (or a late reply it dispatches) never reaches a record torn down under it.
//
// Each layer reaches its record only through its own accessor (Session(), Replies(),
// Services(), Sms(), Logo(), Phonebook()); building the context binds those accessors to
// its members and registers the families' reply tables with the link, while the process
// is still single-threaded. No layer names the layer above it.
#include <mutex>

#include "link/session.h"
#include "logo/logo_state.h"
#include "phonebook/phonebook_session.h"
#include "ringtone/ringtone_model.h"
#include "services/services_state.h"
#include "sms/sms_session.h"
#include "transaction/transaction.h"

namespace pelkor {

// What init and terminate share among themselves (session/session_lifecycle.cpp).
struct SessionControl {
  // init and terminate may come from the host's thread and from the unload hooks.
  // Timed, so that a hook running under the system's loader lock never waits for good.
  std::recursive_timed_mutex mutex;
  bool preparedOnce = false;  // the families' first-open hooks have run
};

struct LibraryContext {
  LinkSession link;
  ReplySignal replies;
  ServicesState services;
  SmsSession sms;
  LogoState logo;
  PhonebookSession phonebook;
  Ringtone ringtone{};  // the tone the ringtone_* exports edit
  SessionControl control;
};

// The context, built on first use; the library builds it as it loads, before any export
// can run or any link thread exists.
LibraryContext &Library();

}  // namespace pelkor
