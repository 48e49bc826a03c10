#pragma once
// Security descriptors written in the descriptor language (SDDL), for the
// objects that must belong to SYSTEM and the Administrators alone.

#include <windows.h>

#include <expected>

#include "src/platform/unique_handle_win.h"

namespace ostrane {

// Full access for SYSTEM and the Administrators group, nothing for anyone
// else, and protected, so that nothing is inherited from a parent.
inline constexpr const wchar_t* SYSTEM_AND_ADMINISTRATORS_ONLY = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
// The same and the owner, who made it, passed on to all it will hold.
inline constexpr const wchar_t* PRIVATE_FOLDER = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)";

// The descriptor, owned, or the Windows error code (also when advapi32.dll
// or its function could not be had).
std::expected<UniqueLocalMemory, DWORD> security_descriptor_from_text(const wchar_t* text);

}  // namespace ostrane
