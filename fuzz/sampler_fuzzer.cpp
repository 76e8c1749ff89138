// The sampler over arbitrary bytes with budgets small enough for a fuzzer's inputs to be
// sampled (the first byte chooses them), then the readers over the sample and the widening
// over its vertices.
#include <cstring>
#include <vector>

#include "stl/detect.h"
#include "stl/sampler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    u8 choice = data[0];
    u64 run = 1u + (choice >> 4 & 1);
    SampleBudget budget = {2 * run + (choice & 15), run, 64u + 16u * (choice >> 5), 32, 1u + (choice >> 6)};
    std::vector<uint8_t> file(data + 1, data + size);
    ByteSource source = {&file,
                         [](void* context, u64 offset, u8* out, u64 length, const ReportSink*) {
                             auto* bytes = static_cast<std::vector<uint8_t>*>(context);
                             if (offset > bytes->size() || length > bytes->size() - offset)
                                 __builtin_trap();  // the sampler reads only inside the file
                             std::memcpy(out, bytes->data() + offset, length);
                             return true;
                         },
                         file.size()};
    LoadHeap heap = createLoadHeap();
    StlSample sample;
    LoadResult result = {};
    PreparedVertices vertices;
    if (readStlSample(&source, &budget, heap, nullptr, &sample) && sample.format != kFormatUnknown &&
        parseStl(&result, sample.format, sample.bytes, sample.bytes + sample.size, heap, nullptr) &&
        prepareVertices(&result, heap, nullptr, &vertices))
        widenSampledTriangles(&vertices, &sample, 64);
    destroyLoadHeap(heap);
    return 0;
}
