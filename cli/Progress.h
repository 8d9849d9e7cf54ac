// A one-line progress bar on stderr, drawn only when stderr is a terminal and not silenced.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

class Progress {
 public:
  Progress(bool enabled, std::uint64_t total);
  ~Progress();
  // Shows `done` of the total with a short label; redrawn at most a few times per second.
  void Update(std::uint64_t done, const std::string& label);
  void SetTotal(std::uint64_t total) { total_ = total; }
  // Clears the line (before an error message, and at the end).
  void Clear();

 private:
  bool enabled_;
  std::uint64_t total_;
  std::uint64_t lastDraw_ = 0;
  bool drawn_ = false;
};

}  // namespace cli
