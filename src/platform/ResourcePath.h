// Where the game's pictures, sounds, music and film are found.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The folder holding the game's resources: $TORVANE_RESOURCES, else <executable dir>/../Ressources,
// else the installed share folder. Empty when none exists.
std::string ResourceRoot();

// Maps a game path such as "..\Ressources\GRaphics\Statistiques\Up.png" to a file of the resource
// root, matching every component without regard to case. Paths that do not start with the
// "..\Ressources" prefix are taken relative to the resource root's parent. When no file matches,
// the answer is the path as written under the root, so the caller's open fails and reports it.
std::string ResolveResource(std::string_view gamePath);

}  // namespace platform
