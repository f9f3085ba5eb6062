// The configuration file Nolvex.conf beside the host executable, and the sync server's connect
// URL built from it: origin, a colon, the first configured port held by a configured process,
// then the path.
#pragma once

#include <string>
#include <vector>

// What Nolvex.conf holds (section "Default").
struct ConfInfo {
  std::string origin;    // "origin", trimmed
  std::string pathname;  // "pathname", trimmed; may be empty
  std::vector<std::string> vectPort;      // pieces of "Port" split at "||", not trimmed
  std::vector<std::string> vectProcName;  // pieces of "ProcName" split at "||", not trimmed
};

// Drive and directory of the process's executable, ending in a backslash; empty when the path
// cannot be read.
std::string GetHostExeDir();

// Fills `info` from <host exe dir>\Nolvex.conf; missing keys read as empty values.
void ReadConfInfo(ConfInfo& info);

// Removes, at each end, a run of spaces, then a run of tabs, then a run of spaces.
void TrimBlanks(std::string& text);

// Replaces `pieces` by the non-empty pieces of `source` between occurrences of `separator`,
// matched from left to right. An empty separator splits nothing: the source is one piece.
void SplitString(const std::string& source, std::vector<std::string>& pieces,
                 const std::string& separator);

// The connect URL, or an empty text when the configuration is incomplete or no configured port
// is held by a configured process. Ports outside 0..65535 are skipped without a lookup.
std::string GetConnectURL();
