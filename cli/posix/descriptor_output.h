// Standard output as songuploader writes it on Linux and macOS: a buffer over the descriptor that keeps the
// system's reason for the first write that failed, so "cannot write to standard output" can give it however
// long after the failure the command notices (the C library forgets it, and errno is long overwritten).
#pragma once

#include <unistd.h>

#include <cerrno>
#include <streambuf>

namespace su::cli {

class DescriptorOutput : public std::streambuf {
 public:
  explicit DescriptorOutput(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
  ~DescriptorOutput() override { sync(); }
  // errno of the first write that failed (0: none did).
  int Failure() const { return failure_; }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }
  int sync() override { return Drain() ? 0 : -1; }

 private:
  // Writes what is buffered; after a failure nothing more is written (as a stream that failed writes nothing).
  bool Drain() {
    const char* next = pbase();
    bool drained = failure_ == 0;
    while (drained && next < pptr()) {
      const ssize_t n = ::write(fd_, next, static_cast<std::size_t>(pptr() - next));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failure_ = n < 0 ? errno : EIO;
        drained = false;
        break;
      }
      next += n;
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    return drained;
  }

  int fd_;
  int failure_ = 0;
  char buffer_[1 << 14];
};

}  // namespace su::cli
