#include "format/mesh_text.h"

#include "format/digits.h"

namespace {

Utf16* appendAscii(Utf16* out, const char* text) {
    for (; *text; ++text)
        *out++ = Utf16(u8(*text));
    return out;
}

// ", 3 open edges", "1 shell": the count, then the noun, plural unless one.
Utf16* appendCount(Utf16* out, u64 count, const char* noun, bool* first) {
    if (!*first)
        out = appendAscii(out, ", ");
    *first = false;
    char digits[20];
    char* end = writeDecimal(digits, count);
    for (const char* digit = digits; digit < end; ++digit)
        *out++ = Utf16(*digit);
    *out++ = u' ';
    out = appendAscii(out, noun);
    return count == 1 ? out : appendAscii(out, "s");
}

// A measure in the chosen unit, square or cubic: "12.34 cm³".
Utf16* appendMeasure(Utf16* out, const char* label, f64 value, const char* unit, Utf16 power) {
    out = appendAscii(out, label);
    out = writeLocaleNumber(value, out);
    *out++ = 0x2009;  // THIN SPACE, as the lengths have
    out = appendAscii(out, unit);
    *out++ = power;
    return out;
}

// whole x 10^exponent: one correctly rounded step while the power is exact (up to 10^22).
f64 scaled(f64 whole, i32 exponent) {
    f64 power = 1;
    for (i32 i = exponent < 0 ? -exponent : exponent; i > 0; --i)
        power *= 10;
    return exponent < 0 ? whole / power : whole * power;
}

}  // namespace

Utf16* writeMeshText(const MeshCheck* check, const f32 size[3], Utf16* out) {
    f32 largest = size[0] > size[1] ? size[0] : size[1];
    largest = largest > size[2] ? largest : size[2];
    const char* unit;
    chooseLengthUnit(largest, &unit);
    f64 perMetre = unit[0] == 'k' ? 1e-3 : unit[0] == 'c' ? 1e2 : unit[1] == 'm' ? 1e3 : 1;
    bool first = true;
    if (check->closed) {
        out = appendAscii(out, check->insideOut ? "closed, inside out" : "closed");
        first = false;
    }
    if (check->openEdges)
        out = appendCount(out, check->openEdges, "open edge", &first);
    if (check->nonManifoldEdges)
        out = appendCount(out, check->nonManifoldEdges, "non-manifold edge", &first);
    if (check->misorientedEdges)
        out = appendCount(out, check->misorientedEdges, "misoriented edge", &first);
    if (check->degenerateTriangles)
        out = appendCount(out, check->degenerateTriangles, "degenerate triangle", &first);
    out = appendCount(out, check->shells, "shell", &first);
    if (check->closed) {
        f64 volume = check->signedVolume < 0 ? -check->signedVolume : check->signedVolume;
        out = appendMeasure(out, ", volume ", volume * perMetre * perMetre * perMetre, unit, u'\u00B3');
    }
    return appendMeasure(out, ", area ", check->area * perMetre * perMetre, unit, u'\u00B2');
}

f64 decimalUnit(f32 metresPerUnit) {
    if (metresPerUnit - metresPerUnit != 0.0f || metresPerUnit <= 0.0f)
        return metresPerUnit;
    // Nine digits always read back as the same float; the shortest of them that do is the unit.
    DecimalDigits d;
    for (u32 count = 1; count < 9; ++count) {
        generateDigits(metresPerUnit, count, &d);
        f64 whole = 0;
        for (u32 i = 0; i < d.count; ++i)
            whole = whole * 10 + (d.digits[i] - '0');
        if (f32(scaled(whole, d.decpt - i32(d.count))) == metresPerUnit)
            return scaled(whole, d.decpt - i32(d.count));
    }
    return metresPerUnit;
}
