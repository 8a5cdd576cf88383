// What a conversion touches on disk, watched through inotify: it writes the two output files in the
// output directory and nothing else, only reads its inputs, and follows no path found in the data.
#ifndef _WIN32  // Linux only: inotify
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "faults/FaultSupport.h"

namespace kestrun::faults {
namespace {

constexpr std::uint32_t kReadOnly = IN_OPEN | IN_ACCESS | IN_CLOSE_NOWRITE | IN_ISDIR;

struct Event {
  std::string dir;
  std::string name;  // empty for the directory itself
  std::uint32_t mask;
};

// Every file system event in a set of directories from construction on.
class Watch {
 public:
  explicit Watch(const std::vector<std::string>& dirs) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    EXPECT_GE(fd_, 0);
    for (const std::string& dir : dirs) {
      const int wd = inotify_add_watch(fd_, dir.c_str(), IN_ALL_EVENTS);
      EXPECT_GE(wd, 0) << dir;
      dirs_[wd] = dir;
    }
  }
  ~Watch() { ::close(fd_); }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  std::vector<Event> Read() {
    std::vector<Event> events;
    alignas(inotify_event) char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) {
        EXPECT_TRUE(n < 0 && errno == EAGAIN);
        return events;
      }
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        EXPECT_EQ(e->mask & IN_Q_OVERFLOW, 0u) << "events were lost";
        events.push_back({dirs_[e->wd], e->len > 0 ? std::string(e->name) : std::string(), e->mask});
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
  }

 private:
  int fd_;
  std::map<int, std::string> dirs_;
};

// An output's own name, or the partial name it is written under before it takes its own.
bool IsOutput(const std::string& path, const std::vector<std::string>& outputs) {
  const std::string partial = ".partial";
  for (const std::string& o : outputs) {
    if (path == o) return true;
    if (path.rfind(o + ".", 0) == 0 && path.size() > o.size() + partial.size() &&
        path.compare(path.size() - partial.size(), partial.size(), partial) == 0) {
      return true;
    }
  }
  return false;
}

// Events other than reading, as "dir/name mask" texts.
std::vector<std::string> Writes(const std::vector<Event>& events, const std::vector<std::string>& allowed = {}) {
  std::vector<std::string> writes;
  for (const Event& e : events) {
    if ((e.mask & ~kReadOnly) == 0) continue;
    if (IsOutput(e.dir + "/" + e.name, allowed)) continue;
    writes.push_back(e.dir + "/" + e.name + " " + std::to_string(e.mask));
  }
  return writes;
}

// A three-file series r_1..r_3 with an unrelated file beside it.
void WriteSeries(const std::string& dir) {
  const std::vector<std::uint8_t> stream = BigEndian(QuietT2(80));
  const std::size_t third = stream.size() / 12 * 4;
  for (std::size_t f = 0; f < 3; ++f) {
    const auto start = static_cast<std::ptrdiff_t>(f * third);
    const auto end = f == 2 ? static_cast<std::ptrdiff_t>(stream.size()) : start + static_cast<std::ptrdiff_t>(third);
    WriteFile(dir + "/r_" + std::to_string(f + 1) + ".dat",
              std::vector<std::uint8_t>(stream.begin() + start, stream.begin() + end));
  }
  WriteFile(dir + "/notes.txt", std::string("not converted"));
}

TEST(Security, OnlyTheTwoOutputFilesAreWrittenAndInputsAreOnlyRead) {
  ScratchDir root;
  const std::string in = root / "in";
  const std::string out = root / "out";
  std::filesystem::create_directories(in);
  std::filesystem::create_directories(out);
  WriteSeries(in);
  const std::vector<std::string> inputs = Listing(in);
  Conversion c;
  c.input = in + "/r_2.dat";
  c.outputDir = out;
  {
    Watch watch({root.path().string(), in, out});
    TdcFileParser parser;
    ASSERT_EQ(Convert(parser, c).status, 0);
    ASSERT_EQ(parser.files.size(), 3u);
    EXPECT_EQ(Writes(watch.Read(), {out + "/r_2_parsed.txt", out + "/r_2_report.txt"}), std::vector<std::string>{});
  }
  EXPECT_EQ(Listing(out), (std::vector<std::string>{"r_2_parsed.txt", "r_2_report.txt"}));
  EXPECT_EQ(Listing(in), inputs);

  // kestrun-cli, writing beside its inputs.
  c.outputDir.clear();
  {
    Watch watch({root.path().string(), in});
    const CommandResult cli = Cli("-q " + CliArguments(c));
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(Writes(watch.Read(), {in + "/r_2_parsed.txt", in + "/r_2_report.txt"}), std::vector<std::string>{});
  }
  std::vector<std::string> withOutputs = inputs;
  withOutputs.insert(withOutputs.end(), {"r_2_parsed.txt", "r_2_report.txt"});
  std::sort(withOutputs.begin(), withOutputs.end());
  EXPECT_EQ(Listing(in), withOutputs);
}

