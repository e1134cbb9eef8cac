#include "cli/parcelon/progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "cli/parcelon/text_format.h"

namespace parcelon::cli {
namespace {

constexpr size_t kBarCells = 20;
constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

// The last `room` bytes of `text`, not starting inside a UTF-8 sequence.
std::string_view Tail(std::string_view text, size_t room) {
  if (text.size() <= room) return text;
  size_t start = text.size() - room;
  while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
  return text.substr(start);
}

}  // namespace

bool ErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

size_t ErrorTerminalWidth() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

ProgressBar::ProgressBar(std::ostream& out, bool enabled, size_t width, Clock clock)
    : out_(out),
      enabled_(enabled),
      width_(std::max<size_t>(width, kBarCells + 10)),
      clock_(std::move(clock)),
      start_(clock_()) {}

void ProgressBar::SetName(std::u16string_view name) {
  name_.clear();
  AppendEscapedName(name_, name);
}

void ProgressBar::Update(double percent) {
  percent_ = std::clamp(percent, 0.0, 100.0);
  if (!enabled_) return;
  const auto now = clock_();
  if (now - start_ <= kQuietStart || (shown_ && now - drawn_at_ < kRedrawEvery)) return;
  drawn_at_ = now;
  Draw();
}

// "[#########...........]  45% name", padded to the line's width less one
// column, so that the cursor never wraps.
void ProgressBar::Draw() {
  const auto filled = static_cast<size_t>(percent_ / 100 * kBarCells);
  std::string line = "\r[" + std::string(filled, '#') + std::string(kBarCells - filled, '.') + "] ";
  std::string number = std::to_string(static_cast<int>(percent_));
  line += std::string(3 - number.size(), ' ') + number + "% ";
  const size_t used = line.size() - 1;
  line += Tail(name_, width_ - 1 - used);
  if (line.size() < width_) line.append(width_ - line.size(), ' ');
  out_ << line << std::flush;
  shown_ = true;
}

void ProgressBar::Note(const std::string& line) {
  Finish();
  out_ << line << '\n' << std::flush;
}

void ProgressBar::Finish() {
  if (!shown_) return;
  out_ << '\r' << std::string(width_ - 1, ' ') << '\r' << std::flush;
  shown_ = false;
}

}  // namespace parcelon::cli
