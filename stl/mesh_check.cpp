#include "stl/mesh_check.h"

#include <emmintrin.h>

#include "stl/heap.h"
#include "stl/worker_thread.h"

namespace {

const u32 kNone = 0xFFFFFFFF;
// The corners are sorted as 32-bit numbers into buckets on the top bits of their keys; a
// bucket is then ordered as (key << 32) | place by counting on the next bits, its keys
// made again from the coordinates it reads anyway. Up to 2,048 buckets the scatter's
// writes stay in the cache; past 8,192 corners a bucket the welding's reads do not, and
// more buckets are the lesser cost.
const u32 kMaxBucketBits = 13;
const u32 kMaxSubBits = 12;
const u32 kScratchElements = 4096;
const u32 kSlices = 64;
// Every so many items a step looks whether it should end early: a check that a newer load
// superseded ends, and gives its memory back, within milliseconds. A look costs a sink call.
const u64 kItemsBetweenLooks = 0x1000;

struct Check;

// One thread's share of a step, and what it found.
struct Part {
    Check* check;
    u32 first, end;  // triangles, buckets or sort positions, as the step goes over
    f64 area, volume;
    u64 degenerate, vertices, edges, edgeUses, open, nonManifold, misoriented, shells;
    u64* scratch;    // edges around one vertex, or a bucket being ordered
    u32 scratchCapacity;
    u32* ends;       // marked edges, two corners each
    u64 endCount;
    u32 endCapacity;
    u64 items, nextLook;  // work done in this step, and when to look for a stop again
    bool failed;     // out of memory
    bool asks;       // this part runs on the calling thread, which asks the sink
};

struct Check {
    const GpuVertex* corners;  // three a triangle
    u32 triangles;
    u32* vertexOf;     // per corner: the key, then the vertex (one of its corners)
    u32* sorted;       // the corners of the non-degenerate triangles, grouped by vertex
    u32* parent;       // per triangle: union-find parent, kNone for a degenerate one
    f32 cellLow[3], cellScale[3];  // cells a file unit; all 0: no cells
    u32 cellBits[3];               // x, y, z: as many cells as buckets
    u32 bucketBits;
    u32 buckets;
    // A row of counts (then positions) per bucket for each slice of the triangles, so that
    // either thread may count or scatter any slice, the corners landing in corner order.
    u32* histograms;
    u32 slices, sliceSize;
    const u32* bucketEnd;  // after the scatter
    u32 sortedCount;
    void (*chunkStep)(Part*);  // a step the threads share chunk by chunk
    u64 nextChunk;
    u32 chunkSize, chunkedEnd;
    u8* tinted;
    bool marking;
    HeapHandle heap;
    const ReportSink* sink;  // asked by the calling thread only
    u32 progress;            // thousandths done when the current step began
    volatile u32 stop;       // the sink answered stop: both threads end their step
};

// The check may run without a sink (a fuzzer, a benchmark).
void tell(const ReportSink* sink, ResultCode code, uptr argument = 0) {
    if (sink)
        report(sink, code, argument);
}

// Counts `items` of work done; answers whether the step should end. Once it has, it
// answers so at every call, so that each loop a sort is nested in ends too.
bool stopped(Part* part, u64 items = 1) {
    part->items += items;
    if (part->items < part->nextLook)
        return false;
    part->nextLook = part->items + kItemsBetweenLooks;
    Check* check = part->check;
    bool stop = __atomic_load_n(&check->stop, __ATOMIC_RELAXED) != 0;
    if (!stop && part->asks && check->sink && !report(check->sink, kProgress, check->progress)) {
        __atomic_store_n(&check->stop, 1u, __ATOMIC_RELAXED);
        stop = true;
    }
    if (stop)
        part->nextLook = 0;
    return stop;
}

// The coordinate bits of a corner, -0 read as +0.
struct CornerBits {
    u32 v[3];
};

CornerBits bitsOf(const GpuVertex& p) {
    CornerBits out;
    __builtin_memcpy(out.v, p.position, 12);
    for (u32& bits : out.v)
        if ((bits & 0x7FFFFFFF) == 0)
            bits = 0;
    return out;
}

bool hasNan(const CornerBits& a) {
    return (a.v[0] & 0x7FFFFFFF) > 0x7F800000 || (a.v[1] & 0x7FFFFFFF) > 0x7F800000 ||
           (a.v[2] & 0x7FFFFFFF) > 0x7F800000;
}

bool sameVertex(const CornerBits& a, const CornerBits& b) {
    return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2] && !hasNan(a);
}

