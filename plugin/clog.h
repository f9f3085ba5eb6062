// The plug-in's log facility: one text line per call appended to the rotating file
// <system drive>:\KOVAROOT\KOVAlog\KOVAWsCoreSvr\wsPlugin.log.
#pragma once

#define CLOG_ERROR 1
#define CLOG_WARN 2
#define CLOG_TRACE 3

// Sets up the facility once; later calls return at once. Lines written before it are dropped.
void clog_init();

// Appends one line: timestamp, level label, host executable, process and thread ids, the part of
// source_file after its last backslash, line, function, then the formatted message.
void clog_write(int level, const char* source_file, int line, const char* function,
                const char* format, ...) __attribute__((format(printf, 5, 6)));

// Call-site macros: callers give only the level's message and its values. The file name is the
// bare name (no directories), as the Windows build shows it.
#define CLOG_SOURCE_FILE __FILE_NAME__
#define CLOG_FUNCTION __FUNCTION__
#define CLOG(level, ...) clog_write((level), CLOG_SOURCE_FILE, __LINE__, CLOG_FUNCTION, __VA_ARGS__)
#define CLOG_E(...) CLOG(CLOG_ERROR, __VA_ARGS__)
#define CLOG_W(...) CLOG(CLOG_WARN, __VA_ARGS__)
#define CLOG_T(...) CLOG(CLOG_TRACE, __VA_ARGS__)
