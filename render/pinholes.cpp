#include "render/pinholes.h"

namespace {

// Wholly covered: a pixel the model covers in part shows the background through.
bool solid(u8 alpha) {
    return alpha == 255;
}

// The nearest solid pixel from (x, y) a step (dx, dy) at a time within the reach, or -1.
i64 nearestSolid(const u8* alphas, u32 width, u32 height, u32 x, u32 y, int dx, int dy) {
    for (u32 step = 1; step <= kPinholeReach; ++step) {
        i64 px = i64(x) + dx * i64(step), py = i64(y) + dy * i64(step);
        if (px < 0 || py < 0 || px >= i64(width) || py >= i64(height))
            return -1;
        i64 at = py * i64(width) + px;
        if (solid(alphas[at]))
            return at;
    }
    return -1;
}

}  // namespace

void closePinholes(u8* bgra, u32 width, u32 height, u8* alphas) {
    u64 pixels = u64(width) * height;
    for (u64 k = 0; k < pixels; ++k)
        alphas[k] = bgra[4 * k + 3];
    const int ways[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (u32 y = 0; y < height; ++y) {
        for (u32 x = 0; x < width; ++x) {
            u64 at = u64(y) * width + x;
            if (solid(alphas[at]))
                continue;
            // Walls on two opposite sides and a third: a crack of any length closes, a slot
            // open at one end only where it ends.
            i64 found[4];
            int sides = 0;
            for (int w = 0; w < 4; ++w) {
                found[w] = nearestSolid(alphas, width, height, x, y, ways[w][0], ways[w][1]);
                sides += found[w] >= 0;
            }
            if (sides < 3)
                continue;
            u32 sum[4] = {0, 0, 0, 0};
            for (int w = 0; w < 4; ++w)
                for (int c = 0; c < 4 && found[w] >= 0; ++c)
                    sum[c] += bgra[4 * found[w] + c];
            for (int c = 0; c < 4; ++c)
                bgra[4 * at + c] = u8((sum[c] + sides / 2) / sides);
        }
    }
}
