#pragma once
// One worker process of the station: the system's own implementation (see StationSystem.h).

#ifdef _WIN32
#include "cli/station/windows/WorkerProcess.h"
#else
#include "cli/station/posix/WorkerProcess.h"
#endif
