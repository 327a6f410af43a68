// Every family of request handlers, in one list: a new family is a new
// handlers_<family>.cpp, its line here and its line in CMakeLists.txt. The order is
// the order the families register in (later defaults merge over earlier ones).
#include "dispatch.h"

namespace phonesim {

void register_calls_handlers(HandlerTable &table);
void register_clock_handlers(HandlerTable &table);
void register_display_handlers(HandlerTable &table);
void register_identity_handlers(HandlerTable &table);
void register_logo_handlers(HandlerTable &table);
void register_network_handlers(HandlerTable &table);
void register_phonebook_handlers(HandlerTable &table);
void register_profile_handlers(HandlerTable &table);
void register_ringtone_handlers(HandlerTable &table);
void register_security_handlers(HandlerTable &table);
void register_sms_handlers(HandlerTable &table);
void register_sms_network_handlers(HandlerTable &table);
void register_sms_save_handlers(HandlerTable &table);
void register_sms_store_handlers(HandlerTable &table);
void register_startup_queries_handlers(HandlerTable &table);
void register_status_handlers(HandlerTable &table);
void register_tones_handlers(HandlerTable &table);
void register_version_handlers(HandlerTable &table);

namespace {

using Registration = void (*)(HandlerTable &table);

constexpr Registration kFamilies[] = {
    register_calls_handlers,     register_clock_handlers,     register_display_handlers,
    register_identity_handlers,  register_logo_handlers,      register_network_handlers,
    register_phonebook_handlers, register_profile_handlers,   register_ringtone_handlers,
    register_security_handlers,  register_sms_handlers,       register_sms_network_handlers,
    register_sms_save_handlers,  register_sms_store_handlers, register_startup_queries_handlers,
    register_status_handlers,    register_tones_handlers,     register_version_handlers,
};

}  // namespace

void register_handler_families(HandlerTable &table) {
  for (const Registration registration : kFamilies) registration(table);
}

}  // namespace phonesim
