// The test program's side of the Nolvex.dll double (see nolvex_control.h): the hooks the double
// forwards to, exported from the program as kova_nolvex_double_hooks.
#include "nolvex_control.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "nolvex_double_abi.h"
#include "test_util.h"

namespace nolvex_double {

namespace {

struct State {
  std::mutex lock;
  Behaviour behaviour[3];
  std::function<Behaviour(const DoCommandCall&)> answerer;
  bool recording = true;
  std::vector<DoCommandCall> do_command_calls;
  std::vector<SyncCall> sync_calls;
  std::vector<std::string> freed;
  std::set<char*> outstanding;
  long unknown_frees = 0;
};

State& TheState() {
  static State* state = new State;  // never destroyed: the double may call in at exit
  return *state;
}

std::atomic<long> g_attaches{0};
std::atomic<long> g_detaches{0};
std::atomic<long> g_detaches_inside{0};
std::atomic<long> g_inside{0};
std::atomic<long> g_do_commands{0};
std::atomic<long> g_frees{0};

const char* VariantName(Variant variant) {
  switch (variant) {
    case Variant::kFull:
      return "full";
    case Variant::kWithoutSyncRegisterInfo:
      return "no_sync_register_info";
    case Variant::kWithoutSyncSocketState:
      return "no_sync_socket_state";
    case Variant::kWithoutFreeData:
      return "no_free_data";
    case Variant::kWithoutDoCommand:
      return "no_do_command";
  }
  return "none";
}

// Carries out a behaviour: hands out a copy of its text (recorded as outstanding).
int Carry(const Behaviour& behaviour, char** answer, int* raise) {
  *answer = nullptr;
  *raise = behaviour.kind == Behaviour::Kind::kThrow;
  if (behaviour.kind == Behaviour::Kind::kAnswer) {
    char* buffer = static_cast<char*>(std::malloc(behaviour.text.size() + 1));
    std::memcpy(buffer, behaviour.text.c_str(), behaviour.text.size() + 1);
    State& state = TheState();
    std::lock_guard<std::mutex> hold(state.lock);
    state.outstanding.insert(buffer);
    *answer = buffer;
  }
  return behaviour.result;
}

void OnAttached() { ++g_attaches; }

void OnDetached() {
  ++g_detaches;
  if (g_inside.load() != 0) ++g_detaches_inside;
}

void OnEnter() { ++g_inside; }
void OnLeave() { --g_inside; }

int OnDoCommand(int pid, const char* path, const char* request, char** answer, int* raise) {
  ++g_do_commands;
  DoCommandCall call;
  call.pid = pid;
  call.path_null = path == nullptr;
  call.path = path ? path : "";
  call.request = request ? request : "";
  Behaviour behaviour;
  std::function<Behaviour(const DoCommandCall&)> answerer;
  {
    State& state = TheState();
    std::lock_guard<std::mutex> hold(state.lock);
    if (state.recording) state.do_command_calls.push_back(call);
    behaviour = state.behaviour[static_cast<int>(Entry::kDoCommand)];
    answerer = state.answerer;
  }
  if (answerer) behaviour = answerer(call);
  return Carry(behaviour, answer, raise);
}

int OnSync(int entry, const char* url, const char* body, int body_length, char** answer,
           int* raise) {
  SyncCall call;
  call.entry = entry == kNolvexSyncSocketState ? Entry::kSyncSocketState : Entry::kSyncRegisterInfo;
  call.url = url ? url : "";
  call.body = body ? body : "";
  call.body_length = body_length;
  Behaviour behaviour;
  {
    State& state = TheState();
    std::lock_guard<std::mutex> hold(state.lock);
    if (state.recording) state.sync_calls.push_back(call);
    behaviour = state.behaviour[static_cast<int>(call.entry)];
  }
  return Carry(behaviour, answer, raise);
}

void OnFreeData(char* data) {
  ++g_frees;
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  if (state.outstanding.erase(data) == 0) {
    ++state.unknown_frees;  // not ours, or given back twice: leave it alone
    return;
  }
  if (state.recording) state.freed.push_back(data);
  std::free(data);
}

NolvexDoubleHooks g_hooks = {OnAttached,  OnDetached, OnEnter,   OnLeave,
                             OnDoCommand, OnSync,     OnFreeData};

}  // namespace

std::string VariantDir(Variant variant) {
  return kova_test::ExeDir() + "nolvex\\" + VariantName(variant) + "\\";
}

void UseVariant(Variant variant) { SetDllDirectoryA(VariantDir(variant).c_str()); }

void UseNoLibrary() {
  // A folder without the library (the test program's own folder holds none either).
  SetDllDirectoryA((kova_test::ExeDir() + "nolvex\\").c_str());
}

Behaviour Behaviour::Answer(std::string text, int result) {
  Behaviour b;
  b.kind = Kind::kAnswer;
  b.result = result;
  b.text = std::move(text);
  return b;
}

Behaviour Behaviour::NullAnswer(int result) {
  Behaviour b;
  b.kind = Kind::kNullAnswer;
  b.result = result;
  return b;
}

Behaviour Behaviour::Throw() {
  Behaviour b;
  b.kind = Kind::kThrow;
  return b;
}

void Reset() {
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  for (Behaviour& b : state.behaviour) b = Behaviour::NullAnswer();
  state.answerer = nullptr;
  state.recording = true;
  state.do_command_calls.clear();
  state.sync_calls.clear();
  state.freed.clear();
  state.unknown_frees = 0;
  g_attaches = 0;
  g_detaches = 0;
  g_detaches_inside = 0;
  g_do_commands = 0;
  g_frees = 0;
}

void SetBehaviour(Entry entry, Behaviour behaviour) {
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  state.behaviour[static_cast<int>(entry)] = std::move(behaviour);
}

void SetDoCommandAnswerer(std::function<Behaviour(const DoCommandCall&)> answerer) {
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  state.answerer = std::move(answerer);
}

void SetRecording(bool on) {
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  state.recording = on;
}

std::vector<DoCommandCall> DoCommandCalls() {
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  return state.do_command_calls;
}

std::vector<SyncCall> SyncCalls() {
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  return state.sync_calls;
}

long DoCommandCount() { return g_do_commands.load(); }

std::vector<std::string> FreedTexts() {
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  return state.freed;
}

long FreeCount() { return g_frees.load(); }

long OutstandingBuffers() {
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  return static_cast<long>(state.outstanding.size());
}

long UnknownFrees() {
  State& state = TheState();
  std::lock_guard<std::mutex> hold(state.lock);
  return state.unknown_frees;
}

long Attaches() { return g_attaches.load(); }
long Detaches() { return g_detaches.load(); }
long DetachesWithCallsInside() { return g_detaches_inside.load(); }

}  // namespace nolvex_double

// Looked up by the double in the main module when it is loaded.
extern "C" __declspec(dllexport) NolvexDoubleHooks* kova_nolvex_double_hooks() {
  return &nolvex_double::g_hooks;
}
