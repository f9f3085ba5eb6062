// Scripted service control manager and clock (see fake_scm.h).
#include "fake_scm.h"

#include <cstdio>

namespace kova_monitor_test {

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
  return text;
}

std::vector<std::string> FakeScm::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& c : calls) {
    if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
  }
  return out;
}

std::vector<DWORD> FakeScm::Sleeps() const {
  std::vector<DWORD> out;
  for (const std::string& c : CallsStartingWith("Sleep ")) {
    out.push_back(static_cast<DWORD>(std::stoul(c.substr(6))));
  }
  return out;
}

SC_HANDLE FakeScm::NewHandle(const std::string& what) {
  SC_HANDLE h = reinterpret_cast<SC_HANDLE>(next_handle_);
  next_handle_ += 0x10;
  open_[h] = what;
  return h;
}

std::string FakeScm::NameOf(SC_HANDLE handle) const {
  auto it = open_.find(handle);
  return it == open_.end() ? "?" : it->second;
}

FakeService* FakeScm::ServiceOf(SC_HANDLE handle) {
  auto it = services.find(NameOf(handle));
  return it == services.end() ? nullptr : &it->second;
}

DWORD FakeScm::OpenManager(DWORD access, kova_monitor::ScHandle& manager) {
  Record("OpenManager " + Hex(access));
  const size_t attempt = manager_opens_++;
  if (attempt < manager_open_errors.size() && manager_open_errors[attempt] != ERROR_SUCCESS) {
    return manager_open_errors[attempt];
  }
  manager.reset(NewHandle("manager"));
  return ERROR_SUCCESS;
}

DWORD FakeScm::Open(SC_HANDLE manager, const char* name, DWORD access,
                    kova_monitor::ScHandle& service) {
  Record("Open " + std::string(name) + " " + Hex(access));
  if (NameOf(manager) != "manager") return ERROR_INVALID_HANDLE;
  auto it = services.find(name);
  if (it == services.end()) return ERROR_SERVICE_DOES_NOT_EXIST;
  if (it->second.open_error != ERROR_SUCCESS) return it->second.open_error;
  service.reset(NewHandle(name));
  return ERROR_SUCCESS;
}

void FakeScm::Close(SC_HANDLE handle) {
  auto it = open_.find(handle);
  if (it == open_.end()) {
    ++bad_closes;
    return;
  }
  Record("Close " + it->second);
  open_.erase(it);
}

DWORD FakeScm::Create(SC_HANDLE manager, const kova_monitor::ServiceRegistration& r,
                      kova_monitor::ScHandle& service) {
  Record("Create " + std::string(r.name ? r.name : "(null)"));
  if (NameOf(manager) != "manager") return ERROR_INVALID_HANDLE;
  Registration reg;
  reg.name = r.name ? r.name : "";
  reg.display_name = r.display_name ? r.display_name : "";
  reg.image_path = r.image_path ? r.image_path : "";
  reg.access = r.access;
  reg.service_type = r.service_type;
  reg.start_type = r.start_type;
  reg.error_control = r.error_control;
  reg.no_group = r.load_order_group == nullptr;
  reg.no_tag = r.tag_id == nullptr;
  reg.no_account = r.account == nullptr;
  reg.no_password = r.password == nullptr;
  if (r.dependencies) {
    const char* p = r.dependencies;
    while (*p) {
      const std::string one(p);
      reg.dependencies += one + '\0';
      p += one.size() + 1;
    }
    reg.dependencies += '\0';
  }
  created.push_back(reg);
  if (create_error != ERROR_SUCCESS) return create_error;
  services[reg.name];  // from now on it exists
  service.reset(NewHandle(reg.name));
  return ERROR_SUCCESS;
}

DWORD FakeScm::SetDescription(SC_HANDLE service, const char* description) {
  Record("SetDescription " + NameOf(service) + " " + description);
  if (description_error == ERROR_SUCCESS && !created.empty()) {
    created.back().description = description;
  }
  return description_error;
}

DWORD FakeScm::Delete(SC_HANDLE service) {
  Record("Delete " + NameOf(service));
  FakeService* s = ServiceOf(service);
  if (!s) return ERROR_INVALID_HANDLE;
  return s->delete_error;
}

DWORD FakeScm::QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
  Record("Query " + NameOf(service));
  now += query_cost_ms;
  status = SERVICE_STATUS_PROCESS{};
  FakeService* s = ServiceOf(service);
  if (!s) return ERROR_INVALID_HANDLE;
  const size_t i = s->queries < s->statuses.size() ? s->queries : s->statuses.size() - 1;
  ++s->queries;
  const ScriptedStatus& answer = s->statuses[i];
  if (answer.error != ERROR_SUCCESS) return answer.error;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = answer.state;
  status.dwCheckPoint = answer.check_point;
  status.dwWaitHint = answer.wait_hint;
  return ERROR_SUCCESS;
}

DWORD FakeScm::Start(SC_HANDLE service) {
  Record("Start " + NameOf(service));
  FakeService* s = ServiceOf(service);
  if (!s) return ERROR_INVALID_HANDLE;
  return s->start_error;
}

DWORD FakeScm::Control(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) {
  Record("Control " + NameOf(service) + " " + std::to_string(control));
  status = SERVICE_STATUS{};
  FakeService* s = ServiceOf(service);
  if (!s) return ERROR_INVALID_HANDLE;
  if (s->control_error != ERROR_SUCCESS) return s->control_error;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = s->control_status.state;
  status.dwCheckPoint = s->control_status.check_point;
  status.dwWaitHint = s->control_status.wait_hint;
  return ERROR_SUCCESS;
}

DWORD FakeScm::QueryStartType(SC_HANDLE service, DWORD& start_type) {
  Record("QueryStartType " + NameOf(service));
  FakeService* s = ServiceOf(service);
  if (!s) return ERROR_INVALID_HANDLE;
  if (s->query_config_error != ERROR_SUCCESS) return s->query_config_error;
  start_type = s->start_type;
  return ERROR_SUCCESS;
}

DWORD FakeScm::ChangeStartType(SC_HANDLE service, DWORD start_type) {
  Record("ChangeStartType " + NameOf(service) + " " + std::to_string(start_type));
  FakeService* s = ServiceOf(service);
  if (!s) return ERROR_INVALID_HANDLE;
  if (s->change_config_error != ERROR_SUCCESS) return s->change_config_error;
  s->start_type = start_type;
  return ERROR_SUCCESS;
}

DWORD FakeScm::EnumActiveDependents(SC_HANDLE service, std::vector<std::string>& names) {
  Record("Enum " + NameOf(service));
  FakeService* s = ServiceOf(service);
  if (!s) return ERROR_INVALID_HANDLE;
  if (s->enum_error != ERROR_SUCCESS) return s->enum_error;
  names = s->dependents;
  return ERROR_SUCCESS;
}

void FakeScm::Sleep(DWORD milliseconds) {
  Record("Sleep " + std::to_string(milliseconds));
  now += milliseconds;
  if (on_sleep) on_sleep(milliseconds);
}

}  // namespace kova_monitor_test
