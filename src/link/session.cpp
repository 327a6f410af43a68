#include "link/session.h"

#include <new>

namespace pelkor {

LinkSession &Session() {
  alignas(LinkSession) static unsigned char storage[sizeof(LinkSession)];
  static LinkSession *session = new (storage) LinkSession();
  return *session;
}

}  // namespace pelkor
