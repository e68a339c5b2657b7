#pragma once

#include <QtGlobal>

// The resident memory of this process, from /proc/self (Linux), for the
// tests and benchmarks that weigh the program.

// Resident memory now, and its peak since the start or the last
// ResetPeakResident, in kB; -1 when it cannot be read.
qint64 ResidentKb();
qint64 PeakResidentKb();
// Starts a new peak from the resident memory of now; false where the system
// does not allow it (the peak then counts from the start of the process).
bool ResetPeakResident();
