// A file descriptor with one owner, and the one loop that repeats a system
// call a signal interrupted.
#ifndef OSTREL_PLATFORM_DESCRIPTOR_H_
#define OSTREL_PLATFORM_DESCRIPTOR_H_

#include <cerrno>
#include <string_view>
#include <utility>

namespace ostrel {

// Owns an open descriptor (or none, -1) and closes it when it goes.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  Descriptor(Descriptor&& other) noexcept : descriptor_(other.Release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      Close();
      descriptor_ = other.Release();
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Close(); }

  int get() const { return descriptor_; }
  bool is_open() const { return descriptor_ >= 0; }
  // Hands the descriptor to a new owner, who closes it; this one holds none.
  int Release() { return std::exchange(descriptor_, -1); }
  // Closes it, if open, without looking at the result: for descriptors only
  // read from, or written to where a failure is being reported already.
  void Close();
  // Closes it and raises a PosixError naming `what` when closing fails,
  // which can mean written data was lost.
  void CloseChecked(std::string_view what);

 private:
  int descriptor_ = -1;
};

// Calls `system_call` until it returns anything but a failure (a negative
// value) with errno EINTR, and returns that. Async-signal-safe when
// `system_call` is.
template <typename SystemCall>
auto RetryOnInterrupt(SystemCall system_call) {
  for (;;) {
    const auto result = system_call();
    if (!(result < 0 && errno == EINTR)) {
      return result;
    }
  }
}

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_DESCRIPTOR_H_
