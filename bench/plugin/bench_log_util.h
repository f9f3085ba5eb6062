// Small helpers of the plug-in benchmarks: a clock, a median, and where the log lies.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kova_bench {

inline double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

inline std::string LogDir() {
  char dir[MAX_PATH] = {};
  GetSystemDirectoryA(dir, sizeof dir);
  return std::string(1, dir[0]) + ":\\KOVAROOT\\KOVAlog\\KOVAWsCoreSvr\\";
}

inline std::string LogPath() { return LogDir() + "wsPlugin.log"; }

}  // namespace kova_bench
