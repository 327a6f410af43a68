#include "session/library_context.h"

#include <new>

#include "session/family_list.h"

namespace pelkor {
namespace {

LibraryContext *Build() {
  // Static bytes, not a static object: nothing destroys the context at process end.
  alignas(LibraryContext) static unsigned char storage[sizeof(LibraryContext)];
  auto *context = new (storage) LibraryContext();
  BindSession(context->link);
  BindReplySignal(context->replies);
  BindServicesState(context->services);
  BindSmsSession(context->sms);
  BindLogoState(context->logo);
  BindPhonebookSession(context->phonebook);
  BindCurrentRingtone(context->ringtone);
  RegisterFamilyRoutes();
  return context;
}

// Built while the library loads, before main or the host's first call.
[[maybe_unused]] LibraryContext &builtAtLoad = Library();

}  // namespace

LibraryContext &Library() {
  static LibraryContext *const context = Build();
  return *context;
}

}  // namespace pelkor
