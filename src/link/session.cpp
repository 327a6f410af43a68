#include "link/session.h"

namespace pelkor {
namespace {

LinkSession *bound = nullptr;  // set while the process is still single-threaded

}  // namespace

LinkSession &Session() { return *bound; }

void BindSession(LinkSession &session) { bound = &session; }

}  // namespace pelkor
