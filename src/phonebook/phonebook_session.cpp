#include "phonebook/phonebook_session.h"

namespace pelkor {

namespace {

PhonebookSession *bound = nullptr;  // set while the process is still single-threaded

}  // namespace

PhonebookSession &Phonebook() { return *bound; }

void BindPhonebookSession(PhonebookSession &session) { bound = &session; }

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
