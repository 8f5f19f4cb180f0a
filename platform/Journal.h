// The journal as our standard output or error: a service manager that connects a stream to
// the journal names it in JOURNAL_STREAM ("<device>:<inode>", in decimal), and a descriptor is
// that stream when fstat gives the same pair. Lines written there begin with the priority
// ("<3>" for an error) and carry no stamp of ours: the journal stamps each line itself.
// Any thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/LogLevel.h"

namespace zq {

// Whether `fd` is the stream `journalStream` (JOURNAL_STREAM's value; null: none) names.
bool IsJournalStream(int fd, const char* journalStream);
// The same for standard output and standard error under this process's JOURNAL_STREAM, read
// once, at the first call.
bool StdoutIsJournal();
bool StderrIsJournal();

// "<N>" and the line.
std::string JournalLine(TLogLevel level, std::string_view line);

}  // namespace zq
