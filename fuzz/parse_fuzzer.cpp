// The whole load pipeline on arbitrary bytes (tests/support/load_pipeline.h says what it
// runs and checks), on an exact-size copy: a read past the end is a heap overflow the
// sanitizer sees.
#include <vector>

#include "support/load_pipeline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    runLoadPipeline(copy.data(), size);
    return 0;
}
