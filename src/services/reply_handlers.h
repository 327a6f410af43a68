#pragma once
// Reply handlers of the phone services (identity, status, clock, calls, network), as
// routed by the rows of services/services_module.cpp.
#include "link/reply_dispatch.h"
#include "services/calls.h"
#include "services/clock_alarm.h"
#include "services/identity.h"
#include "services/network.h"
#include "services/phone_status.h"
