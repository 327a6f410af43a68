// Every family of request handlers, in one list: a new family is a new
// handlers_<family>.cpp, its line here and its line in CMakeLists.txt. The order is
// the order the families register in (later defaults merge over earlier ones).
#include "dispatch.h"

namespace phonesim {

void RegisterCallsHandlers(HandlerTable &table);
void RegisterClockHandlers(HandlerTable &table);
void RegisterDisplayHandlers(HandlerTable &table);
void RegisterIdentityHandlers(HandlerTable &table);
void RegisterLogoHandlers(HandlerTable &table);
void RegisterNetworkHandlers(HandlerTable &table);
void RegisterPhonebookHandlers(HandlerTable &table);
void RegisterProfileHandlers(HandlerTable &table);
void RegisterRingtoneHandlers(HandlerTable &table);
void RegisterSecurityHandlers(HandlerTable &table);
void RegisterSmsHandlers(HandlerTable &table);
void RegisterSmsNetworkHandlers(HandlerTable &table);
void RegisterSmsSaveHandlers(HandlerTable &table);
void RegisterSmsStoreHandlers(HandlerTable &table);
void RegisterStartupQueriesHandlers(HandlerTable &table);
void RegisterStatusHandlers(HandlerTable &table);
void RegisterTonesHandlers(HandlerTable &table);
void RegisterVersionHandlers(HandlerTable &table);

namespace {

using Registration = void (*)(HandlerTable &table);

constexpr Registration kFamilies[] = {
    RegisterCallsHandlers,     RegisterClockHandlers,    RegisterDisplayHandlers,
    RegisterIdentityHandlers,  RegisterLogoHandlers,     RegisterNetworkHandlers,
    RegisterPhonebookHandlers, RegisterProfileHandlers,  RegisterRingtoneHandlers,
    RegisterSecurityHandlers,  RegisterSmsHandlers,      RegisterSmsNetworkHandlers,
    RegisterSmsSaveHandlers,   RegisterSmsStoreHandlers, RegisterStartupQueriesHandlers,
    RegisterStatusHandlers,    RegisterTonesHandlers,    RegisterVersionHandlers,
};

}  // namespace

void RegisterHandlerFamilies(HandlerTable &table) {
  for (const Registration registration : kFamilies) registration(table);
}

}  // namespace phonesim
