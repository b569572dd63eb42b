// The archive: one association at a time, opened on the first instance and
// kept for the ones that follow (DCMTK's storage SCU, over TLS when set).
#pragma once

#include <memory>
#include <stdexcept>

#include "forwarder/instance.h"
#include "forwarder/settings.h"

namespace tavirex::dicom {

// The archive cannot be reached: the job stays and is tried again later.
class Unreachable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The archive answered, and will not store the instance however often it is
// asked: it takes no such class or transfer syntax, or its status said no
// (other than "out of resources", which is Unreachable).
class Rejected : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Archive {
 public:
  explicit Archive(const Settings& settings);
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Returns when the archive confirmed the instance; throws Unreachable or
  // Rejected.
  void Store(Instance instance);
  // Releases the association, if one is open.
  void Close();

 private:
  class Scu;
  [[noreturn]] void Refuse(const std::string& sop_class) const;
  const Settings& settings_;
  std::unique_ptr<Scu> scu_;
};

}  // namespace tavirex::dicom
