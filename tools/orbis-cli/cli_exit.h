// orbis-cli's exit statuses, one per kind of failure, so that a script can tell
// a typo from an absent printer. The manual page lists them; keep both in step.
#pragma once

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;       // anything not listed below (out of memory, an unknown result)
inline constexpr int kExitUsage = 2;         // bad arguments or options, unknown command
inline constexpr int kExitNoPrinter = 3;     // no supported printer found, or none answers on the port
inline constexpr int kExitCommunication = 4; // the printer was there but the exchange failed
inline constexpr int kExitRefused = 5;       // a value the catalogue does not allow, or the printer refused
inline constexpr int kExitFile = 6;     // the catalogue or a named file could not be found, read or written
inline constexpr int kExitFindings = 7; // decode or check read the file and report what does not fit;
                                        // diff found a difference
inline constexpr int kExitNotTaken = 8; // the write went out but the read-back showed settings not taken

// The status for a library result; `opening`: the result of DvcOpenPort.
int ExitForDvc(int code, bool opening);

// The first failure noted by Fail (kExitFailure when none was).
void NoteFailure(int status);
int FailureStatus();

} // namespace cli
