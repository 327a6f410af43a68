// The same through the C++ wrapper, in a file that says `using namespace std;`.
#include <pelkor16.hpp>

#include <iostream>

using namespace std;

int main(int argc, char **argv) {
  if (argc != 2) {
    cerr << "usage: " << argv[0] << " PORT\n";
    return 2;
  }
  try {
    pelkor16::session phone(argv[1]);
    cout << "IMEI " << phone.imei() << "\nversion " << pelkor16::version() << "\n";
  } catch (const pelkor16::error &e) {
    cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
