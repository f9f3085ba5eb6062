// The test program's side of the Nolvex.dll double: which build the plug-in finds, what each
// entry does, and what the double was given. Everything lives in the test program, so scripts
// and records survive the plug-in releasing and reloading the library.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace nolvex_double {

// The builds of the double, each a Nolvex.dll in a folder of its own under bin\nolvex\.
enum class Variant {
  kFull,                     // all four entries
  kWithoutSyncRegisterInfo,  // no WS_SyncRegisterInfo
  kWithoutSyncSocketState,   // no WS_SyncSocketState
  kWithoutFreeData,          // no WS_FreeData
  kWithoutDoCommand,         // no WS_DoCommand
};

// The folder holding a build (with a trailing backslash).
std::string VariantDir(Variant variant);

// Makes a bare-name load of "Nolvex.dll" in this process find the given build (through the DLL
// search folder; nothing called Nolvex.dll lies beside the test programs), or find nothing.
void UseVariant(Variant variant);
void UseNoLibrary();

enum class Entry { kDoCommand, kSyncSocketState, kSyncRegisterInfo };

// What one call of an entry does.
struct Behaviour {
  enum class Kind { kAnswer, kNullAnswer, kThrow };
  Kind kind = Kind::kNullAnswer;
  int result = 0;    // the entry's return value
  std::string text;  // kAnswer: the text handed out ("" hands out an empty text)

  static Behaviour Answer(std::string text, int result = 0);
  static Behaviour NullAnswer(int result = 0);
  static Behaviour Throw();
};

struct DoCommandCall {
  int pid = 0;
  bool path_null = false;
  std::string path;
  std::string request;  // up to its NUL
};

struct SyncCall {
  Entry entry = Entry::kSyncSocketState;
  std::string url;
  std::string body;  // up to its NUL
  int body_length = 0;
};

// Back to the start: every entry answers nothing with result 0, records and counters cleared,
// recording on. Buffers still handed out stay counted as outstanding.
void Reset();
void SetBehaviour(Entry entry, Behaviour behaviour);
// WS_DoCommand decides per call (for answers derived from the request).
void SetDoCommandAnswerer(std::function<Behaviour(const DoCommandCall&)> answerer);
// Off: calls are counted but not recorded (for long runs).
void SetRecording(bool on);

std::vector<DoCommandCall> DoCommandCalls();
std::vector<SyncCall> SyncCalls();
long DoCommandCount();
// The texts given back through WS_FreeData, in order.
std::vector<std::string> FreedTexts();
long FreeCount();
// Buffers handed out and not given back yet.
long OutstandingBuffers();
// WS_FreeData calls with a pointer that was not handed out, or was already given back.
long UnknownFrees();

// How often the double was loaded and unloaded, and how often an unload came while a thread
// was inside one of its entries.
long Attaches();
long Detaches();
long DetachesWithCallsInside();

}  // namespace nolvex_double
