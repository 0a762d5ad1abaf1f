#ifndef VELMO_DIAGNOSTICS_LOG_LOCK_H_
#define VELMO_DIAGNOSTICS_LOG_LOCK_H_

#include <mutex>

// The process-wide lock that serialises lines written to app.log. Never
// destroyed: a line logged during static destruction must still find it.
// Only the log itself and its tests take it.
std::mutex& LogLock();

#endif  // VELMO_DIAGNOSTICS_LOG_LOCK_H_
