#pragma once
// The logo family's state in one record: the shared bitmap the host edits, and the
// cells and target of the transfers. It belongs to the library's context, which is
// built once and never destroyed, so a late reply at process end never reaches a
// record torn down.
#include "logo/logo_bitmap.h"
#include "transaction/transaction.h"

namespace pelkor {

// The transfers' share: a download reply fills the waiting record through the target;
// either transfer's verdict completes its cell.
struct LogoTransferState {
  StatusCell uploadCell;
  StatusCell downloadCell;
  ReplyTarget<LogoBitmap> downloadTarget;
};

struct LogoState {
  LogoBitmap shared{};  // host's thread only; SharedLogo()
  LogoTransferState transfers;
};

LogoState &Logo();
LogoTransferState &LogoTransfers();

// Called once by the library's context when it is built, before any link thread starts.
void BindLogoState(LogoState &state);

}  // namespace pelkor
