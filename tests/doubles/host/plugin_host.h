// The substitute host: loads kova_websocket.dll as the host service does, calls its exports,
// and plays the server object the callbacks receive, recording every send.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "host_interface.h"

namespace host_double {

// The plug-in DLL, loaded for the lifetime of the object. Unloading also releases the
// Nolvex.dll the plug-in keeps loaded, so that the next load starts from scratch.
class PluginHost {
 public:
  // Loads kova_websocket.dll from the test programs' folder, or from dll_path.
  PluginHost();
  explicit PluginHost(const std::string& dll_path);
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  bool loaded() const { return m_module != nullptr; }
  HMODULE module() const { return m_module; }
  // An export of the plug-in, or null.
  FARPROC Export(const char* name) const;
  // Calls kova_ws_init; null when the plug-in does not export it.
  const wbs_callback_table_t* Init() const;
  void Unload();

 private:
  HMODULE m_module;
};

// The host's server object: words 9 and 11 are its send and get_client_info; every other word
// holds an address that would crash if the plug-in called it.
class FakeServer {
 public:
  struct Sent {
    void* context = nullptr;
    std::string bytes;         // exactly `length` bytes
    bool nul_follows = false;  // the byte after them is a NUL
  };

  FakeServer();
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  server* get() { return &m_words.words; }

  // What get_client_info writes: a process id and path, or (unknown) nothing at all.
  void SetClient(int pid, const std::string& path);
  void SetClientUnknown();
  void SetSendResult(int result);
  // send returns the low 16 bits of its context instead (so each call's result is its own).
  void SetSendResultFromContext();
  void SetRecording(bool on);  // off: sends are counted, not recorded
  void RemoveSend();           // the send word becomes null
  void RemoveGetClientInfo();  // the get_client_info word becomes null

  std::vector<Sent> Sends() const;
  long SendCount() const;
  long ClientQueries() const;
  // get_client_info calls that did not find the process id 0 and the path null on entry.
  long QueriesNotPreset() const;

 private:
  struct Words {
    server words;  // first: the plug-in gets this address
    FakeServer* owner;
  };
  static int WINAPI SendThunk(server* self, void* send_context, const char* data,
                              unsigned int length);
  static int WINAPI GetClientInfoThunk(server* self, int* pid, const char** path);

  Words m_words;
  mutable std::mutex m_lock;
  bool m_client_known = true;
  int m_pid = 0;
  std::string m_path;
  int m_send_result = 0;
  bool m_result_from_context = false;
  bool m_recording = true;
  std::vector<Sent> m_sends;
  long m_send_count = 0;
  long m_queries = 0;
  long m_queries_not_preset = 0;
};

}  // namespace host_double
