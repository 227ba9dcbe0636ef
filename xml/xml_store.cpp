// The arena and the table of distinct strings of a loaded document.
#include "xml/xml_store.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <random>

namespace recaster::xml {
namespace {

constexpr std::size_t kAlign = 8;
constexpr std::size_t kLargestChunk = 1u << 20;

__extension__ typedef unsigned __int128 Wide;

// The two halves of the full product, folded: every bit of either factor moves every bit of the result.
std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
  const Wide product = static_cast<Wide>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

template <typename Word>
Word Load(const char* bytes) {
  Word word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Three secrets per process.
const std::uint64_t* ProcessSeeds() {
  static const auto seeds = [] {
    std::random_device device;
    std::array<std::uint64_t, 3> made{};
    for (std::uint64_t& seed : made) seed = (std::uint64_t{device()} << 32) ^ device();
    return made;
  }();
  return seeds.data();
}

}  // namespace

void* Arena::Allocate(std::size_t bytes) {
  bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
  if (bytes > left_) {
    // A large request gets a chunk of its own, so the room left in the current one is not lost.
    if (bytes > chunk_size_ / 4) {
      chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(bytes));
      return chunks_.back().get();
    }
    chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(chunk_size_));
    next_ = chunks_.back().get();
    left_ = chunk_size_;
    chunk_size_ = std::min(chunk_size_ * 2, kLargestChunk);
  }
  void* memory = next_;
  next_ += bytes;
  left_ -= bytes;
  return memory;
}

const char16_t* Arena::Copy(Units units) {
  if (units.empty()) return u"";
  auto* copy = static_cast<char16_t*>(Allocate(2 * units.size()));
  units.CopyTo(copy);
  return copy;
}

StringTable::StringTable() : slots_(1024) {}

// Sixteen bytes at a time, each half mixed with its own secret, so that no word of a name can cancel
// the other out; a short name is one mix.
std::uint64_t HashUnits(Units units) {
  const std::uint64_t* const seed_ = ProcessSeeds();
  const char* bytes = units.bytes();
  const std::size_t size = 2 * units.size();
  std::uint64_t hash = seed_[0] ^ size;
  if (size <= 16) {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    if (size >= 8) {
      first = Load<std::uint64_t>(bytes);
      last = Load<std::uint64_t>(bytes + size - 8);
    } else if (size >= 4) {
      first = std::uint64_t{Load<std::uint32_t>(bytes)} << 32 | Load<std::uint32_t>(bytes + size - 4);
    } else if (size == 2) {
      first = Load<std::uint16_t>(bytes);
    }
    return Mix(first ^ hash, last ^ seed_[1]);
  }
  std::size_t i = 0;
  for (; i + 16 < size; i += 16) {
    hash = Mix(Load<std::uint64_t>(bytes + i) ^ hash, Load<std::uint64_t>(bytes + i + 8) ^ seed_[1]);
  }
  return Mix(Load<std::uint64_t>(bytes + size - 16) ^ hash, Load<std::uint64_t>(bytes + size - 8) ^ seed_[2]);
}

StringTable::Slot& StringTable::SlotFor(Units units, std::uint32_t hash) {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.index == 0) return slot;
    if (slot.hash == hash) {
      const std::u16string& text = At(slot.index - 1).text;
      if (units.Equals(text.data(), text.size())) return slot;
    }
  }
}

StoredString* StringTable::FindInTable(Units units) {
  const Slot& slot = SlotFor(units, static_cast<std::uint32_t>(HashUnits(units)));
  return slot.index == 0 ? nullptr : &At(slot.index - 1);
}

StoredString& StringTable::InternInTable(Units units) {
  const auto hash = static_cast<std::uint32_t>(HashUnits(units));
  Slot* slot = &SlotFor(units, hash);
  if (slot->index != 0) return At(slot->index - 1);
  if (2 * (count_ + 1) > slots_.size()) {
    Grow();
    slot = &SlotFor(units, hash);
  }
  if (count_ % kBlock == 0) blocks_.push_back(std::make_unique<StoredString[]>(kBlock));
  StoredString& stored = At(count_);
  stored.text.assign(units.size(), u'\0');
  units.CopyTo(stored.text.data());
  *slot = Slot{hash, ++count_};
  return stored;
}

void StringTable::Grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.index == 0) continue;
    std::size_t i = slot.hash & mask;
    while (slots_[i].index != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

}  // namespace recaster::xml
