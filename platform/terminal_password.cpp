#include "platform/terminal_password.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/secret.h"

namespace platform {
namespace {

// The terminal's settings, kept from construction and put back by Restore
// and on destruction; Quiet turns echo, line editing and signal keys off.
class TerminalMode {
 public:
  explicit TerminalMode(int fd) : fd_(fd), saved_(tcgetattr(fd, &settings_) == 0) {}
  ~TerminalMode() { Restore(); }
  TerminalMode(const TerminalMode&) = delete;
  TerminalMode& operator=(const TerminalMode&) = delete;

  bool Saved() const { return saved_; }
  const termios& Settings() const { return settings_; }
  bool Quiet() {
    termios quiet = settings_;
    quiet.c_lflag &= ~tcflag_t(ECHO | ICANON | ISIG);
    quiet.c_cc[VMIN] = 1;
    quiet.c_cc[VTIME] = 0;
    return tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  void Restore() {
    if (saved_) tcsetattr(fd_, TCSAFLUSH, &settings_);
  }

 private:
  int fd_;
  termios settings_{};
  bool saved_;
};

enum class Key { kEnd, kDone, kErase, kKill, kSignal, kSuspend, kText };

Key Classify(unsigned char c, const termios& t, bool empty) {
  if (c == '\n' || c == '\r') return Key::kDone;
  if (c == t.c_cc[VINTR] || c == t.c_cc[VQUIT]) return Key::kSignal;
  if (c == t.c_cc[VSUSP]) return Key::kSuspend;
  if (c == t.c_cc[VERASE] || c == 0x7f || c == 0x08) return Key::kErase;
  if (c == t.c_cc[VKILL]) return Key::kKill;
  if (c == t.c_cc[VEOF] && empty) return Key::kEnd;
  return Key::kText;
}

// The longest password kept; further characters are dropped.
constexpr size_t kMaxPassword = 1024;

// Passes the interrupt or quit key on as its signal, with the terminal as
// it was.
void PassOnSignal(TerminalMode& mode, unsigned char c) {
  mode.Restore();
  raise(c == mode.Settings().c_cc[VINTR] ? SIGINT : SIGQUIT);
}

// Stops the process as the suspend key would, with the terminal as it was.
void Suspend(TerminalMode& mode) {
  mode.Restore();
  raise(SIGTSTP);
  mode.Quiet();  // continued
}

// Applies an editing key, or a character, to what was typed.
void Edit(Key key, unsigned char c, std::string& typed, TerminalMode& mode) {
  if (key == Key::kErase && !typed.empty()) typed.pop_back();
  if (key == Key::kKill) WipeSecret(typed);
  if (key == Key::kSuspend) Suspend(mode);
  if (key == Key::kText && typed.size() < kMaxPassword) typed.push_back(static_cast<char>(c));
}

}  // namespace

ControllingTerminal::ControllingTerminal() : fd_(open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY)) {}

std::optional<std::string> ReadTerminalPassword(int fd, std::ostream& out,
                                                const std::string& prompt) {
  TerminalMode mode(fd);
  if (isatty(fd) == 0 || !mode.Saved() || !mode.Quiet()) return std::nullopt;
  out << prompt << std::flush;
  // Kept large enough that typing never moves it, and wiped on every way
  // out; only the copy handed over survives.
  std::string typed;
  typed.reserve(kMaxPassword);
  const WipedOnExit wiped(typed);
  for (;;) {
    unsigned char c = 0;
    if (read(fd, &c, 1) <= 0) return std::nullopt;  // end, failure or a stop signal (EINTR)
    const Key key = Classify(c, mode.Settings(), typed.empty());
    if (key == Key::kDone) return std::string(typed);
    if (key == Key::kEnd) return std::nullopt;
    if (key == Key::kSignal) return PassOnSignal(mode, c), std::nullopt;
    Edit(key, c, typed, mode);
  }
}

}  // namespace platform
