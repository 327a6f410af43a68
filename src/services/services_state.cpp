#include "services/services_state.h"

namespace pelkor {
namespace {

ServicesState *bound = nullptr;  // set while the process is still single-threaded

}  // namespace

ServicesState &Services() { return *bound; }

void BindServicesState(ServicesState &state) { bound = &state; }

}  // namespace pelkor
