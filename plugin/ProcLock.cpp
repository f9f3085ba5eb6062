// ProcLock: opens or creates the named mutex; a mutex it creates gets a null access list and the
// low-integrity label, so that services, every desktop user and low-integrity processes reach it.
#include "ProcLock.h"

#include <sddl.h>

#include <cstdio>

#include "clog.h"

namespace {

// The creator's security: a null access list admits every account.
struct OpenToEveryone {
  SECURITY_DESCRIPTOR descriptor;
  SECURITY_ATTRIBUTES attributes;
};

#if defined(__i386__)
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12, "the 32-bit attributes are 12 bytes long");
#endif

// Gives a newly created mutex the label "low integrity, no write-up". Failures leave the
// default label and are not reported. The label is set with SetKernelObjectSecurity, which on
// Windows does what SetSecurityInfo does with LABEL_SECURITY_INFORMATION; Wine's SetSecurityInfo
// reports success without storing the label, so this is also the call that can be checked.
void ApplyLowIntegrityLabel(HANDLE mutex) {
  PSECURITY_DESCRIPTOR label_descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("S:(ML;;NW;;;LW)", SDDL_REVISION_1,
                                                            &label_descriptor, nullptr)) {
    return;
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL label = nullptr;
  if (GetSecurityDescriptorSacl(label_descriptor, &present, &label, &defaulted) && present) {
    SetKernelObjectSecurity(mutex, LABEL_SECURITY_INFORMATION, label_descriptor);
  }
  LocalFree(label_descriptor);
}

}  // namespace

ProcLock::ProcLock(std::string name) noexcept : m_hMutex(nullptr) {
  OpenToEveryone security;
  if (!InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION)) {
    CLOG_E("InitializeSecurityDescriptor error,rv=0x%08lx", GetLastError());
  }
  if (!SetSecurityDescriptorDacl(&security.descriptor, /*bDaclPresent=*/TRUE, /*pDacl=*/nullptr,
                                 /*bDaclDefaulted=*/FALSE)) {
    CLOG_E("SetSecurityDescriptorDacl error,rv=0x%08lx", GetLastError());
  }
  security.attributes.nLength = sizeof(SECURITY_ATTRIBUTES);
  security.attributes.lpSecurityDescriptor = &security.descriptor;
  security.attributes.bInheritHandle = FALSE;

  char full_name[MAX_PATH];
  std::snprintf(full_name, sizeof full_name, "Global\\%s", name.c_str());
  CLOG_T("MutexName = %s", full_name);

  m_hMutex = OpenMutexA(MUTEX_ALL_ACCESS, /*bInheritHandle=*/FALSE, full_name);
  if (m_hMutex) {
    CLOG_T("OpenMutexA ok.");
    return;  // the existing object keeps the security its creator gave it
  }
  CLOG_E("OpenMutexA error,rv=0x%08lx", GetLastError());

  m_hMutex = CreateMutexA(&security.attributes, /*bInitialOwner=*/FALSE, full_name);
  if (!m_hMutex) {
    CLOG_E("CreateMutexA error,rv=0x%08lx", GetLastError());
    return;
  }
  CLOG_T("CreateMutexA ok.");
  ApplyLowIntegrityLabel(m_hMutex);
}

ProcLock::~ProcLock() {
  if (m_hMutex && !CloseHandle(m_hMutex)) {
    CLOG_E("CloseHandle error,rv=0x%08lx", GetLastError());
  }
}