TEST(Security, NoPathFoundInTheDataIsFollowed) {
  ScratchDir root;
  const std::string sentinel = root / "sentinel";
  std::filesystem::create_directories(sentinel + "/sub");
  WriteFile(sentinel + "/target.dat", BigEndian(PackagedT2(1, 5)));
  // Paths as the bytes of the data, between words of every layout.
  std::string paths;
  for (const std::string& p : {sentinel + "/target.dat", sentinel + "/sub/made_parsed.txt", std::string("../../sentinel"),
                               "file://" + sentinel, sentinel + "/"}) {
    paths += p + std::string(4 - p.size() % 4, '\0');
  }
  std::vector<std::uint8_t> data;
  for (const std::vector<std::uint32_t>& words : {PackagedT2(2, 10), T1Frames(2, 2, 5), QuietT2(1)}) {
    const std::vector<std::uint8_t> bytes = BigEndian(words);
    data.insert(data.end(), bytes.begin(), bytes.end());
    data.insert(data.end(), paths.begin(), paths.end());
  }
  WriteFile(root / "paths.dat", data);
  const std::vector<std::string> before = Listing(sentinel);

  Watch watch({sentinel, sentinel + "/sub"});
  const std::pair<std::int32_t, std::int32_t> kinds[] = {{1, 1}, {2, 3}, {2, 1}, {3, 3}, {3, 64}, {4, 1}, {5, 1}};
  for (const auto& [type, device] : kinds) {
    Conversion c;
    c.input = root / "paths.dat";
    c.dataType = type;
    c.deviceType = device;
    EXPECT_EQ(Convert(c).status, 0);
  }
  const std::vector<Event> events = watch.Read();
  EXPECT_TRUE(events.empty()) << events.size() << " events, the first on " << events[0].dir << "/" << events[0].name;
  EXPECT_EQ(Listing(sentinel), before);
}

TEST(Security, NoInputNameLeadsTheOutputsOutOfTheirDirectory) {
  ScratchDir root;
  const std::string in = root / "in";
  const std::string out = root / "out";
  std::filesystem::create_directories(in + "/sub");
  std::filesystem::create_directories(out);
  // Stems ".", "..", one with a backslash, one with a line break, one behind "..".
  const std::vector<std::string> names = {"..dat", "...dat", "a\\b.dat", "line\nbreak.dat"};
  for (const std::string& name : names) WriteFile(in + "/" + name, BigEndian(PackagedT2(1, 3)));
  std::vector<std::string> inputs = names;
  inputs.push_back("sub/../..dat");
  for (const std::string& name : inputs) {
    Conversion c;
    c.input = in + "/" + name;
    c.outputDir = out;
    TdcFileParser parser;
    EXPECT_EQ(Convert(parser, c).status, 0) << name;
    EXPECT_EQ(std::filesystem::path(parser.ParsedFilePath()).parent_path(), out) << name;
    EXPECT_EQ(std::filesystem::path(parser.ReportFilePath()).parent_path(), out) << name;
  }
  EXPECT_EQ(Listing(out), (std::vector<std::string>{".._parsed.txt", ".._report.txt", "._parsed.txt", "._report.txt",
                                                     "a\\b_parsed.txt", "a\\b_report.txt", "line\nbreak_parsed.txt",
                                                     "line\nbreak_report.txt"}));
  EXPECT_EQ(Listing(root.path().string()), (std::vector<std::string>{"in", "out"}));
}

}  // namespace
}  // namespace kestrun::faults
#endif  // _WIN32
