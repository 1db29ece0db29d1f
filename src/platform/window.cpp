// The portable part of the window helpers: the progress scale.
#include "window.h"

int progress_position(double percentage) {
    double position = percentage * 10.0;
    // Clamped before the conversion: a double beyond int's range does not
    // convert, and a NaN fails every comparison.
    if (!(position > 0.0)) {
        return 0;
    }
    if (position >= PROGRESS_RANGE) {
        return PROGRESS_RANGE;
    }
    return static_cast<int>(position);
}
