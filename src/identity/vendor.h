#pragma once
// Whether a machine that no profile fits can still be probed at run time.

#include "src/identity/machine_identity.h"

namespace ostrane {

bool is_lenovo_thinkpad(const MachineIdentity& identity);
bool is_known_other_vendor(const MachineIdentity& identity);

}  // namespace ostrane
