#pragma once
// Diagnostics raised on the audio thread ("process seq err", latency
// uniformer messages). The audio thread must not log, so it queues a line
// into a fixed ring without locks or allocation; the main thread writes the
// queued lines to the log as "%s // %s" (text, the object's full name).

#include <cstdio>
#include <string>

class CObject;

// Queues a diagnostic (text is copied, truncated to a fixed length). Safe on
// the audio thread; drops the line when the ring is full.
void kelAudioDiagnostic(const char* text, const CObject* subject);
// printf-style form of the same (formats into a fixed buffer, no allocation).
void kelAudioDiagnosticf(const CObject* subject, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Writes every queued diagnostic to the log (main thread). Returns how many.
int kelFlushAudioDiagnostics();
