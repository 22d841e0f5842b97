// Runs a fuzz target over its stored corpus without libFuzzer, so the ordinary test
// build (any compiler, AddressSanitizer) replays every input the fuzzer found worth
// keeping. Arguments: corpus folders or single inputs.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Inputs are a few kilobytes at most: libFuzzer hands them over whole in the same way.
bool Replay(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER_OR_FILE...\n", argv[0]);
        return 2;
    }
    int replayed = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path root(argv[i]);
        if (!std::filesystem::is_directory(root)) {
            ok = Replay(root) && ok;
            ++replayed;
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                ok = Replay(entry.path()) && ok;
                ++replayed;
            }
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    // An empty corpus replays nothing and proves nothing.
    return ok && replayed > 0 ? 0 : 1;
}
