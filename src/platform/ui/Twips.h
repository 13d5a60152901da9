#pragma once

// Window positions and sizes travel in twips (1440 to the inch); the screen
// has 15 twips to a pixel at the usual 96 dots per inch.
constexpr int kTwipsPerPixel = 15;
inline int twipsToPixels(int twips)
{
    return twips / kTwipsPerPixel;
}
inline int pixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}
