// What the shim does when a process loads and unloads it.
#pragma once

#include <windows.h>

namespace skf {

// Creates the handle manager, builds the driver path from the shim's own file name and loads
// the driver from there. When
// that path cannot be built whole, nothing is loaded and every export answers
// SAR_NOTSUPPORTYETERR. Never fails the attach.
void OnProcessAttach(HMODULE self) noexcept;

// Frees the driver (once), forgets its path, and deletes the handle manager with every record
// still listed. Calls no driver function.
void OnProcessDetach() noexcept;

}  // namespace skf
