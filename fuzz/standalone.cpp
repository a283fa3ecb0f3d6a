// Runs a fuzz target without libFuzzer, for ctest: the seed files of a folder, then mutations
// of them for a few seconds (VERNA_FUZZ_SECONDS), from a fixed random seed so that a failing
// input comes back on the next run. `make fuzz` runs the real thing.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> readSeeds(const char *folder)
{
    std::vector<Bytes> seeds;
    if (folder && std::filesystem::is_directory(folder)) {
        std::vector<std::filesystem::path> files;
        for (const auto &entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_regular_file())
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const auto &file : files) {
            std::ifstream in(file, std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    seeds.emplace_back();
    return seeds;
}

Bytes mutate(const std::vector<Bytes> &seeds, std::mt19937 &random)
{
    auto pick = [&](size_t n) { return n == 0 ? size_t(0) : std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    Bytes data = seeds[pick(seeds.size())];
    const int steps = 1 + static_cast<int>(pick(4));
    for (int s = 0; s < steps; ++s) {
        switch (pick(6)) {
        case 0: // flip a bit
            if (!data.empty())
                data[pick(data.size())] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 1: { // insert a byte, mostly one of the seeds' own
            const Bytes &other = seeds[pick(seeds.size())];
            const uint8_t byte = pick(4) == 0 || other.empty() ? static_cast<uint8_t>(pick(256)) : other[pick(other.size())];
            data.insert(data.begin() + static_cast<long>(pick(data.size() + 1)), byte);
            break;
        }
        case 2: // drop a run
            if (!data.empty()) {
                const size_t at = pick(data.size());
                data.erase(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(std::min(data.size(), at + 1 + pick(4))));
            }
            break;
        case 3: { // splice in a piece of another seed
            const Bytes &other = seeds[pick(seeds.size())];
            if (!other.empty()) {
                const size_t from = pick(other.size());
                const size_t length = 1 + pick(other.size() - from);
                data.insert(data.begin() + static_cast<long>(pick(data.size() + 1)), other.begin() + static_cast<long>(from),
                            other.begin() + static_cast<long>(from + length));
            }
            break;
        }
        case 4: // repeat a piece, for depth and length
            if (!data.empty() && data.size() < 4096) {
                const size_t from = pick(data.size());
                const Bytes piece(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(std::min(data.size(), from + 1 + pick(8))));
                const size_t times = 1 + pick(64);
                for (size_t t = 0; t < times; ++t)
                    data.insert(data.begin() + static_cast<long>(from), piece.begin(), piece.end());
            }
            break;
        default: // replace a byte by a seed's byte
            if (!data.empty()) {
                const Bytes &other = seeds[pick(seeds.size())];
                if (!other.empty())
                    data[pick(data.size())] = other[pick(other.size())];
            }
            break;
        }
    }
    return data;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<Bytes> seeds = readSeeds(argc > 1 ? argv[1] : nullptr);
    for (const Bytes &seed : seeds)
        LLVMFuzzerTestOneInput(seed.data(), seed.size());

    const char *seconds = std::getenv("VERNA_FUZZ_SECONDS");
    const auto budget = std::chrono::milliseconds(static_cast<long>(1000 * (seconds ? std::atof(seconds) : 3.0)));
    const auto end = std::chrono::steady_clock::now() + budget;
    std::mt19937 random(20240611);
    long runs = 0;
    while (runs < 2000000 && (runs % 64 != 0 || std::chrono::steady_clock::now() < end)) {
        const Bytes input = mutate(seeds, random);
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++runs;
    }
    std::printf("%ld inputs from %zu seeds, no failure\n", runs, seeds.size());
    return 0;
}
