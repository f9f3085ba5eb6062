// install_service and remove_service against a scripted manager: the exact registration, the
// quoted image path, what an existing or missing service changes, and the failures reported.
#include <gtest/gtest.h>

#include "fake_scm.h"
#include "service_ops.h"

using kova_monitor::install_service;
using kova_monitor::remove_service;
using kova_monitor_test::FakeScm;
using kova_monitor_test::FakeService;

namespace {

using InstallRemove = kova_monitor_test::FakeScmTest;

TEST_F(InstallRemove, InstallRegistersTheMonitorExactly) {
  EXPECT_EQ(0u, install_service(scm, "C:\\KOVA\\KOVAWsSvrMonitor.exe"));
  ASSERT_EQ(1u, scm.created.size());
  const FakeScm::Registration& r = scm.created[0];
  EXPECT_EQ("KOVAWsSvrMonitor", r.name);
  EXPECT_EQ("KOVAWsSvrMonitor", r.display_name);
  EXPECT_EQ(0xF01FFu, r.access);
  EXPECT_EQ(0x10u, r.service_type);
  EXPECT_EQ(2u, r.start_type);
  EXPECT_EQ(1u, r.error_control);
  EXPECT_EQ("C:\\KOVA\\KOVAWsSvrMonitor.exe", r.image_path);
  EXPECT_TRUE(r.no_group);
  EXPECT_TRUE(r.no_tag);
  EXPECT_EQ(std::string(1, '\0'), r.dependencies);  // an empty list, not "none"
  EXPECT_TRUE(r.no_account);
  EXPECT_TRUE(r.no_password);
  EXPECT_EQ("KOVAWsSvrMonitor", r.description);
  // Existence test first (its handles closed), then a second manager handle for the creation.
  const std::vector<std::string> expected = {
      "OpenManager 0xf003f",     "Open KOVAWsSvrMonitor 0x1",
      "Close manager",           "OpenManager 0xf003f",
      "Create KOVAWsSvrMonitor", "SetDescription KOVAWsSvrMonitor KOVAWsSvrMonitor",
      "Close KOVAWsSvrMonitor",  "Close manager"};
  EXPECT_EQ(expected, scm.calls);
}

TEST_F(InstallRemove, ImagePathWithASpaceIsRegisteredInQuotes) {
  struct Case {
    std::string path;
    std::string registered;
  };
  const std::string long_spaced = "C:\\a b\\" + std::string(2047 - 11, 'x') + ".exe";
  for (const Case& c :
       {Case{"C:\\KOVA\\mon.exe", "C:\\KOVA\\mon.exe"},
        Case{"C:\\Program Files\\KOVA\\mon.exe", "\"C:\\Program Files\\KOVA\\mon.exe\""},
        Case{"C:\\KOVA Test\\mon itor.exe", "\"C:\\KOVA Test\\mon itor.exe\""},
        Case{long_spaced, "\"" + long_spaced + "\""}}) {
    FakeScm fresh;
    EXPECT_EQ(0u, install_service(fresh, c.path.c_str())) << c.path;
    ASSERT_EQ(1u, fresh.created.size());
    EXPECT_EQ(c.registered, fresh.created[0].image_path);
  }
}

TEST_F(InstallRemove, InstallLeavesAnExistingRegistrationAlone) {
  scm.services["KOVAWsSvrMonitor"];
  EXPECT_EQ(0u, install_service(scm, "D:\\elsewhere\\KOVAWsSvrMonitor.exe"));
  EXPECT_TRUE(scm.created.empty());
  EXPECT_TRUE(scm.CallsStartingWith("SetDescription").empty());
}

TEST_F(InstallRemove, InstallTriesTheManagerASecondTime) {
  scm.manager_open_errors = {ERROR_ACCESS_DENIED};
  EXPECT_EQ(0u, install_service(scm, "C:\\m.exe"));
  EXPECT_EQ(1u, scm.created.size());

  FakeScm denied;
  denied.manager_open_errors = {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED};
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), install_service(denied, "C:\\m.exe"));
  EXPECT_EQ(std::vector<std::string>({"OpenManager 0xf003f", "OpenManager 0xf003f"}), denied.calls);
}

