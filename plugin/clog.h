// The plug-in's log facility: one text line per call appended to the rotating file
// <system drive>:\KOVAROOT\KOVAlog\KOVAWsCoreSvr\wsPlugin.log.
#pragma once

#include <cstddef>
#include <cstdio>  // __MINGW_PRINTF_FORMAT: the printf flavour vsnprintf implements here

#define CLOG_ERROR 1
#define CLOG_WARN 2
#define CLOG_TRACE 3

// Sets up the facility once; later calls return at once. Lines written before it are dropped.
// Safe when several threads make the first call at the same time: the set-up runs once.
void clog_init();

// Appends one line: timestamp, level label, host executable, process and thread ids, the part of
// source_file after its last backslash, line, function, then the formatted message. Levels 0 to 3
// are written, anything else is ignored. Never fails towards the caller and never throws.
void clog_write(int level, const char* source_file, int line, const char* function,
                const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 5, 6)));

namespace clog_detail {

// The routine name as it is written in the source ("ProcLock::ProcLock", "do_call_ax"), cut at
// compile time out of GCC's __PRETTY_FUNCTION__ ("ProcLock::ProcLock(std::string)"): the
// parameter list, the return type and a template's "[with ...]" are removed.
template <std::size_t N>
struct RoutineName {
  char text[N] = {};
  constexpr explicit RoutineName(const char (&pretty)[N]) {
    std::size_t end = 0;
    while (end < N - 1 && pretty[end] != '\0') ++end;
    for (std::size_t i = 0; i + 6 <= end; ++i) {
      if (pretty[i] == ' ' && pretty[i + 1] == '[' && pretty[i + 2] == 'w' &&
          pretty[i + 3] == 'i' && pretty[i + 4] == 't' && pretty[i + 5] == 'h') {
        end = i;
        break;
      }
    }
    const char* const qualifiers[] = {" const", " volatile", " &&", " &"};
    for (bool cut = true; cut;) {  // drop qualifiers after the parameters: " const", " &&"
      cut = false;
      for (const char* qualifier : qualifiers) {
        std::size_t length = 0;
        while (qualifier[length] != '\0') ++length;
        if (end < length) continue;
        bool same = true;
        for (std::size_t i = 0; i < length; ++i)
          same = same && pretty[end - length + i] == qualifier[i];
        if (same) {
          end -= length;
          cut = true;
        }
      }
    }
    if (end > 0 && pretty[end - 1] == ')') {  // drop "(parameters)"
      int depth = 0;
      for (std::size_t i = end; i-- > 0;) {
        if (pretty[i] == ')') {
          ++depth;
        } else if (pretty[i] == '(' && --depth == 0) {
          end = i;
          break;
        }
      }
    }
    std::size_t begin = 0;  // drop the return type: the name follows the last blank outside <>
    int angle = 0;
    for (std::size_t i = 0; i < end; ++i) {
      if (pretty[i] == '<') {
        ++angle;
      } else if (pretty[i] == '>') {
        --angle;
      } else if (pretty[i] == ' ' && angle == 0) {
        begin = i + 1;
      }
    }
    for (std::size_t i = begin; i < end; ++i) text[i - begin] = pretty[i];
  }
};

}  // namespace clog_detail

// Call-site macros: callers give only the level, the format and its values. The file name is the
// bare name (no directories), as the Windows build shows it; the routine name is the qualified
// name of the enclosing function.
#define CLOG_SOURCE_FILE __FILE_NAME__
#define CLOG_FUNCTION                                                                       \
  ({                                                                                        \
    static constexpr ::clog_detail::RoutineName<sizeof(__PRETTY_FUNCTION__)> clog_routine_{ \
        __PRETTY_FUNCTION__};                                                               \
    static_cast<const char*>(clog_routine_.text);                                           \
  })
#define CLOG(level, ...) clog_write((level), CLOG_SOURCE_FILE, __LINE__, CLOG_FUNCTION, __VA_ARGS__)
#define CLOG_E(...) CLOG(CLOG_ERROR, __VA_ARGS__)
#define CLOG_W(...) CLOG(CLOG_WARN, __VA_ARGS__)
#define CLOG_T(...) CLOG(CLOG_TRACE, __VA_ARGS__)
