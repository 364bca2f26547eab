#pragma once

#include <functional>
#include <string>

#include "lumosdk/LumoExport.h"

namespace lumo {

// SEAM(openControlPage): the detail page's remote-control item opens the control page
// through here. LumoSdk::openControlPage is being written on another branch; once it is on
// this branch, openRemoteControl calls it directly and this file goes away. Until then the
// item reaches whatever opener is installed, and without one it writes a console line.
LUMO_EXPORT void openRemoteControl(const std::string& vin);
LUMO_EXPORT void setRemoteControlOpener(std::function<void(const std::string& vin)> opener);

}  // namespace lumo
