// The settings store and the nation and government name functions, as the screens use them.
#pragma once

#include "game/Game.h"
#include "platform/Settings.h"

namespace torvane {

using platform::GetBoolSetting;
using platform::GetIntSetting;
using platform::GetStringSetting;
using platform::SetBoolSetting;
using platform::SetIntSetting;
using platform::SetStringSetting;

// The version every session name starts with and every screen shows.
inline constexpr const char* kGameVersion = "3.00a";

}  // namespace torvane
