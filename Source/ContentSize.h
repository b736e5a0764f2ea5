#pragma once

struct ContentSize
{
    int width;
    int height;
    bool operator== (const ContentSize&) const = default;
};

// The main window's content size for a primary display whose user area is
// width x height logical pixels: 800 x 500 unless the display is small (two
// thirds of the tighter side) or very large (a quarter of the larger one).
ContentSize computeContentSize (int userAreaWidth, int userAreaHeight);
