// Many threads sending messages at once (see concurrent_messages.h).
#include "concurrent_messages.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include "nolvex_control.h"

namespace kova_test {

namespace {

void* ContextOf(int thread, int n) {
  return reinterpret_cast<void*>((std::uintptr_t{0xC0} << 24) | (std::uintptr_t(thread) << 16) |
                                 std::uintptr_t(n));
}

std::string RequestOf(int thread, int n) {
  char text[64];
  std::snprintf(text, sizeof text, "{\"t\":%d,\"n\":%d}", thread, n);
  return text;
}

struct Worker {
  const ConcurrentMessages* run;
  int index;
  HANDLE go;
  long wrong_results;
};

DWORD WINAPI Work(LPVOID param) {
  Worker* worker = static_cast<Worker*>(param);
  WaitForSingleObject(worker->go, INFINITE);
  for (int n = 0; n < worker->run->messages_per_thread; ++n) {
    // send returns its context's low 16 bits, n: the callback must return its own result.
    if (worker->run->deliver(RequestOf(worker->index, n), ContextOf(worker->index, n)) != n) {
      ++worker->wrong_results;
    }
  }
  return 0;
}

}  // namespace

void PrepareTraceableAnswers(host_double::FakeServer& server) {
  nolvex_double::SetDoCommandAnswerer([](const nolvex_double::DoCommandCall& call) {
    return nolvex_double::Behaviour::Answer("answer to " + call.request);
  });
  nolvex_double::SetRecording(false);
  server.SetSendResultFromContext();
}

ConcurrentOutcome RunConcurrentMessages(const ConcurrentMessages& run) {
  ConcurrentOutcome outcome;
  HANDLE go = CreateEventA(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
  std::vector<Worker> workers;
  for (int i = 0; i < run.threads; ++i) workers.push_back(Worker{&run, i, go, 0});
  std::vector<HANDLE> threads;
  for (Worker& worker : workers) {
    threads.push_back(CreateThread(nullptr, 0, Work, &worker, 0, nullptr));
  }
  SetEvent(go);
  const DWORD count = static_cast<DWORD>(threads.size());
  if (run.rebind) {
    while (WaitForMultipleObjects(count, threads.data(), TRUE, 0) == WAIT_TIMEOUT) {
      run.rebind();
      ++outcome.rebinds;
    }
  }
  outcome.finished = WaitForMultipleObjects(count, threads.data(), TRUE, 240000) == WAIT_OBJECT_0;
  for (HANDLE thread : threads) CloseHandle(thread);
  CloseHandle(go);
  for (const Worker& worker : workers) outcome.wrong_results += worker.wrong_results;
  return outcome;
}

void ExpectOneOwnAnswerPerMessage(const host_double::FakeServer& server,
                                  const ConcurrentMessages& run) {
  const long total = long{run.threads} * run.messages_per_thread;
  const auto sends = server.Sends();
  ASSERT_EQ(static_cast<std::size_t>(total), sends.size());
  std::map<void*, const host_double::FakeServer::Sent*> by_context;
  for (const auto& sent : sends) {
    ASSERT_TRUE(by_context.emplace(sent.context, &sent).second) << "a context was sent twice";
  }
  for (int t = 0; t < run.threads; ++t) {
    for (int n = 0; n < run.messages_per_thread; ++n) {
      const auto found = by_context.find(ContextOf(t, n));
      ASSERT_NE(by_context.end(), found) << "no send for " << t << "/" << n;
      ASSERT_EQ("answer to " + RequestOf(t, n), found->second->bytes);
    }
  }
  EXPECT_EQ(total, nolvex_double::DoCommandCount());
  EXPECT_EQ(total, nolvex_double::FreeCount());
  EXPECT_EQ(0, nolvex_double::OutstandingBuffers());
  EXPECT_EQ(0, nolvex_double::UnknownFrees());
}

}  // namespace kova_test
