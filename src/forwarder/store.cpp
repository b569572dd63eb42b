#include "forwarder/store.h"

#include <algorithm>

#include "winrules/vb_string.h"

namespace tavirex::dicom {
namespace fs = std::filesystem;
namespace {

// The names of a path split at any of separators; empty names and "." are
// left out, ".." is refused.
std::vector<std::string> PlainNames(const std::string& path, std::string_view separators,
                                    std::size_t start = 0) {
  std::vector<std::string> names;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find_first_of(separators, start), path.size());
    std::string name = path.substr(start, end - start);
    if (name == "..") throw Refused(path + ": \"..\" leaves the store folder");
    if (!name.empty() && name != ".") names.push_back(std::move(name));
    start = end + 1;
  }
  return names;
}

fs::path Join(const std::vector<std::string>& names, std::size_t from) {
  fs::path joined;
  for (std::size_t i = from; i < names.size(); ++i) joined /= names[i];
  return joined;
}

Fd Open(const StorePath& place, bool folder) {
  Fd at = OpenRoot(place.root);
  fs::path reached = place.root;
  const std::vector<std::string> names = PlainNames(place.below.string(), kLocalSeparators);
  for (std::size_t i = 0; i < names.size(); ++i) {
    reached /= names[i];
    at = OpenEntry(at, reached, names[i], i + 1 < names.size() || folder);
  }
  if (folder ? !IsFolder(at) : !RegularFileSize(at)) {
    throw Refused(reached.string() + (folder ? ": not a folder" : ": not a regular file"));
  }
  return at;
}

}  // namespace

std::optional<StorePath> MapStorePath(const Settings& settings, const std::string& path) {
  const std::pair<std::string, fs::path>* best = nullptr;
  std::vector<std::string> names;
  std::size_t below = 0;  // where the names below the root begin
  const auto local = [&] {
    names = PlainNames(path, kLocalSeparators);
    for (const auto& entry : settings.paths) {
      const std::vector<std::string> root =
          PlainNames(entry.second.lexically_normal().string(), kLocalSeparators);
      if (root.size() <= names.size() &&
          std::equal(root.begin(), root.end(), names.begin(), SameName) &&
          (best == nullptr || root.size() > below)) {
        best = &entry;
        below = root.size();
      }
    }
    if (best == nullptr) throw Refused(path + ": outside the store folders");
    return StorePath{best->second, Join(names, below)};
  };
  for (const auto& entry : settings.paths) {
    const std::string& prefix = entry.first;
    if (path.size() <= prefix.size() || (path[prefix.size()] != '\\' && path[prefix.size()] != '/'))
      continue;
    if (!EqualsIgnoreCaseAscii(std::string_view(path).substr(0, prefix.size()), prefix)) continue;
    if (best == nullptr || prefix.size() > best->first.size()) best = &entry;
  }
  // On POSIX no prefix matches a local path: they begin with a drive or "\\".
  if (best == nullptr && IsLocalAbsolute(path)) return local();
  if (best == nullptr) return std::nullopt;
  return StorePath{best->second, Join(PlainNames(path, "\\/", best->first.size()), 0)};
}

Fd OpenStoreFile(const StorePath& place) { return Open(place, false); }
Fd OpenStoreFolder(const StorePath& place) { return Open(place, true); }

std::vector<std::string> StoreFiles(const Fd& folder, std::vector<std::string>& skipped) {
  std::vector<std::string> files;
  ListFolder(folder, files, skipped);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace tavirex::dicom
