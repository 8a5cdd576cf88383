// The comparison point of scripts/bench: writes BYTES bytes to PATH with large sequential writes of
// one ready buffer, as fast as the file system takes them, and nothing else.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: raw_write PATH BYTES\n");
    return 2;
  }
  unsigned long long left = std::strtoull(argv[2], nullptr, 10);
  std::vector<char> buffer(8u << 20, '7');
  const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  while (left > 0) {
    const std::size_t n = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
    const ssize_t written = ::write(fd, buffer.data(), n);
    if (written <= 0) {
      std::perror(argv[1]);
      return 1;
    }
    left -= static_cast<unsigned long long>(written);
  }
  return ::close(fd) == 0 ? 0 : 1;
}
