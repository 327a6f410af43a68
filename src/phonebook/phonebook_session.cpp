#include "phonebook/phonebook_session.h"

namespace pelkor {

PhonebookSession &Phonebook() {
  // Never destroyed, like the session record: a late reply at process end may still
  // look at the targets.
  static PhonebookSession *const session = new PhonebookSession;
  return *session;
}

void ResetPhonebookSession() {
  PhonebookSession &pb = Phonebook();
  pb.memoryCounted = false;
  pb.countedMemoryType = 0;
  pb.counts = MemoryCounts{};
  pb.cachedEntry = PhonebookEntry{};
  pb.entryCache = AnswerCache{};
  pb.cachedSpeedDial = SpeedDial{};
  pb.speedDialCache = AnswerCache{};
}

}  // namespace pelkor
