#pragma once
// Puts the package's files for the current target onto the card.

#include <cstdint>

namespace cw {

// Inflates (or copies, for the stored kinds) every relevant record of fileTable from the package
// at globalFWPDataFilePath to the card at globalFlashPath; adds 1 to filesStored per file.
// False after the first failure (with its message).
bool Decompress(int32_t& filesStored);

}  // namespace cw
