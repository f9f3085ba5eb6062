// The binding of the client utility library Nolvex.dll: its module handle and its four entries,
// loaded and resolved by LoadNolvexFunction.
//
// Rebinding a partial binding releases the library and loads it again. So that this never
// happens while another thread is inside the library or about to call a pointer it has read,
// and so that nobody sees a half-made binding, every use of the entries holds a CNolvexUse:
// read the g_pfWS_* pointers you need, call through them, copy the answer and give it back with
// WS_FreeData, all while one CNolvexUse is alive. LoadNolvexFunction changes the binding only
// when no CNolvexUse is alive. Never call LoadNolvexFunction while holding a CNolvexUse, and do
// not nest two of them on one thread.
#pragma once

#include <windows.h>

#include "host_interface.h"
#include "srw_lock.h"

extern HMODULE g_hNolvex;
extern WS_SyncRegisterInfo_fn g_pfWS_SyncRegisterInfo;
extern WS_SyncSocketState_fn g_pfWS_SyncSocketState;
extern WS_FreeData_fn g_pfWS_FreeData;
extern WS_DoCommand_fn g_pfWS_DoCommand;

// Loads "Nolvex.dll" (found by the system's search for a bare library name) and resolves the
// four entries; a complete binding is left alone, a partial one is released and made again.
// 1 when the library cannot be loaded, 0 otherwise (even with entries missing).
int LoadNolvexFunction();

// A text the library handed out, given back with WS_FreeData when the scope ends (on every
// path, also when copying it threw). Use it inside a CNolvexUse, so that the library is still
// bound when the text goes back; without a bound WS_FreeData the text is left to the library.
class CNolvexText {
 public:
  CNolvexText() : m_free(g_pfWS_FreeData) {}
  ~CNolvexText() { Release(); }
  CNolvexText(const CNolvexText&) = delete;
  CNolvexText& operator=(const CNolvexText&) = delete;
  // Where the library writes the text's address.
  char** receive() { return &m_text; }
  const char* get() const { return m_text; }
  void Release() {
    if (m_text && m_free) m_free(m_text);
    m_text = nullptr;
  }
  // Drops the address without giving it back (after an error it is not the caller's).
  void Forget() { m_text = nullptr; }

 private:
  WS_FreeData_fn m_free;
  char* m_text = nullptr;
};

// Shared hold on the binding for the length of one use of the library.
class CNolvexUse {
 public:
  CNolvexUse();
  CNolvexUse(const CNolvexUse&) = delete;
  CNolvexUse& operator=(const CNolvexUse&) = delete;

 private:
  CSrwShared m_hold;
};
