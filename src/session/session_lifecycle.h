#pragma once
#include <cstdint>

namespace pelkor {

// init(): closes any earlier session, opens the port, starts the link and waits up to
// 10 s (100 ms with the quick-start suffix 'F') for the phone. 0, 22 or -1.
int32_t OpenSession(const char *port, int32_t connectionType);

// terminate(): stops the link threads, closes the port, forgets per-session data.
int32_t CloseSession();

// isalive(): 1 while the link is believed up.
int32_t LinkAlive();

// Subsystems that keep per-session data register here what a new session or the end of
// one must clear; the lists are in session_resets.cpp.
void ResetForNewSession();  // run by Initialise before the port is opened
void ResetAfterClose();     // run by terminate() once the threads have ended
void PrepareOnFirstOpen();  // run once per process, on the first answered init()

}  // namespace pelkor
