// Scripted service control manager and clock for the monitor's unit tests. Services are
// described by what the manager should answer; every call is recorded as one line of text,
// and the clock moves only when something sleeps (or a query is given a cost).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "scm_api.h"

namespace kova_monitor_test {

// One answer to a status query; `error` makes the query fail.
struct ScriptedStatus {
  DWORD state;
  DWORD check_point = 0;
  DWORD wait_hint = 0;
  DWORD error = ERROR_SUCCESS;
};

struct FakeService {
  DWORD open_error = ERROR_SUCCESS;
  DWORD start_type = SERVICE_DEMAND_START;
  DWORD query_config_error = ERROR_SUCCESS;
  DWORD change_config_error = ERROR_SUCCESS;
  // Answers to the status queries in order; the last one repeats.
  std::vector<ScriptedStatus> statuses{{SERVICE_STOPPED}};
  DWORD start_error = ERROR_SUCCESS;
  DWORD control_error = ERROR_SUCCESS;
  ScriptedStatus control_status{SERVICE_STOP_PENDING};  // returned with a stop control
  std::vector<std::string> dependents;
  DWORD enum_error = ERROR_SUCCESS;
  DWORD delete_error = ERROR_SUCCESS;
  size_t queries = 0;  // how many status queries were answered
};

class FakeScm : public kova_monitor::ScmApi, public kova_monitor::Clock {
 public:
  // Services the manager knows; a name missing here does not exist.
  std::map<std::string, FakeService> services;
  // Errors for the next manager opens, in order (then success).
  std::vector<DWORD> manager_open_errors;
  DWORD create_error = ERROR_SUCCESS;
  DWORD description_error = ERROR_SUCCESS;
  // Milliseconds each status query takes (0: none).
  DWORD query_cost_ms = 0;
  // Runs inside each Sleep, after the clock has moved.
  std::function<void(DWORD)> on_sleep;

  // What crossed the seam.
  std::vector<std::string> calls;
  struct Registration {
    std::string name, display_name, image_path, description;
    DWORD access = 0, service_type = 0, start_type = 0, error_control = 0;
    bool no_group = false, no_tag = false, no_account = false, no_password = false;
    std::string dependencies;  // as a double-NUL-terminated list, up to its end
  };
  std::vector<Registration> created;

  DWORD now = 500000;

  // Handles still open, and closes of handles that were not open.
  size_t OpenHandles() const { return open_.size(); }
  int bad_closes = 0;

  // Only the calls that start with `prefix`.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
  // The durations of all sleeps, in order.
  std::vector<DWORD> Sleeps() const;

  // ScmApi
  DWORD OpenManager(DWORD access, kova_monitor::ScHandle& manager) override;
  DWORD Open(SC_HANDLE manager, const char* name, DWORD access,
             kova_monitor::ScHandle& service) override;
  void Close(SC_HANDLE handle) override;
  DWORD Create(SC_HANDLE manager, const kova_monitor::ServiceRegistration& registration,
               kova_monitor::ScHandle& service) override;
  DWORD SetDescription(SC_HANDLE service, const char* description) override;
  DWORD Delete(SC_HANDLE service) override;
  DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) override;
  DWORD Start(SC_HANDLE service) override;
  DWORD Control(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) override;
  DWORD QueryStartType(SC_HANDLE service, DWORD& start_type) override;
  DWORD ChangeStartType(SC_HANDLE service, DWORD start_type) override;
  DWORD EnumActiveDependents(SC_HANDLE service, std::vector<std::string>& names) override;

  // Clock
  DWORD TickCount() override { return now; }
  void Sleep(DWORD milliseconds) override;

 private:
  SC_HANDLE NewHandle(const std::string& what);
  // The name behind a handle ("manager" for the manager), or "?" for one not open.
  std::string NameOf(SC_HANDLE handle) const;
  FakeService* ServiceOf(SC_HANDLE handle);
  void Record(const std::string& call) { calls.push_back(call); }

  std::map<SC_HANDLE, std::string> open_;
  uintptr_t next_handle_ = 0x1000;
  size_t manager_opens_ = 0;
};

// "0x%lx" of a number, as the call lines show access rights.
std::string Hex(DWORD value);

// Tests on one scripted manager: every handle it gave out must be closed once by the end.
class FakeScmTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(0u, scm.OpenHandles()) << "a handle was left open";
    EXPECT_EQ(0, scm.bad_closes) << "a handle was closed that was not open";
  }
  FakeScm scm;
};

}  // namespace kova_monitor_test
