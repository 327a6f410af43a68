#pragma once
// What the SMS subsystem forgets or prepares as sessions start and end.

namespace pelkor {

void ResetSmsArrivalCount();  // a new session counts arrival notices from 0
void ResetSmsList();          // the list is emptied once the link threads have ended
void PrepareSmsSending();     // first answered init: clean send record, message centre 1

}  // namespace pelkor
