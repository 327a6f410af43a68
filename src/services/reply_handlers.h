#pragma once
// Reply handlers of the phone services (identity, status, clock, calls, network), as
// routed by link/dispatch_table.cpp.
#include "link/reply_dispatch.h"
#include "services/calls.h"
#include "services/clock_alarm.h"
#include "services/identity.h"
#include "services/network.h"
#include "services/phone_status.h"
