#pragma once

#include <functional>

#include "DuviduCliOptions.h"
#include "Duvidu/DuviduId.h"

// One run of the SDK as an application has it: start with the command line's DSN and release (default
// "duvidu-cli@<version>"), become active (a session starts), the capture, will-terminate (the session ends), close
// (flushing for at most shutdownTimeInterval). Prints the event id; 0 when the event was handed on, 1 when the SDK
// sent nothing (no DSN, or the event was dropped).
int reportingRun(const DuviduCliOptions& options, const std::function<duvidu::DuviduId()>& capture);
