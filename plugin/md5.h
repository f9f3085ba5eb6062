// MD5 message digest (RFC 1321), one-shot: the plug-in signs its sync requests with it.
#pragma once

// Fills digest[0..15] with the MD5 digest of exactly `length` bytes at `data`. The bytes need no
// terminator and may hold zeros; a length of 0 gives the digest of the empty message (data may
// then be null).
void MD5Digest(const void* data, unsigned int length, unsigned char digest[16]);
