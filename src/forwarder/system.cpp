#include "forwarder/system.h"

#include "forwarder/store.h"

#ifdef _WIN32
#include "forwarder/win32/system.inc"

#include "forwarder/win32/service.inc"  // on system.inc
#else
#include "forwarder/posix/system.inc"
#endif

namespace tavirex::dicom {

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (valid()) CloseNative(fd_);
    fd_ = std::exchange(other.fd_, NoFile());
  }
  return *this;
}

Fd::~Fd() {
  if (valid()) CloseNative(fd_);
}

}  // namespace tavirex::dicom
