// A host that opens a session and leaves without calling terminate(): the library must
// close the link on its own when the process ends. Exit status: init's result + 100.
#include <pelkor16.h>

#include <thread>

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  const bool fromThread = argc > 2;
  int32_t result = -99;
  if (fromThread) {
    // Opened from a thread that ends first: the session ends with that thread.
    std::thread host([&] { result = init(argv[1], PELKOR_CONNECTION_CABLE); });
    host.join();
  } else {
    result = init(argv[1], PELKOR_CONNECTION_CABLE);
  }
  return 100 + result;
}
