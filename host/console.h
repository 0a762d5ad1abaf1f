#ifndef VELMO_HOST_CONSOLE_H_
#define VELMO_HOST_CONSOLE_H_

// Gives the process a console of its own when it runs under a debugger but
// was not started from a terminal, so standard output and error are seen.
void AttachConsoleIfNeeded();

#endif  // VELMO_HOST_CONSOLE_H_
