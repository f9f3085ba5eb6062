// The substitute host (see plugin_host.h).
#include "plugin_host.h"

#include <cstdint>

#include "test_util.h"

namespace host_double {

PluginHost::PluginHost() : PluginHost(kova_test::ExeDir() + "kova_websocket.dll") {}

PluginHost::PluginHost(const std::string& dll_path) : m_module(LoadLibraryA(dll_path.c_str())) {}

PluginHost::~PluginHost() { Unload(); }

FARPROC PluginHost::Export(const char* name) const {
  return m_module ? GetProcAddress(m_module, name) : nullptr;
}

const wbs_callback_table_t* PluginHost::Init() const {
  const auto init =
      reinterpret_cast<kova_ws_init_fn>(reinterpret_cast<void*>(Export("kova_ws_init")));
  return init ? init() : nullptr;
}

void PluginHost::Unload() {
  if (!m_module) return;
  FreeLibrary(m_module);
  m_module = nullptr;
  // The plug-in never releases the library it bound; a real host ends the process instead.
  for (int i = 0; i < 1000; ++i) {
    HMODULE nolvex = GetModuleHandleA("Nolvex.dll");
    if (!nolvex) break;
    FreeLibrary(nolvex);
  }
}

FakeServer::FakeServer() {
  for (int i = 0; i < 9; ++i) {
    m_words.words.words_0_to_8[i] = reinterpret_cast<void*>(std::uintptr_t{0xBAD00000} + i);
  }
  m_words.words.word_10 = reinterpret_cast<void*>(std::uintptr_t{0xBAD0000A});
  m_words.words.send = &SendThunk;
  m_words.words.get_client_info = &GetClientInfoThunk;
  m_words.owner = this;
}

void FakeServer::SetClient(int pid, const std::string& path) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_client_known = true;
  m_pid = pid;
  m_path = path;
}

void FakeServer::SetClientUnknown() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_client_known = false;
}

void FakeServer::SetSendResult(int result) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_send_result = result;
}

void FakeServer::SetSendResultFromContext() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_result_from_context = true;
}

void FakeServer::SetRecording(bool on) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_recording = on;
}

void FakeServer::RemoveSend() { m_words.words.send = nullptr; }

void FakeServer::RemoveGetClientInfo() { m_words.words.get_client_info = nullptr; }

std::vector<FakeServer::Sent> FakeServer::Sends() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_sends;
}

long FakeServer::SendCount() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_send_count;
}

long FakeServer::ClientQueries() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_queries;
}

long FakeServer::QueriesNotPreset() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_queries_not_preset;
}

int WINAPI FakeServer::SendThunk(server* self, void* send_context, const char* data,
                                 unsigned int length) {
  FakeServer* owner = reinterpret_cast<Words*>(self)->owner;
  Sent sent;
  sent.context = send_context;
  if (data) {
    sent.bytes.assign(data, length);
    sent.nul_follows = data[length] == '\0';
  }
  std::lock_guard<std::mutex> hold(owner->m_lock);
  ++owner->m_send_count;
  if (owner->m_recording) owner->m_sends.push_back(std::move(sent));
  if (owner->m_result_from_context) {
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(send_context) & 0xFFFF);
  }
  return owner->m_send_result;
}

int WINAPI FakeServer::GetClientInfoThunk(server* self, int* pid, const char** path) {
  FakeServer* owner = reinterpret_cast<Words*>(self)->owner;
  std::lock_guard<std::mutex> hold(owner->m_lock);
  ++owner->m_queries;
  if (*pid != 0 || *path != nullptr) ++owner->m_queries_not_preset;
  if (owner->m_client_known) {
    *pid = owner->m_pid;
    *path = owner->m_path.c_str();  // stays readable: the path lives as long as the server
  }
  return 1;
}

}  // namespace host_double
