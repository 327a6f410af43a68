#pragma once
// The serial link: the open port, the watch thread that drains it byte by byte into
// the receiver, and the keep-alive thread.
#include <cstddef>
#include <cstdint>

namespace pelkor {

namespace platform {
class SerialPort;
}

// Opens the port and starts both link threads. Returns false with nothing open and
// no thread running when any step fails.
bool OpenConnection(const char *portName, void (*onByte)(uint8_t), void (*keepAliveCycle)());

// Stops the keep-alive thread, then the watch thread, then drops DTR and closes the
// port. Safe to call when nothing is open.
void CloseConnection();

// The same stop where the link threads must not be joined (module unload and thread end
// on Windows run under the loader lock). Waits at most `loopExitWaitMs` for both
// threads to leave their loops, lets them finish on their own, then closes the port.
// With `threadsGone` the system has already ended them: only the port is closed.
void CloseConnectionWithoutJoining(bool threadsGone, int32_t loopExitWaitMs);

size_t ReadPort(uint8_t *buffer, size_t maximum);
size_t WritePort(const uint8_t *buffer, size_t length);

// Infrared wake-up burst: 219 x 0x55 then 0xC1 with DTR and RTS raised.
void WakeLine();

// The port the link uses; tests install their own before opening.
platform::SerialPort &LinkPort();
void UsePortForTesting(platform::SerialPort *port);  // null restores the system port

}  // namespace pelkor
