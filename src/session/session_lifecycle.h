#pragma once
// Opening and closing the session: the port, the link threads and every family's
// session hooks (session/family_list.cpp), all in the library's context.
#include <cstdint>

namespace pelkor {

// init(): closes any earlier session, opens the port, starts the link and waits up to
// 10 s (100 ms with the quick-start suffix 'F') for the phone. 0, 22 or -1.
int32_t OpenSession(const char *port, int32_t connectionType);

// terminate(): stops the link threads, closes the port, forgets per-session data.
int32_t CloseSession();

// isalive(): 1 while the link is believed up.
int32_t LinkAlive();

}  // namespace pelkor
