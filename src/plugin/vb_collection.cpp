#include "plugin/vb_collection.h"

#include "winrules/utf8.h"

namespace tavirex {

std::string FoldCollectionKey(std::string_view key) { return UpperCase(key); }

std::size_t KeyIndex::PositionOf(std::string_view key) const {
  auto found = map_.find(FoldCollectionKey(key));
  if (found == map_.end()) throw VbError(vberr::kInvalidProcedureCall);
  return found->second;
}

void KeyIndex::Rebuild(const std::vector<std::optional<std::string>>& folded_keys,
                       std::size_t from) {
  for (std::size_t i = from; i < folded_keys.size(); ++i) {
    if (folded_keys[i]) map_[*folded_keys[i]] = i;
  }
}

}  // namespace tavirex
