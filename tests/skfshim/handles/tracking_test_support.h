// Shared by the tracking tests: the six exports they drive (from a loaded shim DLL or from the
// shim's modules linked into the test program) and small steps on top of the fake driver.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "fake_skf_client.h"
#include "skf_entries.h"

namespace tracking_test {

struct SkfApi {
  skf::PFN_SKF_ConnectDev ConnectDev = nullptr;
  skf::PFN_SKF_DisConnectDev DisConnectDev = nullptr;
  skf::PFN_SKF_CreateApplication CreateApplication = nullptr;
  skf::PFN_SKF_OpenApplication OpenApplication = nullptr;
  skf::PFN_SKF_CloseApplication CloseApplication = nullptr;
  skf::PFN_SKF_VerifyPIN VerifyPIN = nullptr;

  static SkfApi FromShim(const kova_test::ShimInstall& install) {
    SkfApi api;
    api.ConnectDev = install.Export<skf::PFN_SKF_ConnectDev>("SKF_ConnectDev");
    api.DisConnectDev = install.Export<skf::PFN_SKF_DisConnectDev>("SKF_DisConnectDev");
    api.CreateApplication = install.Export<skf::PFN_SKF_CreateApplication>("SKF_CreateApplication");
    api.OpenApplication = install.Export<skf::PFN_SKF_OpenApplication>("SKF_OpenApplication");
    api.CloseApplication = install.Export<skf::PFN_SKF_CloseApplication>("SKF_CloseApplication");
    api.VerifyPIN = install.Export<skf::PFN_SKF_VerifyPIN>("SKF_VerifyPIN");
    return api;
  }
  bool complete() const {
    return ConnectDev && DisConnectDev && CreateApplication && OpenApplication &&
           CloseApplication && VerifyPIN;
  }
};

// The steps of a test against one shim and the fake driver behind it.
class Tracking {
 public:
  Tracking(const SkfApi& api, const kova_test::FakeSkfDriver& driver)
      : api_(api), driver_(driver) {}

  // Connects a device whose SKF_GetDevInfo reports `serial`; the device handle.
  DEVHANDLE Connect(const char* serial) const {
    driver_.SetSerialNumber(serial);
    char name[] = "token";
    DEVHANDLE dev = nullptr;
    EXPECT_EQ(SAR_OK, api_.ConnectDev(name, &dev));
    EXPECT_NE(nullptr, dev);
    return dev;
  }
  HAPPLICATION Open(DEVHANDLE dev, const char* name) const {
    HAPPLICATION app = nullptr;
    EXPECT_EQ(SAR_OK, api_.OpenApplication(dev, const_cast<LPSTR>(name), &app)) << name;
    return app;
  }
  HAPPLICATION Create(DEVHANDLE dev, const char* name) const {
    char admin[] = "admin", user[] = "user";
    HAPPLICATION app = nullptr;
    EXPECT_EQ(SAR_OK,
              api_.CreateApplication(dev, const_cast<LPSTR>(name), admin, 6, user, 6, 0xFF, &app))
        << name;
    return app;
  }
  ULONG VerifyPin(HAPPLICATION app) const {
    char pin[] = "123456";
    ULONG retry = 0;
    return api_.VerifyPIN(app, 1, pin, &retry);
  }
  // The application handle the driver received when `app` was used (recording must be on).
  HANDLE DriverSees(HAPPLICATION app) const {
    EXPECT_EQ(SAR_OK, VerifyPin(app));
    return LastFirstArg(skf::ENTRY_SKF_VerifyPIN);
  }
  // Recorded calls of one driver function.
  ULONG Count(skf::EntryIndex entry) const {
    ULONG n = 0;
    for (const FakeSkfCall& call : driver_.Calls()) n += call.entry == static_cast<ULONG>(entry);
    return n;
  }
  // First argument of the last recorded call of one driver function (null when none).
  HANDLE LastFirstArg(skf::EntryIndex entry) const {
    HANDLE found = nullptr;
    for (const FakeSkfCall& call : driver_.Calls()) {
      if (call.entry == static_cast<ULONG>(entry))
        found = reinterpret_cast<HANDLE>(call.args[0].value);
    }
    return found;
  }
  // The application handle the driver handed out last.
  HANDLE LastDriverApp() const { return reinterpret_cast<HANDLE>(driver_.AppStats().lastIssued); }

 private:
  const SkfApi& api_;
  const kova_test::FakeSkfDriver& driver_;
};

}  // namespace tracking_test
