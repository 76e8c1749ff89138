// Pinholes closed in the picture of a sampled file: where the widened patches of a sample
// left a few pixels uncovered inside the model, the background would show through as
// specks that the whole file's picture does not have.
#pragma once

#include "diag/base.h"

enum : u32 { kPinholeReach = 4 };  // pixels looked along each way

// Premultiplied BGRA rows, `width` x `height`. A pixel not wholly covered that has a wholly
// covered one within kPinholeReach on three of its four sides (left, right, above, below)
// takes the mean of those: specks and cracks a few pixels wide close, while the model's
// outline, holes over twice the reach across each way and the mouths of slots open at one
// end stay as they are. `alphas` (width * height bytes) is the caller's scratch, so that
// pixels closed in one call do not close others in the same call.
void closePinholes(u8* bgra, u32 width, u32 height, u8* alphas);
