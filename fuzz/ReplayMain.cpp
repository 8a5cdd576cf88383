// A fuzz target without libFuzzer: runs the saved inputs named on the command line (files, or
// directories of them) and a fixed set of pseudo-random inputs, so that every finding stays a test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::printf("%s (%zu bytes)\n", path.string().c_str(), bytes.size());
  std::fflush(stdout);
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& f : files) RunFile(f), ++inputs;
    } else if (std::filesystem::exists(arg, ec)) {
      RunFile(arg), ++inputs;
    } else {
      std::printf("no saved inputs at %s\n", argv[i]);
    }
  }
  // Random words in random cuts, every option byte among them: a quick check of any build.
  std::mt19937 random(20240601);
  for (int n = 0; n < 256; ++n, ++inputs) {
    std::vector<std::uint8_t> bytes(random() % 20000);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    if (!bytes.empty()) bytes[0] = static_cast<std::uint8_t>(n);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replayed %d inputs\n", inputs);
  return 0;
}
