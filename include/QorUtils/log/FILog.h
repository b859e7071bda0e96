// The process-wide error log: one plain-text file, opened, written and closed again by every
// call, so that no file stays open between calls. FILogErr always writes; FILogTrace writes
// when the message's level does not exceed the threshold (5 at load). The functions may be
// called from any thread: they take the log's lock in turn, so each line is written whole and
// none is lost, the first write of all is the one that empties the file, and a path or threshold
// set is in force for every line written after the call that set it returns. A trace above
// the threshold takes no lock and costs next to nothing. Each line goes to the file in one
// write, so lines of other processes logging to the same file (a forked child) never mix with it.
// A relative path is taken in the directory that is current when the log is opened (its header
// written), and stays there if the host changes directory later.
// A file that cannot be created or written makes a call write nothing; none reports an error.
#pragma once

#include <QorUtils/Export.h>

// Sets the path (a null or empty path keeps the current one), empties the file and writes the
// header " FI Error Log, HH:MM:SS, MM/DD/YY" followed by an empty line. With no path set at
// all there is no file to write until SetFILog or CloseFILog.
QORUTILS_API void OpenFILog(const char* path);
// Sets the path; when the log was opened, closes it first (which resets the threshold to 5).
// The header is written by the next message. A null or empty path leaves none set, so the next
// message goes to the default file.
QORUTILS_API void SetFILog(const char* path);
// Sets the trace threshold and returns the previous one.
QORUTILS_API int SetFILogLevel(int level);
// Appends " message" as one line, opening the log first (default file "QorErrors.log" in the
// current directory) when it is not open. A null message is written as an empty one.
QORUTILS_API void FILogErr(const char* message);
// Writes the message through FILogErr when level <= the threshold.
QORUTILS_API void FILogTrace(const char* message, int level);
// Forgets the path, marks the log not opened and sets the threshold back to 5.
QORUTILS_API void CloseFILog();
