// The configuration file and the connect URL (see connect_url.h).
#include "connect_url.h"

#include <windows.h>

#include <climits>
#include <cstdio>

#include "clog.h"
#include "parse_clnt_win32.h"

namespace {

const char kSection[] = "Default";
const DWORD kTextValueSize = 1024;
const DWORD kListValueSize = 4096;
const char kListSeparator[] = "||";

std::string ReadProfileValue(const char* key, DWORD bufferSize, const std::string& file) {
  std::vector<char> buffer(bufferSize, '\0');
  const DWORD n =
      GetPrivateProfileStringA(kSection, key, "", buffer.data(), bufferSize, file.c_str());
  return std::string(buffer.data(), n < bufferSize ? n : 0);
}

// The number at the start of `text` as atoi reads it: leading white space, an optional sign,
// then digits up to the first other character; 0 when there are none. Values beyond the range of
// int are held at its ends instead of overflowing.
int ParsePortNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// ASCII letters compared without case, as _stricmp does in the C locale.
bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

void TrimLeading(std::string& text, char blank) {
  const size_t first = text.find_first_not_of(blank);
  text.erase(0, first == std::string::npos ? text.size() : first);
}

void TrimTrailing(std::string& text, char blank) {
  const size_t last = text.find_last_not_of(blank);
  text.erase(last == std::string::npos ? 0 : last + 1);
}

}  // namespace

std::string GetHostExeDir() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();  // failed, or cut short
  const std::string full(path, n);
  const size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

void ReadConfInfo(ConfInfo& info) {
  info.origin.clear();
  info.pathname.clear();
  info.vectPort.clear();
  info.vectProcName.clear();

  const std::string file = GetHostExeDir() + "\\Nolvex.conf";
  info.origin = ReadProfileValue("origin", kTextValueSize, file);
  TrimBlanks(info.origin);
  info.pathname = ReadProfileValue("pathname", kTextValueSize, file);
  TrimBlanks(info.pathname);
  SplitString(ReadProfileValue("Port", kListValueSize, file), info.vectPort, kListSeparator);
  SplitString(ReadProfileValue("ProcName", kListValueSize, file), info.vectProcName,
              kListSeparator);
}

void TrimBlanks(std::string& text) {
  if (text.empty()) return;
  TrimLeading(text, ' ');
  TrimLeading(text, '\t');
  TrimLeading(text, ' ');
  TrimTrailing(text, ' ');
  TrimTrailing(text, '\t');
  TrimTrailing(text, ' ');
}

void SplitString(const std::string& source, std::vector<std::string>& pieces,
                 const std::string& separator) {
  CLOG_T("starting");
  try {
    std::string work = source;
    pieces.clear();
    if (!separator.empty()) {
      for (size_t at = work.find(separator); at != std::string::npos; at = work.find(separator)) {
        if (at > 0) pieces.push_back(work.substr(0, at));
        work.erase(0, at + separator.size());
      }
    }
    if (!work.empty()) pieces.push_back(work);
  } catch (...) {
    CLOG_E("receive a fatal error!!!");
    return;
  }
  CLOG_T("ending ok");
}

std::string GetConnectURL() {
  ConfInfo stConfInfo;
  ReadConfInfo(stConfInfo);
  if (stConfInfo.vectPort.size() == 0) {
    CLOG_E("stConfInfo.vectPort.size() == 0");
    return std::string();
  }
  if (stConfInfo.vectProcName.size() == 0) {
    CLOG_E("stConfInfo.vectProcName.size() == 0");
    return std::string();
  }
  if (stConfInfo.origin.length() == 0) {
    CLOG_E("stConfInfo.origin.length() == 0");
    return std::string();
  }

  for (const std::string& portText : stConfInfo.vectPort) {
    if (portText.empty()) continue;
    const int port = ParsePortNumber(portText);
    CLOG_T("port=%d", port);
    // Only a real TCP port is looked up: its low 16 bits would name a different port.
    if (port < 0 || port > 65535) continue;

    std::string path;
    kova_get_clnt_pid_and_path(static_cast<unsigned short>(port), nullptr, &path);
    if (path.empty()) continue;
    const size_t slash = path.find_last_of('\\');
    const std::string exeName = slash == std::string::npos ? path : path.substr(slash + 1);

    for (const std::string& procName : stConfInfo.vectProcName) {
      if (procName.empty() || !EqualsIgnoringAsciiCase(procName, exeName)) continue;
      if (port == 0) break;
      char url[4096] = {};
      if (stConfInfo.pathname.empty()) {
        std::snprintf(url, sizeof url, "%s:%d", stConfInfo.origin.c_str(), port);
      } else {
        std::snprintf(url, sizeof url, "%s:%d%s", stConfInfo.origin.c_str(), port,
                      stConfInfo.pathname.c_str());
      }
      CLOG_T("URL:%s", url);
      return url;
    }
  }
  return std::string();
}
