// VB's Collection: items in order, each with an optional string key. Keys
// compare without regard to case; a second item with an equal key is error
// 457. Positions are 1-based; a position out of range is error 9 and a key
// that is not there error 5, as a VB Collection raises them.
//
// Keys are UTF-8 text; the letters UpperCaseOf knows fold to one case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "winrules/vb_error.h"

namespace tavirex {

// The key of a collection item folded to one case: two keys are the same key
// when their folded forms are equal.
std::string FoldCollectionKey(std::string_view key);

// Where a collection item goes, as VB's Add(..., Before, After) says it: at
// the end, or before or after the item at a 1-based position or with a key.
struct CollectionPlace {
  enum class Relation { kEnd, kBefore, kAfter };
  Relation relation = Relation::kEnd;
  std::optional<std::int32_t> position;
  std::optional<std::string> key;
};

// Maps folded keys to 0-based positions. Shared by every collection type.
class KeyIndex {
 public:
  bool Contains(std::string_view key) const { return map_.count(FoldCollectionKey(key)) != 0; }
  // The 0-based position of the item with the key; 5 when there is none.
  std::size_t PositionOf(std::string_view key) const;
  // Renumbers the items from 0-based position `from` on, after an insertion
  // or removal there; `folded_keys` holds each item's folded key, if any.
  void Rebuild(const std::vector<std::optional<std::string>>& folded_keys, std::size_t from);
  void Insert(const std::string& folded_key, std::size_t position) {
    map_.emplace(folded_key, position);
  }
  void Erase(const std::string& folded_key) { map_.erase(folded_key); }
  void Clear() { map_.clear(); }

 private:
  std::unordered_map<std::string, std::size_t> map_;
};

template <typename T>
class VbCollection {
 public:
  std::size_t Count() const { return items_.size(); }

  // Adds `item`; with a key already present raises 457 and changes nothing.
  void Add(T item, const std::optional<std::string>& key = std::nullopt,
           const CollectionPlace& place = {}) {
    std::optional<std::string> folded;
    if (key) {
      folded = FoldCollectionKey(*key);
      if (index_.Contains(*key)) throw VbError(vberr::kDuplicateKey);
    }
    std::size_t at = items_.size();
    if (place.relation != CollectionPlace::Relation::kEnd) {
      // Before or after an existing item: positions out of range are 5 here,
      // as VB's Add raises them.
      std::size_t anchor = ResolvePlace(place);
      at = place.relation == CollectionPlace::Relation::kBefore ? anchor : anchor + 1;
    }
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    folded_keys_.insert(folded_keys_.begin() + static_cast<std::ptrdiff_t>(at), folded);
    if (at + 1 == items_.size()) {
      if (folded) index_.Insert(*folded, at);
    } else {
      index_.Rebuild(folded_keys_, at);
    }
  }

  // 1-based position; 9 out of range.
  const T& Item(std::int64_t position) const { return items_[IndexOf(position)]; }
  T& Item(std::int64_t position) { return items_[IndexOf(position)]; }
  // By key; 5 when no item has it.
  const T& Item(std::string_view key) const { return items_[index_.PositionOf(key)]; }

  void Remove(std::int64_t position) { RemoveAt(IndexOf(position)); }
  void Remove(std::string_view key) { RemoveAt(index_.PositionOf(key)); }

  bool ContainsKey(std::string_view key) const { return index_.Contains(key); }

  const std::vector<T>& items() const { return items_; }
  typename std::vector<T>::const_iterator begin() const { return items_.begin(); }
  typename std::vector<T>::const_iterator end() const { return items_.end(); }

 private:
  std::size_t IndexOf(std::int64_t position) const {
    if (position < 1 || static_cast<std::uint64_t>(position) > items_.size()) {
      throw VbError(vberr::kSubscriptOutOfRange);
    }
    return static_cast<std::size_t>(position - 1);
  }

  std::size_t ResolvePlace(const CollectionPlace& place) const {
    if (place.key) return index_.PositionOf(*place.key);
    std::int64_t position = place.position.value_or(0);
    if (position < 1 || static_cast<std::uint64_t>(position) > items_.size()) {
      throw VbError(vberr::kInvalidProcedureCall);
    }
    return static_cast<std::size_t>(position - 1);
  }

  void RemoveAt(std::size_t at) {
    if (folded_keys_[at]) index_.Erase(*folded_keys_[at]);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
    folded_keys_.erase(folded_keys_.begin() + static_cast<std::ptrdiff_t>(at));
    index_.Rebuild(folded_keys_, at);
  }

  std::vector<T> items_;
  std::vector<std::optional<std::string>> folded_keys_;
  KeyIndex index_;
};

}  // namespace tavirex
