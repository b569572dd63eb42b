#include "interface/vb_collection.h"

namespace tavirex {

std::string FoldCollectionKey(std::string_view key) {
  std::string folded(key);
  for (char& c : folded) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 'A' && byte <= 'Z') {
      byte = static_cast<unsigned char>(byte + ('a' - 'A'));
    } else if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) {
      byte = static_cast<unsigned char>(byte + 0x20);  // À..Þ to à..þ, not ×
    } else if (byte == 0x8A || byte == 0x8C || byte == 0x8E) {
      byte = static_cast<unsigned char>(byte + 0x10);  // Š Œ Ž to š œ ž
    } else if (byte == 0x9F) {
      byte = 0xFF;  // Ÿ to ÿ
    }
    c = static_cast<char>(byte);
  }
  return folded;
}

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
