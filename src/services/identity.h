#pragma once
// Who the phone is: IMEI, model, software and hardware revision, software date. The
// texts are asked for once and kept for the session; on the cable most of them come
// with the start-up identity record.
#include <cstdint>

#include "link/reply_dispatch.h"

namespace pelkor {

enum class IdentityField { kImei, kRevision, kModel, kSoftwareDate };

// The identity exports: -1 without an open session, 5 when the phone never told,
// else 0 with the text in buffer (size bytes, always terminated).
int32_t GetIdentityText(IdentityField field, char *buffer, int32_t size);

// Forgets the per-session texts (IMEI, revision, software date, model).
void ResetIdentityTexts();

// The rows of the replies this file handles (services/services_module.cpp lists them).
extern const ReplyRouteTable kIdentityReplies;

}  // namespace pelkor
