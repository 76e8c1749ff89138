#include "format/length_text.h"

f64 chooseLengthUnit(f32 metres, const char** unit) {
    f32 value;
    if (metres < 0.01f) {
        value = metres * 1000.0f;
        *unit = "mm";
    } else if (metres < 1.0f) {
        value = metres * 100.0f;
        *unit = "cm";
    } else if (metres < 1000.0f) {
        value = metres;
        *unit = "m";
    } else {
        value = metres * 0.001f;
        *unit = "km";
    }
    return f64(value);
}
