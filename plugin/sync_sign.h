// Timestamp and signature of a sync request: the MD5 of the signing key followed by the time.
#pragma once

#include <string>

// The signature text for one timestamp text: MD5 of the 32 key bytes then the timestamp bytes
// (no separator, no terminator), as 32 upper-case hexadecimal characters.
std::string SyncSignOf(const std::string& strTimeStamp);

// Reads the clock once (whole seconds since 1970-01-01 UTC) and replaces both outputs: the
// timestamp in decimal and its signature.
void GetSyncSign(std::string& strSign, std::string& strTimeStamp);
