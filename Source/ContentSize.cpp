#include "ContentSize.h"

#include <algorithm>

ContentSize computeContentSize (int userAreaWidth, int userAreaHeight)
{
    constexpr double aspect = 0.625; // height / width
    const double w = userAreaWidth;
    const double h = userAreaHeight;
    const double rw = w / 800.0;
    const double rh = h / 500.0;

    if (std::min (rw, rh) < 1.5)
    {
        if (rh >= rw)
        {
            const int width = static_cast<int> (w / 1.5);
            return { width, static_cast<int> (width * aspect) };
        }
        const int height = static_cast<int> (h / 1.5);
        return { static_cast<int> (height / aspect), height };
    }

    if (std::max (rw, rh) > 4.0)
    {
        if (rw >= rh)
        {
            const int width = static_cast<int> (w * 0.25);
            return { width, static_cast<int> (width * aspect) };
        }
        const int height = static_cast<int> (h * 0.25);
        return { static_cast<int> (height / aspect), height };
    }

    return { 800, 500 };
}
