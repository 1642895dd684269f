// Replays inputs of a fuzz target without libFuzzer: every file named on the command line runs
// through LLVMFuzzerTestOneInput with every check of the target (see take_check); a mismatch
// prints the texts and aborts. tests/test_fuzz_corpus.py replays the checked-in corpus so.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    for (int i = 1; i < argc; ++i) {
        std::ifstream f(argv[i], std::ios::binary);
        if (!f) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%d inputs passed\n", argc - 1);
    return 0;
}
