// The engine's records: state names, the sample queue, the record builders, the stand-type
// rule and the two tables with their indexes by hexid and by object id.
#include "records/records.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

#include "foundation/geodesy.hpp"
#include "foundation/random.hpp"
#include "records/category_tables.hpp"

std::vector<LiveAc> liveAcTable;
std::vector<AcBase> staticAcTable;

std::string_view gf_simStateName(SimState state) {
  static constexpr std::array<std::string_view, 5> names{"buffer", "adding2sim", "active",
                                                         "liveryrespawn", "removingfromsim"};
  const auto index = static_cast<std::size_t>(state);
  return index < names.size() ? names[index] : std::string_view("?");
}

std::string_view gf_flightStateName(FlightState state) {
  static constexpr std::array<std::string_view, 8> names{
      "pushing_back", "pushed_back", "taxi", "take_off", "flying", "parking", "parked", "birth"};
  const auto index = static_cast<std::size_t>(state);
  return index < names.size() ? names[index] : std::string_view("?");
}

// ---------------------------------------------------------------------------------------------
// SampleQueue

void SampleQueue::compact() {
  if (head_ == 0) return;
  std::move(buf_.begin() + static_cast<std::ptrdiff_t>(head_), buf_.end(), buf_.begin());
  buf_.resize(buf_.size() - head_);
  head_ = 0;
}

void SampleQueue::push_back(const PositionSample& sample) {
  // Reuse the room before the head rather than growing the storage.
  if (head_ > 0 && buf_.size() == buf_.capacity()) compact();
  buf_.push_back(sample);
}

void SampleQueue::push_front(const PositionSample& sample) {
  if (head_ > 0) {
    buf_[--head_] = sample;
  } else {
    buf_.insert(buf_.begin(), sample);
  }
}

void SampleQueue::pop_front() {
  if (empty()) return;
  if (++head_ == buf_.size()) clear();
}

void SampleQueue::pop_back() {
  if (empty()) return;
  buf_.pop_back();
  if (empty()) clear();
}

SampleQueue::iterator SampleQueue::insert(iterator position, const PositionSample& sample) {
  return buf_.insert(position, sample);
}

SampleQueue::iterator SampleQueue::erase(iterator first, iterator last) {
  auto next = buf_.erase(first, last);
  if (empty()) {
    clear();
    return end();
  }
  return next;
}

void SampleQueue::truncate(std::size_t count) {
  if (count < size()) buf_.resize(head_ + count);
  if (empty()) clear();
}

