// What a conversion touches on disk, watched through inotify: it writes the two output files in the
// output directory and nothing else, only reads its inputs, and follows no path found in the data.
#ifndef _WIN32  // Linux only: inotify
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>

#include "faults/FaultSupport.h"

namespace kestrun::faults {
namespace {

constexpr std::uint32_t kReadOnly = IN_OPEN | IN_ACCESS | IN_CLOSE_NOWRITE | IN_ISDIR;

// Every file system event in `dirs` while `run` runs, as "dir/name mask" ("dir/" for the directory itself),
// but for reading outside `sealed` and for writing the `outputs` (or the partial names they are written under
// before they take their own).
std::vector<std::string> EventsDuring(const std::vector<std::string>& dirs, const std::vector<std::string>& outputs,
                                      const std::string& sealed, const std::function<void()>& run) {
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  EXPECT_GE(fd, 0);
  std::map<int, std::string> watched;
  for (const std::string& dir : dirs) watched[inotify_add_watch(fd, dir.c_str(), IN_ALL_EVENTS)] = dir;
  EXPECT_EQ(watched.count(-1), 0u);
  run();
  std::vector<std::string> events;
  alignas(inotify_event) char buffer[65536];
  ssize_t n = 0;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      EXPECT_EQ(e->mask & IN_Q_OVERFLOW, 0u) << "events were lost";
      const std::string path = watched[e->wd] + "/" + (e->len > 0 ? e->name : "");
      const bool output = std::any_of(outputs.begin(), outputs.end(), [&](const std::string& o) {
        return path == o || (path.starts_with(o + ".") && path.ends_with(".partial"));
      });
      if (path.starts_with(sealed) || ((e->mask & ~kReadOnly) != 0 && !output)) {
        events.push_back(path + " " + std::to_string(e->mask));
      }
    }
  }
  EXPECT_TRUE(n < 0 && errno == EAGAIN);
  ::close(fd);
  return events;
}

TEST(Security, RunsWriteTheirTwoOutputsOnlyReadTheirInputsAndFollowNoPathInTheData) {
  ScratchDir root;
  const std::string in = root / "in", out = root / "out", sentinel = root / "sentinel";
  for (const std::string& dir : {in, out, sentinel + "/sub"}) std::filesystem::create_directories(dir);
  WriteFile(sentinel + "/target.dat", BigEndian(PackagedT2(1, 5)));
  // Paths as the bytes of the data, between words of every layout.
  std::string paths;
  for (const std::string& p : {sentinel + "/target.dat", sentinel + "/sub/made_parsed.txt", std::string("../sentinel"),
                               "file://" + sentinel, sentinel + "/"}) {
    paths += p + std::string(4 - p.size() % 4, '\0');
  }
  std::vector<std::uint8_t> data;
  // T1 frames: head word, counts, tail word.
  const std::vector<std::uint32_t> t1 = {0xEB90BA00u, 3, 1, 4, 0xAAEEEEDD, 0xEB90BA10u, 1, 5, 9, 0xAAEEEEDD};
  for (const std::vector<std::uint32_t>& words : {QuietT2(80), PackagedT2(2, 10), t1}) {
    const std::vector<std::uint8_t> bytes = BigEndian(words);
    data.insert(data.end(), bytes.begin(), bytes.end());
    data.insert(data.end(), paths.begin(), paths.end());
  }
  WriteSplit({in + "/r_1.dat", in + "/r_2.dat", in + "/r_3.dat"}, data);
  WriteFile(in + "/notes.txt", std::string("not converted"));
  const std::vector<std::string> targets = Listing(sentinel);
  Conversion c(in + "/r_2.dat");
  c.outputDir = out;
  const std::vector<std::string> events = EventsDuring(
      {root.path().string(), in, out, sentinel, sentinel + "/sub"},
      {out + "/r_2_parsed.txt", out + "/r_2_report.txt"}, sentinel, [&] {
        for (const auto& [type, device] : kKinds) {
          c.dataType = type;
          c.deviceType = device;
          TdcFileParser parser;
          EXPECT_EQ(Convert(parser, c).status, 0);
          EXPECT_EQ(parser.files.size(), 3u);
        }
      });
  EXPECT_EQ(events, std::vector<std::string>{});
  EXPECT_EQ(Listing(out), (std::vector<std::string>{"r_2_parsed.txt", "r_2_report.txt"}));
  EXPECT_EQ(Listing(sentinel), targets);

  // kestrun-cli, writing beside its inputs.
  c.outputDir.clear();
  const std::vector<std::string> cliEvents =
      EventsDuring({root.path().string(), in}, {in + "/r_2_parsed.txt", in + "/r_2_report.txt"}, sentinel, [&] {
        const CommandResult cli = Cli("-q " + CliArguments(c));
        EXPECT_EQ(cli.exitCode, 0) << cli.err;
      });
  EXPECT_EQ(cliEvents, std::vector<std::string>{});
  EXPECT_EQ(Listing(in), (std::vector<std::string>{"notes.txt", "r_1.dat", "r_2.dat", "r_2_parsed.txt", "r_2_report.txt",
                                                    "r_3.dat"}));
}

TEST(Security, NoInputNameLeadsTheOutputsOutOfTheirDirectory) {
  ScratchDir root;
  const std::string in = root / "in", out = root / "out";
  std::filesystem::create_directories(in + "/sub");
  std::filesystem::create_directories(out);
  // Stems ".", "..", one with a backslash, one with a line break, and "." again behind "..".
  for (const std::string name : {"..dat", "...dat", "a\\b.dat", "line\nbreak.dat", "sub/../..dat"}) {
    WriteFile(in + "/" + name, BigEndian(PackagedT2(1, 3)));
    Conversion c(in + "/" + name);
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
