#pragma once

namespace pelkor {

// One pass of the keep-alive thread, ending with its 500 ms sleep.
void KeepAliveCycle();

}  // namespace pelkor