void SampleQueue::clear() {
  buf_.clear();
  head_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Records

LiveAc::LiveAc(AcBase&& record, const PositionSample& firstSample, double timestamp)
    : AcBase(std::move(record)) {
  objectId = 0;
  standLatitude = standLongitude = standHeading = 0.0;
  parkingStart = 0;
  standId = 0;
  simState = SimState::buffer;
  lastThrottle = 5;
  lastFlaps = 4;
  cargoStand = removeWhenCreated = remove = removed = 0;
  handOverCycle = 0;
  lastReportTime = timestamp;
  samples.reserve(8);
  samples.push_back(firstSample);
}

AcBase gf_buildRecord(const AcIdentity& identity) {
  AcBase record;
  static_cast<AcIdentity&>(record) = identity;
  const std::uint16_t model = identity.codes.modelId;
  record.radius = hwsp(model);
  // An unknown span is taken as the largest one: safe for every distance test.
  if (record.radius <= 0.0) record.radius = maxHalfWingSpan;
  record.category = gf_modelCategory(model);
  const CategoryValues& values = gf_categoryValues(record.category);
  record.flareCycles = values.flareCycles;
  record.touchdownCycles = values.touchdownCycles;
  record.rotationCycles = values.rotationCycles;
  record.climbOutCycles = values.climbOutCycles;
  record.takeOffPitch = gf_randomPlusMinusPercent(values.takeOffPitchDeg, 2.5) * degToRad;
  record.climbOutPitch = gf_randomPlusMinusPercent(values.climbOutPitchDeg, 5.0) * degToRad;
  record.groundTurnRate = values.groundTurnRateDeg * degToRad;
  return record;
}

AcBase gf_makeStaticAc(AcBase&& record, std::int32_t standId, double standLatitude,
                       double standLongitude, double standHeading, std::uint8_t cargoStand) {
  AcBase ac(std::move(record));
  ac.standId = standId;
  ac.standLatitude = standLatitude;
  ac.standLongitude = standLongitude;
  ac.standHeading = standHeading;
  ac.cargoStand = cargoStand;
  ac.objectId = 0;
  ac.parkingStart = 0;
  ac.simState = SimState::buffer;
  ac.lastThrottle = 5;
  ac.lastFlaps = 4;
  ac.removeWhenCreated = ac.remove = ac.removed = 0;
  ac.handOverCycle = 0;
  return ac;
}

bool gf_standFitsCategory(std::int32_t standType, AcCategory category) {
  using C = AcCategory;
  const auto bit = [](C c) { return 1u << static_cast<unsigned>(c); };
  // Categories that fit, by stand type 0..15.
  static const std::array<unsigned, 16> fits{
      0u,                                                // 0
      bit(C::Light),                                     // 1
      bit(C::Light),                                     // 2
      bit(C::Light) | bit(C::Buzjets) | bit(C::HighPerf),  // 3
      bit(C::Buzjets) | bit(C::Large),                   // 4
      bit(C::Large) | bit(C::Heavy),                     // 5
      bit(C::Large) | bit(C::Heavy),                     // 6
      bit(C::HighPerf),                                  // 7
      bit(C::Buzjets) | bit(C::Large),                   // 8
      bit(C::Large),                                     // 9
      bit(C::Heavy),                                     // 10
      bit(C::Light) | bit(C::Rotorcraft),                // 11
      0x3Fu,                                             // 12: all
      0u,                                                // 13
      bit(C::Light) | bit(C::HighPerf),                  // 14
      bit(C::Large) | bit(C::Heavy),                     // 15
  };
  if (standType < 0 || standType >= static_cast<std::int32_t>(fits.size())) return false;
  const auto c = static_cast<unsigned>(category);
  return c < 6 && (fits[static_cast<std::size_t>(standType)] & (1u << c)) != 0;
}

// ---------------------------------------------------------------------------------------------
// Tables and indexes

namespace {

// Key -> position, open addressing with linear probing; no allocation once grown.
class FlatIndex {
 public:
  static constexpr std::uint32_t none = 0xFFFFFFFFu;

  void clear() { std::fill(slots_.begin(), slots_.end(), Slot{}); used_ = 0; }

  void put(std::uint32_t key, std::uint32_t position) {
    if (key == none) return;
    if ((used_ + 1) * 2 > slots_.size()) grow();
    std::size_t i = slotOf(key);
    while (slots_[i].key != none && slots_[i].key != key) i = (i + 1) & mask();
    if (slots_[i].key == none) ++used_;
    slots_[i] = Slot{key, position};
  }

  // Removes the key (backward-shift deletion: no tombstones, lookups stay short).
  void erase(std::uint32_t key) {
    if (slots_.empty() || key == none) return;
    std::size_t hole = slotOf(key);
    while (slots_[hole].key != key) {
      if (slots_[hole].key == none) return;
      hole = (hole + 1) & mask();
    }
    for (std::size_t next = (hole + 1) & mask(); slots_[next].key != none; next = (next + 1) & mask()) {
      // An entry whose home slot lies cyclically in (hole, next] stays where it is.
      const std::size_t home = slotOf(slots_[next].key);
      const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
      if (stays) continue;
      slots_[hole] = slots_[next];
      hole = next;
    }
    slots_[hole] = Slot{};
    --used_;
  }

  std::uint32_t get(std::uint32_t key) const {
    if (slots_.empty() || key == none) return none;
    std::size_t i = slotOf(key);
    while (slots_[i].key != none) {
      if (slots_[i].key == key) return slots_[i].position;
      i = (i + 1) & mask();
    }
    return none;
  }

  void reserve(std::size_t count) {
    if (slots_.size() < count * 2) rehash(std::bit_ceil(count * 2));
  }

 private:
  struct Slot {
    std::uint32_t key = none;
    std::uint32_t position = none;
  };

  std::size_t mask() const { return slots_.size() - 1; }
  std::size_t slotOf(std::uint32_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B1u) >> 7) & mask();
  }
  void grow() { rehash(slots_.empty() ? 1024 : slots_.size() * 2); }
  void rehash(std::size_t size) {
    std::vector<Slot> old(size);
    old.swap(slots_);
    used_ = 0;
    for (const Slot& slot : old)
      if (slot.key != none) put(slot.key, slot.position);
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

template <typename Record>
struct TableIndex {
  explicit TableIndex(std::vector<Record>& records) : table(records) {}

  std::vector<Record>& table;
  FlatIndex byHexid;
  FlatIndex byObjectId;
  const Record* indexedData = nullptr;
  std::size_t indexedSize = 0;

  void add(std::size_t position) {
    const Record& record = table[position];
    byHexid.put(record.hexid, static_cast<std::uint32_t>(position));
    if (record.objectId != 0) byObjectId.put(record.objectId, static_cast<std::uint32_t>(position));
    indexedData = table.data();
    indexedSize = table.size();
  }

  void rebuild() {
    byHexid.reserve(table.size());
    byObjectId.reserve(table.size());
    byHexid.clear();
    byObjectId.clear();
    for (std::size_t i = 0; i < table.size(); ++i) {
      byHexid.put(table[i].hexid, static_cast<std::uint32_t>(i));
      if (table[i].objectId != 0) byObjectId.put(table[i].objectId, static_cast<std::uint32_t>(i));
    }
    indexedData = table.data();
    indexedSize = table.size();
  }

  // A table changed behind the index's back (size or storage) is indexed again.
  void check() {
    if (indexedSize != table.size() || (indexedData != table.data() && !table.empty())) rebuild();
  }

  Record* find(FlatIndex& index, std::uint32_t key, std::uint32_t Record::*field) {
    if (key == FlatIndex::none) return nullptr;
    check();
    std::uint32_t position = index.get(key);
    if (position != FlatIndex::none &&
        (position >= table.size() || table[position].*field != key)) {
      rebuild();  // stale entry: the record moved or changed its key
      position = index.get(key);
    }
    if (position == FlatIndex::none || position >= table.size() || table[position].*field != key)
      return nullptr;
    return &table[position];
  }
};

TableIndex<LiveAc> liveIndex(liveAcTable);
TableIndex<AcBase> staticIndex(staticAcTable);

// Erases one record, the last one taking its place; the indexes are updated in place (a result
// of the simulator erases one record, which must not cost a pass over the table).
template <typename Record>
void lf_erase(TableIndex<Record>& index, std::size_t position) {
  auto& table = index.table;
  if (position >= table.size()) return;
  index.check();
  const auto at = static_cast<std::uint32_t>(position);
  const auto forget = [at](FlatIndex& keys, std::uint32_t key) {
    if (keys.get(key) == at) keys.erase(key);
  };
  forget(index.byHexid, table[position].hexid);
  if (table[position].objectId != 0) forget(index.byObjectId, table[position].objectId);
  const std::size_t last = table.size() - 1;
  if (position != last) {
    forget(index.byHexid, table[last].hexid);
    if (table[last].objectId != 0) forget(index.byObjectId, table[last].objectId);
    table[position] = std::move(table[last]);
    index.byHexid.put(table[position].hexid, at);
    if (table[position].objectId != 0) index.byObjectId.put(table[position].objectId, at);
  }
  table.pop_back();
  index.indexedData = table.data();
  index.indexedSize = table.size();
}

template <typename Record>
Record& lf_append(TableIndex<Record>& index, Record&& record) {
  index.check();
  index.table.push_back(std::move(record));
  if (index.indexedData != index.table.data()) {
    index.rebuild();
  } else {
    index.add(index.table.size() - 1);
  }
  return index.table.back();
}

}  // namespace

LiveAc& gf_appendLiveAc(LiveAc&& record) { return lf_append(liveIndex, std::move(record)); }
AcBase& gf_appendStaticAc(AcBase&& record) { return lf_append(staticIndex, std::move(record)); }

LiveAc* gf_findLiveAc(std::uint32_t hexid) {
  return liveIndex.find(liveIndex.byHexid, hexid, &AcBase::hexid);
}
LiveAc* gf_findLiveAcByObjectId(std::uint32_t objectId) {
  if (objectId == 0) return nullptr;
  return liveIndex.find(liveIndex.byObjectId, objectId, &AcBase::objectId);
}
AcBase* gf_findStaticAc(std::uint32_t hexid) {
  return staticIndex.find(staticIndex.byHexid, hexid, &AcBase::hexid);
}
AcBase* gf_findStaticAcByObjectId(std::uint32_t objectId) {
  if (objectId == 0) return nullptr;
  return staticIndex.find(staticIndex.byObjectId, objectId, &AcBase::objectId);
}

void gf_indexObjectId(const AcBase& record) {
  if (record.objectId == 0) return;
  if (record.isStatic()) {
    staticIndex.check();
    if (AcBase* found = gf_findStaticAc(record.hexid))
      staticIndex.byObjectId.put(record.objectId,
                                 static_cast<std::uint32_t>(found - staticAcTable.data()));
  } else {
    liveIndex.check();
    if (LiveAc* found = gf_findLiveAc(record.hexid))
      liveIndex.byObjectId.put(record.objectId,
                               static_cast<std::uint32_t>(found - liveAcTable.data()));
  }
}

void gf_compactLiveAcTable() {
  const auto gone = std::remove_if(liveAcTable.begin(), liveAcTable.end(), [](const LiveAc& ac) {
    return ac.remove != 0 || ac.removed != 0;
  });
  if (gone == liveAcTable.end()) return;
  liveAcTable.erase(gone, liveAcTable.end());
  liveIndex.rebuild();
}

void gf_compactStaticAcTable() {
  const auto gone = std::remove_if(staticAcTable.begin(), staticAcTable.end(),
                                   [](const AcBase& ac) { return ac.removed != 0; });
  if (gone == staticAcTable.end()) return;
  staticAcTable.erase(gone, staticAcTable.end());
  staticIndex.rebuild();
}

void lf_eraseLiveAc(std::size_t index) { lf_erase(liveIndex, index); }
void gf_eraseStaticAc(std::size_t index) { lf_erase(staticIndex, index); }

void gf_clearAcTables() {
  liveAcTable.clear();
  staticAcTable.clear();
  liveIndex.rebuild();
  staticIndex.rebuild();
}
