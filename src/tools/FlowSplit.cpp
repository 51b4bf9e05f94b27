#include "tools/FlowSplit.h"

#include "Ostravo/TextFormat.h"

#include <algorithm>
#include <cmath>

namespace {

// |x^3 - 1.5 x^2 + c|: the cube in single precision, the rest in double, the sum rounded to single
// precision before the absolute value.
float Residual(float x, float c)
{
    const float cube = x * x * x;
    const double sum = double(cube) - 1.5 * double(x) * double(x) + double(c);
    return std::fabs(float(sum));
}

bool Refuse(EString &error, const char *why, float a, float b)
{
    error.Assign(FormatText("ChannelDividerFromFlows() - %s: pump 1 speed %f, pump 2 speed %f", why,
                            double(a), double(b))
                     .c_str());
    return false;
}

} // namespace

bool ChannelDividerFromFlows(float a, float b, float &divider, EString &error)
{
    if (!std::isfinite(a) || !std::isfinite(b))
        return Refuse(error, "pump speed is not a number", a, b);
    if (a == b) {
        divider = 0.5f;
        return true;
    }
    if (a == 0.0f) {
        divider = 0.0f;
        return true;
    }
    if (b == 0.0f) {
        divider = 1.0f;
        return true;
    }
    // With opposite signs b / (a + b) lies outside 0..1 (or a + b is 0): no position in the
    // channel splits the flow that way.
    if ((a < 0.0f) != (b < 0.0f))
        return Refuse(error, "pump speeds of opposite sign give no divider", a, b);

    const float c = 1.0f / ((a / b + 1.0f) * 2.0f);
    float d = 0.5f;
    float e = 0.01f;
    for (int step = 0; step < kChannelDividerMaxSteps; ++step) {
        const float f = Residual(d - e, c);
        const float m = Residual(d, c);
        const float h = Residual(d + e, c);
        if (f >= m && h > m) {
            if (e < 0.002f) {
                divider = 1.0f - d;
                return true;
            }
            e = 1.0f / 1000.0f;
            // A minimum between two equal neighbours is where the finer grid starts.
            if (h == f)
                continue;
        } else if (h == f) {
            // The two outer residuals give no direction to move in.
            return Refuse(error, "the divider search found no slope", a, b);
        }
        const float before = d;
        d = d - e * m / (h - f);
        if (!std::isfinite(d))
            return Refuse(error, "the divider search left the channel", a, b);
        // A root beyond the edge of the grid (one pump far slower than the other) pulls the search
        // against the clamp, where it would stay: the edge is the answer, on the finer grid.
        const float bound = d < e ? e : 1.0f - e;
        if ((d < e || d > 1.0f - e) && before == bound) {
            if (e < 0.002f) {
                divider = 1.0f - bound;
                return true;
            }
            e = 1.0f / 1000.0f;
        }
        d = std::max(e, d);
        d = std::min(1.0f - e, d);
    }
    return Refuse(error, "the divider search did not converge", a, b);
}
