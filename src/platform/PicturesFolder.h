// Where the player's screenshots go.
#pragma once

#include <string>

namespace platform {

// $XDG_PICTURES_DIR, else the XDG_PICTURES_DIR line of the user-dirs file, else the home folder.
// Only existing folders are answered; "." when nothing else exists.
std::string PicturesFolder();

// A screenshot file name in `folder` for the local time now: "Torvane YYYY-MM-DD HH-MM-SS.png",
// with " (n)" added before the extension when such a file already exists.
std::string ScreenshotPath(const std::string& folder);

}  // namespace platform
