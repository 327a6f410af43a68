#include "logo/logo_state.h"

namespace pelkor {
namespace {

LogoState *bound = nullptr;  // set while the process is still single-threaded

}  // namespace

LogoState &Logo() { return *bound; }

LogoBitmap &SharedLogo() { return Logo().shared; }

LogoTransferState &LogoTransfers() { return Logo().transfers; }

void BindLogoState(LogoState &state) { bound = &state; }

}  // namespace pelkor
