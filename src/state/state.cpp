#include "state/state.h"

namespace kesvar {

// Every member has a constant initialiser, so this is set up at load without running code.
LibraryState gState;

} // namespace kesvar
