// What the shim does when a process loads and unloads it.
#pragma once

#include <windows.h>

namespace skf {

// Builds the driver path from the shim's own file name and loads the driver from there. When
// that path cannot be built whole, nothing is loaded and every export answers
// SAR_NOTSUPPORTYETERR. Never fails the attach.
void OnProcessAttach(HMODULE self) noexcept;

// Frees the driver (once) and forgets its path. Calls no driver function.
void OnProcessDetach() noexcept;

}  // namespace skf
