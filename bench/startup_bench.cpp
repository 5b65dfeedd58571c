// Start-up: time from process start to the main window shown, and the peak
// resident memory of the whole process tree (browser processes included)
// during the first seconds, with both browsers created.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Resident memory, in KiB, of root and all its descendants.
long TreeRssKib(pid_t root) {
  std::map<pid_t, pid_t> parent;
  std::map<pid_t, long> rss;
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream status("/proc/" + std::string(entry->d_name) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("PPid:", 0) == 0) parent[pid] = std::atoi(line.c_str() + 5);
      if (line.rfind("VmRSS:", 0) == 0) rss[pid] = std::atol(line.c_str() + 6);
    }
  }
  closedir(proc);
  long total = 0;
  for (const auto& [pid, kib] : rss) {
    for (pid_t p = pid; p > 1; p = parent.count(p) ? parent[p] : 0) {
      if (p == root) {
        total += kib;
        break;
      }
    }
  }
  return total;
}

struct Run {
  double shownMs = -1;
  double peakMib = 0;
};

Run StartOnce(const std::string& binary) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) std::exit(1);
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    setenv("QUARVEL_REPORT_SHOWN", "1", 1);
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  Run run;
  std::thread reader([&] {
    FILE* out = fdopen(pipeFds[0], "r");
    char line[512];
    while (out && std::fgets(line, sizeof line, out)) {
      if (std::string(line).find("main window shown") != std::string::npos && run.shownMs < 0) {
        run.shownMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      }
    }
    if (out) std::fclose(out);
  });
  long peak = 0;
  const auto end = start + std::chrono::seconds(6);
  while (Clock::now() < end) {
    peak = std::max(peak, TreeRssKib(child));
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  reader.join();
  run.peakMib = peak / 1024.0;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = argv[0];
  const std::string binary = argc > 1 ? argv[1] : self.substr(0, self.rfind('/') + 1) + "quarvel";
  std::vector<double> times;
  double peak = 0;
  StartOnce(binary);  // warm the file cache
  for (int i = 0; i < 3; ++i) {
    const Run run = StartOnce(binary);
    times.push_back(run.shownMs);
    peak = std::max(peak, run.peakMib);
  }
  std::sort(times.begin(), times.end());
  std::printf("startup_to_main_window_shown: %.0f ms\n", times[times.size() / 2]);
  std::printf("startup_peak_memory_process_tree: %.0f MiB\n", peak);
  return 0;
}