u32 mix(u64 a, u64 b) {
    u64 h = (a ^ 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
    h ^= (h >> 31) ^ (b * 0x94D049BB133111EBull);
    h *= 0xD6E8FEB86659FD93ull;
    return u32(h >> 32);
}

// The sort key: the cell of the model's box that holds the corner in its top bits, so that
// a bucket's corners lie near each other, as they mostly do in the file too, and a mix of
// the bits below. Random reads over a large file cost a page walk each; reads within a few
// regions of it do not. A box that puts too many corners in one cell (a far-off stray
// vertex) makes the check take the mix alone. A NaN corner gets a key from its index: it
// joins no other, and many alike make no long run.
u32 keyOf(const Check* check, const CornerBits& bits, u32 corner) {
    if (hasNan(bits))
        return mix(corner, 0x4E614E);
    u32 key = mix(bits.v[0] | u64(bits.v[1]) << 32, bits.v[2]);
    if (!check->cellScale[0] && !check->cellScale[1] && !check->cellScale[2])
        return key;
    u32 cell = 0;
    for (int k = 0; k < 3; ++k) {
        f32 at, q;
        __builtin_memcpy(&at, &bits.v[k], 4);
        q = (at - check->cellLow[k]) * check->cellScale[k];
        u32 last = (1u << check->cellBits[k]) - 1;
        cell = cell << check->cellBits[k] | (q >= 0 ? (q < f32(last) ? u32(q) : last) : 0);
    }
    return cell << (32 - check->bucketBits) | key >> check->bucketBits;
}

const GpuVertex& cornerAt(const Check* check, u32 corner) {
    return check->corners[corner];
}

u32 bucketOf(const Check* check, u32 key) {
    return key >> (32 - check->bucketBits);
}

// Heapsort: a bounded worst case for the rare long runs (a vertex of very many triangles,
// a bucket that drew too many keys). `less` orders two elements. A stopped sort leaves
// the elements in some order.
template <typename Less>
void heapSort(Part* part, u64* a, u64 n, Less less) {
    auto sift = [&](u64 root, u64 size) {
        for (;;) {
            u64 child = 2 * root + 1;
            if (child >= size)
                return;
            if (child + 1 < size && less(a[child], a[child + 1]))
                ++child;
            if (!less(a[root], a[child]))
                return;
            u64 t = a[root];
            a[root] = a[child];
            a[child] = t;
            root = child;
        }
    };
    for (u64 i = n / 2; i-- > 0;)
        if (!stopped(part))
            sift(i, n);
    for (u64 end = n; end > 1 && !stopped(part); --end) {
        u64 t = a[0];
        a[0] = a[end - 1];
        a[end - 1] = t;
        sift(0, end - 1);
    }
}

void sortValues(Part* part, u64* a, u64 n) {
    if (n > 24) {
        heapSort(part, a, n, [](u64 x, u64 y) { return x < y; });
        return;
    }
    for (u64 i = 1; i < n; ++i) {
        u64 v = a[i], j = i;
        for (; j > 0 && a[j - 1] > v; --j)
            a[j] = a[j - 1];
        a[j] = v;
    }
}

bool reserveScratch(Part* part, u64 count) {
    if (count <= part->scratchCapacity)
        return true;
    u64 capacity = count > 2 * u64(part->scratchCapacity) ? count : 2 * u64(part->scratchCapacity);
    void* grown = part->scratch ? heapReallocate(part->check->heap, part->scratch, capacity * 8)
                                : heapAllocate(part->check->heap, capacity * 8);
    if (!grown) {
        part->failed = true;
        return false;
    }
    part->scratch = static_cast<u64*>(grown);
    part->scratchCapacity = u32(capacity);
    return true;
}

// The counts of the slice that a part of step 1 or 2 goes over.
u32* histogramOf(const Check* check, const Part* part) {
    return check->histograms + u64(part->first / check->sliceSize) * check->buckets;
}

// Step 1, over triangles: each corner's key, the degenerate triangles, the bucket counts,
// area and volume.
void measureTriangles(Part* part) {
    Check* check = part->check;
    u32* histogram = histogramOf(check, part);
    for (u64 t = part->first; t < part->end; ++t) {
        if (stopped(part))
            return;
        const GpuVertex* v = check->corners + 3 * t;
        CornerBits a = bitsOf(v[0]), b = bitsOf(v[1]), c = bitsOf(v[2]);
        u32* keys = check->vertexOf + 3 * t;
        if (sameVertex(a, b) || sameVertex(b, c) || sameVertex(a, c)) {
            ++part->degenerate;
            check->parent[t] = kNone;
            keys[0] = keys[1] = keys[2] = kNone;
            continue;
        }
        check->parent[t] = u32(t);
        keys[0] = keyOf(check, a, u32(3 * t));
        keys[1] = keyOf(check, b, u32(3 * t + 1));
        keys[2] = keyOf(check, c, u32(3 * t + 2));
        for (int k = 0; k < 3; ++k)
            ++histogram[bucketOf(check, keys[k])];
        f64 ax = v[0].position[0], ay = v[0].position[1], az = v[0].position[2];
        f64 ux = v[1].position[0] - ax, uy = v[1].position[1] - ay, uz = v[1].position[2] - az;
        f64 wx = v[2].position[0] - ax, wy = v[2].position[1] - ay, wz = v[2].position[2] - az;
        f64 nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
        part->area += _mm_cvtsd_f64(_mm_sqrt_sd(_mm_setzero_pd(), _mm_set_sd(nx * nx + ny * ny + nz * nz)));
        part->volume += ax * nx + ay * ny + az * nz;
    }
}

// Step 2, over the same triangles: each corner into its bucket, in corner order.
void scatterCorners(Part* part) {
    Check* check = part->check;
    u32* histogram = histogramOf(check, part);
    for (u32 t = part->first; t < part->end; ++t) {
        if (stopped(part))
            return;
        if (check->parent[t] == kNone)
            continue;
        for (u32 corner = 3 * t; corner < 3 * t + 3; ++corner)
            check->sorted[histogram[bucketOf(check, check->vertexOf[corner])]++] = corner;
    }
}

// The corners of one key, split into vertices: each gets its first corner as its vertex.
// Elements are (key << 32) | place in the bucket, `in` and `bits` what each place holds.
void groupRun(Part* part, u64* run, u32 n, const u32* in, const CornerBits* bits) {
    Check* check = part->check;
    const CornerBits& first = bits[u32(run[0])];
    bool alike = !hasNan(first);
    for (u32 i = 1; i < n && alike && !stopped(part); ++i)
        alike = sameVertex(first, bits[u32(run[i])]);
    if (!alike) {
        // Different coordinates under one key (or NaN): order the run by its bits.
        heapSort(part, run, n, [bits](u64 x, u64 y) {
            const CornerBits &a = bits[u32(x)], &b = bits[u32(y)];
            for (int k = 0; k < 3; ++k)
                if (a.v[k] != b.v[k])
                    return a.v[k] < b.v[k];
            return u32(x) < u32(y);
        });
    }
    u32 vertex = kNone;
    const CornerBits* at = &first;
    for (u32 i = 0; i < n && !stopped(part); ++i) {
        u32 place = u32(run[i]), corner = in[place];
        if (vertex == kNone || !(alike || sameVertex(*at, bits[place]))) {
            vertex = corner;
            at = &bits[place];
            ++part->vertices;
        }
        check->vertexOf[corner] = vertex;
    }
}

// Orders one bucket's corners by key, those of one key by their bits, and welds them; `in`
// then holds them in that order. Each corner's coordinates are read once, at random in the
// file, into the scratch array, which holds 3.5n elements: the keyed places, them ordered,
// the bits.
void weldBucket(Part* part, u32* in, u32 n, const u32* prefetchEnd) {
    Check* check = part->check;
    u32 subBits = 1;
    while (subBits < kMaxSubBits && subBits + check->bucketBits < 32 && (2u << subBits) <= n)
        ++subBits;
    u32 shift = 64 - check->bucketBits - subBits, mask = (1u << subBits) - 1;
    u32 counts[(1 << kMaxSubBits) + 1];
    __builtin_memset(counts, 0, (mask + 2) * 4);
    u64* keyed = part->scratch;
    u64* out = keyed + n;
    CornerBits* bits = reinterpret_cast<CornerBits*>(out + n);
    for (u32 i = 0; i < n; ++i) {
        if (stopped(part))
            return;
        // Asked for ahead of use, the next bucket's included.
        if (in + i + 32 < prefetchEnd)
            __builtin_prefetch(&cornerAt(check, in[i + 32]));
        u32 corner = in[i];
        bits[i] = bitsOf(cornerAt(check, corner));
        keyed[i] = u64(keyOf(check, bits[i], corner)) << 32 | i;
        ++counts[((keyed[i] >> shift) & mask) + 1];
    }
    for (u32 i = 1; i <= mask; ++i)
        counts[i] += counts[i - 1];
    for (u32 i = 0; i < n; ++i)
        out[counts[(keyed[i] >> shift) & mask]++] = keyed[i];
    u32 start = 0;
    for (u32 i = 0; i <= mask; ++i) {  // counts[i] is now the end of sub-bucket i
        sortValues(part, out + start, counts[i] - start);
        start = counts[i];
    }
    for (u32 i = 0; i < n;) {
        u32 j = i + 1;
        while (j < n && out[j] >> 32 == out[i] >> 32)
            ++j;
        groupRun(part, out + i, j - i, in, bits);
        i = j;
    }
    u32* ordered = reinterpret_cast<u32*>(keyed);
    for (u32 i = 0; i < n; ++i)
        ordered[i] = in[u32(out[i])];
    __builtin_memcpy(in, ordered, u64(n) * 4);
}

// Step 3, over buckets: weld the corners of each.
void weldBuckets(Part* part) {
    Check* check = part->check;
    if (part->first >= part->end)
        return;
    const u32* partEnd = check->sorted + check->bucketEnd[part->end - 1];
    for (u32 bucket = part->first; bucket < part->end; ++bucket) {
        u32 start = bucket ? check->bucketEnd[bucket - 1] : 0;
        u32 n = check->bucketEnd[bucket] - start;
        if (stopped(part, 0) || !reserveScratch(part, 2 * u64(n) + (3 * u64(n) + 1) / 2))
            return;
        weldBucket(part, check->sorted + start, n, partEnd);
    }
}

u32 findRoot(u32* parent, u32 x) {
    for (;;) {
        u32 p = __atomic_load_n(&parent[x], __ATOMIC_RELAXED);
        if (p == x)
            return x;
        u32 grand = __atomic_load_n(&parent[p], __ATOMIC_RELAXED);
        if (grand != p)  // halving: any ancestor is a correct parent
            __atomic_compare_exchange_n(&parent[x], &p, grand, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED);
        x = grand;
    }
}

// Roots link toward the lower index, so that both threads may join at once without a cycle.
void unite(u32* parent, u32 a, u32 b) {
    for (;;) {
        a = findRoot(parent, a);
        b = findRoot(parent, b);
        if (a == b)
            return;
        if (a < b) {
            u32 t = a;
            a = b;
            b = t;
        }
        u32 expected = a;
        if (__atomic_compare_exchange_n(&parent[a], &expected, b, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED))
            return;
    }
}

void markEdge(Part* part, u32 a, u32 b) {
    if (part->endCount + 2 > part->endCapacity) {
        u32 capacity = part->endCapacity ? 2 * part->endCapacity : 256;
        void* grown = part->ends ? heapReallocate(part->check->heap, part->ends, u64(capacity) * 4)
                                 : heapAllocate(part->check->heap, u64(capacity) * 4);
        if (!grown) {
            part->failed = true;
            return;
        }
        part->ends = static_cast<u32*>(grown);
        part->endCapacity = capacity;
    }
    part->ends[part->endCount++] = a;
    part->ends[part->endCount++] = b;
}

// Step 4, over vertices: every edge to a higher vertex, with the triangles that use it.
// An entry is (other vertex << 32) | triangle << 1 | 1 when the triangle runs the edge
// toward this vertex.
void matchEdges(Part* part) {
    Check* check = part->check;
    const u32* sorted = check->sorted;
    const u32* vertexOf = check->vertexOf;
    u32 end = check->sortedCount;
    u32 i = part->first;
    while (i > 0 && i < part->end && vertexOf[sorted[i]] == vertexOf[sorted[i - 1]])
        ++i;  // a vertex begun before the range is the range's before
    while (i < part->end && !part->failed) {
        u32 a = vertexOf[sorted[i]];
        u32 j = i + 1;
        for (; j < end && vertexOf[sorted[j]] == a; ++j) {
        }
        if (stopped(part) || !reserveScratch(part, 2 * u64(j - i)))
            return;
        // The triangles of vertices further on, read at random: asked for ahead of use.
        for (u32 k = j; k < j + 8 && k < end; ++k) {
            u32 corner = sorted[k + 24 < end ? k + 24 : k];
            __builtin_prefetch(&vertexOf[corner - corner % 3]);
            __builtin_prefetch(&check->parent[corner / 3]);
        }
        u32 n = 0;
        for (; i < j; ++i) {
            u32 corner = sorted[i], t = corner / 3, k = corner % 3;
            u32 next = check->vertexOf[3 * t + (k + 1) % 3], previous = check->vertexOf[3 * t + (k + 2) % 3];
            if (next > a)
                part->scratch[n++] = u64(next) << 32 | t << 1;
            if (previous > a)
                part->scratch[n++] = u64(previous) << 32 | t << 1 | 1;
        }
        sortValues(part, part->scratch, n);
        for (u32 e = 0; e < n && !stopped(part);) {
            u32 f = e + 1;
            while (f < n && part->scratch[f] >> 32 == part->scratch[e] >> 32)
                ++f;
            u32 uses = f - e;
            u32 t1 = u32(part->scratch[e]) >> 1, t2 = u32(part->scratch[e + 1 < f ? e + 1 : e]) >> 1;
            ++part->edges;
            part->edgeUses += uses;
            if (uses == 2) {
                if ((part->scratch[e] & 1) == (part->scratch[e + 1] & 1)) {
                    ++part->misoriented;
                    if (check->tinted) {
                        __atomic_store_n(&check->tinted[t1], u8(1), __ATOMIC_RELAXED);
                        __atomic_store_n(&check->tinted[t2], u8(1), __ATOMIC_RELAXED);
                    }
                }
                unite(check->parent, t1, t2);
            } else {
                ++(uses == 1 ? part->open : part->nonManifold);
                if (check->marking)
                    markEdge(part, a, u32(part->scratch[e] >> 32));
            }
            e = f;
        }
    }
}

// Step 5, over triangles: the roots that are left are the shells.
void countShells(Part* part) {
    const u32* parent = part->check->parent;
    for (u32 t = part->first; t < part->end; ++t) {
        if (stopped(part))
            return;
        part->shells += parent[t] == t;
    }
}

struct StepRun {
    void (*step)(Part*);
    Part* part;
};

void runStepOnWorker(void* context) {
    StepRun* run = static_cast<StepRun*>(context);
    run->step(run->part);
}

// A step on two threads, parts[1] on the worker; without a worker both parts run here. The
// join makes the worker's stores visible. Answers the worker's fault, or 0. Only the calling
// thread asks the sink: while it waits for the worker, a stop waits too.
u32 runStep(void (*step)(Part*), Part parts[2]) {
    StepRun run = {step, &parts[1]};
    WorkerThread worker = parts[1].first < parts[1].end ? startWorkerThread(runStepOnWorker, &run) : nullptr;
    step(&parts[0]);
    if (worker)
        return joinWorkerThread(worker);
    step(&parts[1]);
    return 0;
}

void splitRange(Part parts[2], u32 end, u32 middle) {
    parts[0].first = 0;
    parts[0].end = parts[1].first = middle;
    parts[1].end = end;
    for (int i = 0; i < 2; ++i)
        parts[i].items = parts[i].nextLook = 0;
}

void runChunks(Part* part) {
    Check* check = part->check;
    for (;;) {
        u64 first = __atomic_fetch_add(&check->nextChunk, check->chunkSize, __ATOMIC_RELAXED);
        if (first >= check->chunkedEnd || part->failed || stopped(part, 0))
            return;
        part->first = u32(first);
        part->end = u32(first + check->chunkSize < check->chunkedEnd ? first + check->chunkSize : check->chunkedEnd);
        check->chunkStep(part);
    }
}

// Buckets and vertices differ in cost, and one thread may get less of the machine than the
// other: both threads take small chunks of such a step until none is left, so that neither
// waits long for the other (nor a stop for the calling thread).
u32 runChunked(void (*step)(Part*), Part parts[2], u32 end, u32 chunkSize) {
    Check* check = parts[0].check;
    check->chunkStep = step;
    check->nextChunk = 0;
    check->chunkSize = chunkSize;
    check->chunkedEnd = end;
    splitRange(parts, end, end / 2);
    return runStep(runChunks, parts);
}

bool stepDone(u32 fault, const Part parts[2], u32 thousandths) {
    Check* check = parts[0].check;
    if (fault) {
        tell(check->sink, kSystemError, fault);
        return false;
    }
    if (parts[0].failed || parts[1].failed) {
        tell(check->sink, kOutOfMemory);
        return false;
    }
    check->progress = thousandths;
    return !check->stop && (!check->sink || report(check->sink, kProgress, thousandths));
}

// Whether one bucket drew so many corners that ordering it would take more than a little
// scratch memory or leave one thread most of the welding.
bool crowdedCell(const Check* check) {
    if (!check->cellScale[0] && !check->cellScale[1] && !check->cellScale[2])
        return false;
    u32 most = 0, all = 0;
    for (u32 b = 0; b < check->buckets; ++b) {
        u32 count = 0;
        for (u32 slice = 0; slice < check->slices; ++slice)
            count += check->histograms[u64(slice) * check->buckets + b];
        most = count > most ? count : most;
        all += count;
    }
    return most > kScratchElements && most > all / 32;
}

bool runCheck(Check* check, Part parts[2], MeshCheck* out) {
    u32 triangles = check->triangles;
    u64 histogramBytes = u64(check->slices) * check->buckets * 4;
    __builtin_memset(check->histograms, 0, histogramBytes);
    if (!stepDone(runChunked(measureTriangles, parts, triangles, check->sliceSize), parts, 200))
        return false;
    if (crowdedCell(check)) {
        __builtin_memset(check->cellScale, 0, sizeof check->cellScale);
        __builtin_memset(check->histograms, 0, histogramBytes);
        for (int i = 0; i < 2; ++i) {
            parts[i].area = parts[i].volume = 0;
            parts[i].degenerate = 0;
        }
        if (!stepDone(runChunked(measureTriangles, parts, triangles, check->sliceSize), parts, 200))
            return false;
    }
    u32 position = 0;
    for (u32 b = 0; b < check->buckets; ++b)
        for (u32 slice = 0; slice < check->slices; ++slice) {
            u32* at = check->histograms + u64(slice) * check->buckets + b;
            u32 count = *at;
            *at = position;
            position += count;
        }
    u32 sortedCount = position;
    if (!stepDone(runChunked(scatterCorners, parts, triangles, check->sliceSize), parts, 300))
        return false;
    // The last slice's positions have reached the end of each bucket.
    check->bucketEnd = check->histograms + u64(check->slices - 1) * check->buckets;
    check->sortedCount = sortedCount;
    if (!stepDone(runChunked(weldBuckets, parts, check->buckets, 4), parts, 600))
        return false;
    if (!stepDone(runChunked(matchEdges, parts, sortedCount, 0x4000), parts, 900))
        return false;
    splitRange(parts, triangles, triangles / 2);
    if (!stepDone(runStep(countShells, parts), parts, 1000))
        return false;
    for (int i = 0; i < 2; ++i) {
        const Part& p = parts[i];
        out->degenerateTriangles += p.degenerate;
        out->vertices += p.vertices;
        out->edges += p.edges;
        out->edgeUses += p.edgeUses;
        out->openEdges += p.open;
        out->nonManifoldEdges += p.nonManifold;
        out->misorientedEdges += p.misoriented;
        out->shells += p.shells;
    }
    return true;
}

}  // namespace

