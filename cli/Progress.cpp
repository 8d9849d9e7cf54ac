#include "cli/Progress.h"

#include <chrono>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace cli {
namespace {

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

}  // namespace

Progress::Progress(bool enabled, std::uint64_t total)
    : enabled_(enabled && isatty(fileno(stderr))), total_(total) {}

Progress::~Progress() { Clear(); }

void Progress::Update(std::uint64_t done, const std::string& label) {
  if (!enabled_) return;
  std::uint64_t now = NowMs();
  if (drawn_ && now - lastDraw_ < 100 && done < total_) return;
  lastDraw_ = now;
  constexpr int Width = 30;
  int filled = total_ ? static_cast<int>(done * Width / total_) : Width;
  if (filled > Width) filled = Width;
  char bar[Width + 1];
  for (int i = 0; i < Width; ++i) bar[i] = i < filled ? '#' : '.';
  bar[Width] = '\0';
  unsigned percent = total_ ? static_cast<unsigned>(done * 100 / total_) : 100;
  if (percent > 100) percent = 100;
  std::string shown = label.size() > 40 ? "..." + label.substr(label.size() - 37) : label;
  std::fprintf(stderr, "\r[%s] %3u%% %-40s", bar, percent, shown.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::Clear() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r%80s\r", "");
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace cli
