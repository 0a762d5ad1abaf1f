#ifndef VELMO_DIAGNOSTICS_APP_LOG_H_
#define VELMO_DIAGNOSTICS_APP_LOG_H_

#include <string>

// The process-wide logs directory (UTF-16, no trailing separator); empty until
// one has been chosen, then fixed for the rest of the process.
const std::wstring& LogsDirectory();

// Chooses and creates the logs directory if none is set yet. True when one is
// set. Takes no lock: the crash path calls it too.
bool EnsureLogsDirectory();

// True when a file can be created in the directory (the probe file vanishes
// when its handle closes).
bool ProbeWritable(const std::wstring& directory);

// Appends "<local time stamp> <text>\r\n" to app.log in the logs directory.
// Thread-safe; a null text or any failure writes nothing and reports nothing.
void AppendLog(const char* text);

// For threads that must never wait for the disk or the log lock (the audio
// worker, the input hooks' thread): stamps the line at once and queues it for
// the log's writer thread. Never blocks; a line that finds the queue full is
// dropped and the count of dropped lines is logged with the next line written.
void AppendLogNonBlocking(const char* text);

// Writes the lines queued by AppendLogNonBlocking now, on the calling thread
// (the writer thread does it on its own; this is for an orderly exit).
void DrainLogQueue();

#endif  // VELMO_DIAGNOSTICS_APP_LOG_H_