bool checkMesh(const PreparedVertices* vertices, f64 metresPerUnit, const ReportSink* sink, MeshCheck* out,
               void* marksHeap, MeshMarks* marks) {
    *out = MeshCheck{};
    u64 total = vertices->vertexCount / 3;
    out->triangles = total;
    if (marks)
        *marks = MeshMarks{};
    if (total > kMaxCheckedTriangles) {
        tell(sink, kOutOfMemory);  // past what 32-bit corner numbers reach
        return false;
    }
    u32 triangles = u32(total);
    Check check = {};
    check.corners = vertices->vertices;
    check.triangles = triangles;
    check.bucketBits = 1;
    while (check.bucketBits < kMaxBucketBits && (3 * total >> check.bucketBits) > (check.bucketBits < 11 ? 512 : 8192))
        ++check.bucketBits;
    check.buckets = 1u << check.bucketBits;
    for (int k = 0; k < 3; ++k) {
        check.cellBits[k] = (check.bucketBits + 2 - k) / 3;
        f32 extent = vertices->high[k] - vertices->low[k];
        check.cellLow[k] = vertices->low[k];
        check.cellScale[k] = extent > 0 && extent < 3e38f ? f32(1u << check.cellBits[k]) / extent : 0;
    }
    check.heap = createLoadHeap();
    if (!check.heap) {
        tell(sink, kOutOfMemory);
        return false;
    }
    HeapHandle heap = check.heap;
    // Asked for together, tested together: one report however many fail.
    check.vertexOf = allocateArrayOf<u32>(heap, 3 * total + 1, nullptr);
    check.sorted = allocateArrayOf<u32>(heap, 3 * total + 1, nullptr);
    check.parent = allocateArrayOf<u32>(heap, total + 1, nullptr);
    check.sliceSize = triangles / kSlices + 1;
    check.slices = triangles / check.sliceSize + 1;
    check.histograms = allocateArrayOf<u32>(heap, u64(check.slices) * check.buckets, nullptr);
    // Each part's scratch may grow (a vertex of many triangles), so each is a block of its own.
    u64* scratch[2] = {allocateArrayOf<u64>(heap, kScratchElements, nullptr),
                       allocateArrayOf<u64>(heap, kScratchElements, nullptr)};
    if (marks && total) {
        check.tinted = allocateArrayOf<u8>(marksHeap, total, nullptr);
        if (check.tinted)
            __builtin_memset(check.tinted, 0, total);
        check.marking = true;
    }
    bool ok = check.vertexOf && check.sorted && check.parent && check.histograms && scratch[0] && scratch[1] &&
              (!marks || !total || check.tinted);
    Part parts[2] = {};
    if (!ok) {
        tell(sink, kOutOfMemory);
    } else {
        for (int i = 0; i < 2; ++i) {
            parts[i].check = &check;
            parts[i].scratch = scratch[i];
            parts[i].scratchCapacity = kScratchElements;
        }
        parts[0].asks = true;
        check.sink = sink;
        ok = runCheck(&check, parts, out);
    }
    if (ok && marks) {
        u64 ends = parts[0].endCount + parts[1].endCount;
        marks->edgeEnds = ends ? allocateArrayOf<u32>(marksHeap, ends, sink) : nullptr;
        ok = !ends || marks->edgeEnds;
        if (ok) {
            if (parts[0].endCount)
                __builtin_memcpy(marks->edgeEnds, parts[0].ends, parts[0].endCount * 4);
            if (parts[1].endCount)
                __builtin_memcpy(marks->edgeEnds + parts[0].endCount, parts[1].ends, parts[1].endCount * 4);
            marks->edgeEndCount = ends / 2;
            marks->tintedTriangles = out->misorientedEdges ? check.tinted : nullptr;
        }
    }
    if (check.tinted && !(ok && out->misorientedEdges))
        heapFree(marksHeap, check.tinted);
    destroyLoadHeap(heap);
    if (!ok)
        return false;
    out->area = 0.5 * (parts[0].area + parts[1].area) * metresPerUnit * metresPerUnit;
    f64 signedVolume = (parts[0].volume + parts[1].volume) / 6.0;
    out->signedVolume = signedVolume * metresPerUnit * metresPerUnit * metresPerUnit;
    out->closed = out->openEdges == 0 && out->nonManifoldEdges == 0;
    out->insideOut = out->closed && out->signedVolume < 0;
    return true;
}
