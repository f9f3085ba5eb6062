// Many threads sending messages at once, and the check that every message got exactly one send
// with its own answer, its own context and its own result. Used against the real DLL and
// against the plug-in's modules linked into a test program.
#pragma once

#include <functional>
#include <string>

#include "plugin_host.h"

namespace kova_test {

// Scripts the library double to answer "answer to <request>" and the server to return each
// send's context low bits, so that every answer, context and result is traceable to its message.
void PrepareTraceableAnswers(host_double::FakeServer& server);

struct ConcurrentMessages {
  int threads = 8;
  int messages_per_thread = 5000;
  // Delivers one message (wbs_on_message) and returns its result.
  std::function<int(const std::string& request, void* context)> deliver;
  // Called again and again on the calling thread while the workers run (may be empty).
  std::function<void()> rebind;
};

struct ConcurrentOutcome {
  long rebinds = 0;
  long wrong_results = 0;  // callbacks that did not return their own send's result
  bool finished = false;
};

ConcurrentOutcome RunConcurrentMessages(const ConcurrentMessages& run);

// Every message: exactly one send with its own context and the answer to its own request; the
// library was asked once per message and got every buffer back.
void ExpectOneOwnAnswerPerMessage(const host_double::FakeServer& server,
                                  const ConcurrentMessages& run);

}  // namespace kova_test
