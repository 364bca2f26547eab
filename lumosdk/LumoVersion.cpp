#include "lumosdk/LumoVersion.h"

namespace lumo {

const char* lumoVersion() { return "0.0.2"; }

}  // namespace lumo
