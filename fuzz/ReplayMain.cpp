// A fuzz target without libFuzzer: runs the saved inputs named on the command line (files, or
// directories of them) and a fixed set of pseudo-random inputs, so that every finding stays a test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  std::error_code ec;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_regular_file(argv[i], ec)) files.emplace_back(argv[i]);
    for (const auto& entry : fs::directory_iterator(argv[i], ec)) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& path : files) {
    std::printf("%s\n", path.string().c_str());
    std::fflush(stdout);  // the input a crash happens on shows
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  // Random words in random cuts, every option byte among them: a quick check of any build.
  std::mt19937 random(20240601);
  for (int n = 0; n < 256; ++n) {
    std::vector<std::uint8_t> bytes(random() % 20000);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    if (!bytes.empty()) bytes[0] = static_cast<std::uint8_t>(n);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replayed %zu saved and 256 random inputs\n", files.size());
}