TEST_F(InstallRemove, FailedCreationIsReportedAndSetsNoDescription) {
  scm.create_error = ERROR_INVALID_NAME;
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), install_service(scm, "C:\\m.exe"));
  EXPECT_TRUE(scm.CallsStartingWith("SetDescription").empty());
  // Registered by someone else between the test and the creation: installed all the same.
  FakeScm raced;
  raced.create_error = ERROR_SERVICE_EXISTS;
  EXPECT_EQ(0u, install_service(raced, "C:\\m.exe"));
}

TEST_F(InstallRemove, FailedDescriptionLeavesTheServiceRegistered) {
  scm.description_error = ERROR_ACCESS_DENIED;
  EXPECT_EQ(0u, install_service(scm, "C:\\m.exe"));
  EXPECT_EQ(1u, scm.services.count("KOVAWsSvrMonitor"));
}

TEST_F(InstallRemove, InstallRefusesAMissingEmptyOrOverlongPathUntouched) {
  const std::string overlong(2048, 'x');  // the program's buffer holds at most 2,047
  for (const char* path : {static_cast<const char*>(nullptr), "", overlong.c_str()}) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), install_service(scm, path));
  }
  EXPECT_TRUE(scm.calls.empty());
}

TEST_F(InstallRemove, RemoveStopsThenDeletesWithDeleteAndStopRights) {
  FakeService& monitor = scm.services["KOVAWsSvrMonitor"];
  monitor.statuses = {{SERVICE_RUNNING}, {SERVICE_STOPPED}};
  monitor.control_status = {SERVICE_STOP_PENDING, 1, 100};
  EXPECT_EQ(0u, remove_service(scm, scm));
  const std::vector<std::string> expected = {"OpenManager 0xf003f",
                                             "Open KOVAWsSvrMonitor 0x1",
                                             "Close KOVAWsSvrMonitor",
                                             "Close manager",
                                             "OpenManager 0xf003f",
                                             "Open KOVAWsSvrMonitor 0x2c",
                                             "Query KOVAWsSvrMonitor",
                                             "Enum KOVAWsSvrMonitor",
                                             "Control KOVAWsSvrMonitor 1",
                                             "Sleep 100",
                                             "Query KOVAWsSvrMonitor",
                                             "Close KOVAWsSvrMonitor",
                                             "Close manager",
                                             "OpenManager 0xf003f",
                                             "Open KOVAWsSvrMonitor 0x10020",
                                             "Control KOVAWsSvrMonitor 1",
                                             "Delete KOVAWsSvrMonitor",
                                             "Close KOVAWsSvrMonitor",
                                             "Close manager"};
  EXPECT_EQ(expected, scm.calls);
}

TEST_F(InstallRemove, RemoveOfAMissingServiceDoesNothing) {
  EXPECT_EQ(0u, remove_service(scm, scm));
  EXPECT_EQ(std::vector<std::string>(
                {"OpenManager 0xf003f", "Open KOVAWsSvrMonitor 0x1", "Close manager"}),
            scm.calls);
}

TEST_F(InstallRemove, RemoveReportsWhatKeptTheServiceRegistered) {
  struct Case {
    std::vector<DWORD> manager_errors;
    DWORD open_error;
    DWORD delete_error;
    DWORD result;
  };
  for (const Case& c : {Case{{ERROR_ACCESS_DENIED}, 0, 0, ERROR_ACCESS_DENIED},
                        Case{{}, ERROR_ACCESS_DENIED, 0, ERROR_ACCESS_DENIED},
                        Case{{}, 0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
                        Case{{}, 0, ERROR_SERVICE_MARKED_FOR_DELETE, ERROR_SUCCESS}}) {
    FakeScm fresh;
    fresh.manager_open_errors = c.manager_errors;
    FakeService& monitor = fresh.services["KOVAWsSvrMonitor"];
    monitor.open_error = c.open_error;
    monitor.delete_error = c.delete_error;
    EXPECT_EQ(c.result, remove_service(fresh, fresh)) << "delete error " << c.delete_error;
    EXPECT_EQ(0u, fresh.OpenHandles());
  }
}

}  // namespace
