#pragma once

// Window positions are kept in twips (1/1440 inch) where the program's rules are written in
// twips; the screen's twips-per-pixel factors convert (15 at 96 dots per inch).
namespace Twips {

float perPixelX();
float perPixelY();
// The primary screen's size in twips.
int screenWidth();
int screenHeight();

} // namespace Twips
