#pragma once

#include <utility>

namespace quadrell {

// Owns a POSIX file descriptor: closed when the owner goes, unless the
// caller closed it first to see close's own result.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { close(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }

  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }
  // Hands the descriptor to another owner.
  int release() { return std::exchange(fd_, -1); }

  // close()'s result; true when nothing was open.
  bool close();

 private:
  int fd_ = -1;
};

}  // namespace quadrell
