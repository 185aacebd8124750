// Replays a fuzz corpus without libFuzzer: every file under <root>/<family>/
// goes to LLVMFuzzerTestOneInput with that family selected. A contract
// violation aborts, a sanitizer report fails the run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace varnel_fuzz {
extern const char* const kFamilyNames[];
extern const int kFamilyCount;
extern int family;
}  // namespace varnel_fuzz
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc != 2) return std::fprintf(stderr, "usage: %s corpus-root\n", argv[0]), 2;
    int files = 0;
    for (int f = 0; f < varnel_fuzz::kFamilyCount; ++f) {
        const fs::path dir = fs::path(argv[1]) / varnel_fuzz::kFamilyNames[f];
        if (!fs::is_directory(dir)) return std::fprintf(stderr, "missing corpus %s\n", dir.c_str()), 1;
        varnel_fuzz::family = f;
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
