#pragma once
// The process-wide log. Lines go to an installed sink and, when a log file
// path is configured, to that file with "\r\n" line ends (the file is
// rewritten on the process's first line and appended afterwards). When the
// application's name is known each line is written as "<line> // <name>".
// Thread safety: every call may come from any thread except the audio thread;
// all output is serialised by one lock.

#include <functional>
#include <string>
#include <string_view>

#include "Core/Error.h"

using LogSink = std::function<void(std::string_view line)>;

// Installs (or, with an empty function, removes) the sink.
void kelSetLogSink(LogSink sink);
// Sets the log file path (empty: no file).
void kelSetLogFile(const std::string& path);
// Sets the name appended to lines (empty: lines as given).
void kelSetLogAppName(const std::string& name);

// Writes one line.
void kelLog(std::string_view line);
// printf-style line.
void kelLogf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Writes an error record entry by entry.
void kelLogError(const CError& err);
