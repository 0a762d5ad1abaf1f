#ifndef VELMO_HOST_COMMAND_LINE_H_
#define VELMO_HOST_COMMAND_LINE_H_

#include <string>
#include <vector>

// One argument as UTF-8; at most the first 32767 UTF-16 units are read. Text
// that is not valid UTF-16 (an unpaired surrogate) yields an empty string.
std::string Utf8FromUtf16(const wchar_t* utf16);

// The arguments after the program path of a command line, each as UTF-8 and
// in order; an unconvertible one keeps its place as an empty string. Empty
// when the command line cannot be split.
std::vector<std::string> EntryPointArguments(const wchar_t* command_line);

#endif  // VELMO_HOST_COMMAND_LINE_H_
