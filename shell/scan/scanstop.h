// What ends or shapes a running scan from outside the scan task.
#pragma once

#include <csignal>
#include <cstdint>

// Set by the alarm of a scan request when the scan has taken too long; the
// task's stop test reports it. Cleared by the request before each scan.
extern volatile sig_atomic_t ScanTimeoutFlag;
// Set while the mail walk runs: StopOnFirstInfected then leaves the walk of
// a container alone.
extern int32_t MailWalkActive;
