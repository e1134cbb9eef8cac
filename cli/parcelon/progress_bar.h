// A one-line progress bar on a terminal, for work that takes a while.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace parcelon::cli {

// Whether standard error is a terminal, and how many columns it has (80
// when it does not say).
bool ErrorIsTerminal();
size_t ErrorTerminalWidth();

class ProgressBar {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // Draws on `out` only when `enabled`, in `width` columns, once the work
  // has taken more than a second since construction, and at most ten times
  // a second. `clock` tells the time.
  ProgressBar(std::ostream& out, bool enabled, size_t width,
              Clock clock = std::chrono::steady_clock::now);

  // The entry being worked on, shown after the percentage.
  void SetName(std::u16string_view name);
  // The whole work's progress in percent.
  void Update(double percent);
  // Writes `line` and a line end, clearing the bar first.
  void Note(const std::string& line);
  // Clears the bar, when it is shown.
  void Finish();

 private:
  void Draw();

  std::ostream& out_;
  bool enabled_;
  size_t width_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point drawn_at_;
  bool shown_ = false;
  double percent_ = 0;
  std::string name_;  // escaped UTF-8
};

}  // namespace parcelon::cli
