// Runs a fuzz target without libFuzzer: every file of the corpus folders given, then a bounded
// number of random mutations of them (bit flips, byte sets, cuts, repeats), from a fixed seed so a
// failure repeats.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Collect(const std::string& path, std::vector<std::vector<uint8_t>>& inputs) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* dir = opendir(path.c_str())) {
            while (struct dirent* e = readdir(dir)) {
                if (e->d_name[0] == '.') continue;
                Collect(path + "/" + e->d_name, inputs);
            }
            closedir(dir);
        }
        return;
    }
    std::ifstream in(path, std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> Mutate(std::vector<uint8_t> data, std::mt19937_64& rng) {
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < edits; ++i) {
        if (data.empty()) data.push_back(static_cast<uint8_t>(rng()));
        size_t at = rng() % data.size();
        switch (rng() % 6) {
            case 0: data[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
            case 1: data[at] = static_cast<uint8_t>(rng()); break;
            case 2: data[at] = (rng() & 1) ? 0xFF : 0x00; break;
            case 3: data.resize(at); break;
            case 4: {
                size_t len = std::min<size_t>(data.size() - at, 1 + rng() % 64);
                std::vector<uint8_t> piece(data.begin() + at, data.begin() + at + len);
                data.insert(data.begin() + rng() % data.size(), piece.begin(), piece.end());
                break;
            }
            default: {  // a little-endian 16- or 32-bit extreme value
                uint32_t v = (rng() & 1) ? 0xFFFFFFFFu : 0x80000000u >> (rng() % 31);
                for (int k = 0; k < 4 && at + k < data.size(); ++k) data[at + k] = static_cast<uint8_t>(v >> (8 * k));
            }
        }
    }
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    long iterations = 1000;
    std::vector<std::vector<uint8_t>> inputs;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--iterations=", 13) == 0) iterations = std::atol(argv[i] + 13);
        else if (argv[i][0] != '-') Collect(argv[i], inputs);
    }
    if (inputs.empty()) inputs.emplace_back();
    for (const auto& input : inputs) LLVMFuzzerTestOneInput(input.data(), input.size());
    std::mt19937_64 rng(0x5EED);
    for (long i = 0; i < iterations; ++i) {
        std::vector<uint8_t> data = Mutate(inputs[rng() % inputs.size()], rng);
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("%zu corpus inputs, %ld mutations: no failure\n", inputs.size(), iterations);
    return 0;
}
