#pragma once
// A security descriptor written in the descriptor language (SDDL), taken
// apart as the Windows layer takes a real one, so that the install rule
// can be tried on the descriptors Windows ships. Enough of the language
// for that: the owner, the DACL's allow and deny entries, the aliases and
// rights those descriptors use.

#include <string_view>

#include "src/service/install_location.h"

namespace ostrane::testing_support {

// "O:BAD:PAI(A;OICIIO;GA;;;SY)…"; a malformed text fails the test.
ObjectSecurity parse_sddl(std::string_view sddl);

}  // namespace ostrane::testing_support
