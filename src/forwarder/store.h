// The store folders as the forwarder reads them: only regular files below a
// store root (the local folders of [paths]), reached from the root one name
// at a time without following a symbolic link, each opened once. A root
// itself is taken as the administrator wrote it.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "forwarder/settings.h"
#include "forwarder/system.h"

namespace tavirex::dicom {

// A file that cannot become an instance (outside the store, unreadable, not
// an image the archive takes, not a stored name): its job goes to failed/
// with this reason.
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A folder or file on the way is not there: a share may not be mounted yet.
class NotThere : public Refused {
 public:
  using Refused::Refused;
};

// A place below a store root: the root as configured and the plain names
// below it (none of them empty, "." or "..").
struct StorePath {
  std::filesystem::path root;
  std::filesystem::path below;
  std::filesystem::path Local() const { return below.empty() ? root : root / below; }
  std::string Name() const { return below.filename().string(); }
};

// Where a path from a job or the command line is on this machine: a Windows
// path by the longest [paths] prefix (compared without regard to case, ending
// at "\" or "/"), a local absolute path by the root it lies in. On Windows a
// path no prefix maps is local as it is (a share's, or the workstation's own).
// nullopt when no [paths] entry maps a path that is not local; Refused for a
// name that leaves its root and for a local path outside every root.
std::optional<StorePath> MapStorePath(const Settings& settings, const std::string& path);

// The regular file at place, or the folder; Refused (NotThere when a name is
// missing) for a symbolic link or anything else on the way.
Fd OpenStoreFile(const StorePath& place);
Fd OpenStoreFolder(const StorePath& place);

// The regular files of an open store folder, sorted; its symbolic links and
// other non-folders in skipped as "name: reason". Subfolders are left out.
std::vector<std::string> StoreFiles(const Fd& folder, std::vector<std::string>& skipped);

}  // namespace tavirex::dicom
