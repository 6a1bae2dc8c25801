#include "snapshot.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace k3 {

uint32_t patternGroups(std::string_view t) {
    uint32_t bits = 0;
    for (size_t i = 0; i + 2 < t.size(); ++i) {
        char r = t[i], x = t[i + 1], v = t[i + 2];
        if (x == 'X' && r >= '1' && r <= '3' && v >= '0' && v <= '9') bits |= 1u << ((r - '1') * 10 + (v - '0'));
    }
    return bits;
}

DrawValues drawValues(const DerivedDraw& d) {
    DrawValues r;
    for (int t = 0; t < kTypeCount; ++t) {
        for (int p = 0; p < 3; ++p) r.v[t][p] = static_cast<int8_t>(d.values[t][p]);
        r.groups[t] = patternGroups(d.pattern[t]);
    }
    return r;
}

size_t SnapshotValues::Hash::operator()(const DrawValues& v) const {
    uint64_t a = 0, b = 0;
    std::memcpy(&a, v.v.data(), 8);
    std::memcpy(&b, reinterpret_cast<const char*>(v.v.data()) + 8, 4);
    uint64_t h = a * 0x9E3779B97F4A7C15ull ^ b;
    for (uint32_t g : v.groups) h = (h ^ g) * 0xFF51AFD7ED558CCDull;
    return static_cast<size_t>(h ^ (h >> 29));
}

uint32_t SnapshotValues::add(const DrawValues& v) {
    const auto& d = v.v[kNumber];
    size_t slot;
    if (validDie(d[0]) && validDie(d[1]) && validDie(d[2])) {
        slot = static_cast<size_t>((d[0] - 1) * 36 + (d[1] - 1) * 6 + d[2] - 1);
    } else {
        uint32_t g = v.groups[0] ^ (v.groups[1] << 3) ^ (v.groups[2] << 6) ^ (v.groups[3] << 9);
        g ^= g >> 13;
        g ^= g >> 7;
        slot = 216 + (g & 255u);
    }
    uint32_t& recent = recent_[slot];
    if (recent != ~0u && distinct[recent] == v) return recent;
    recent = lookup(v);
    return recent;
}

uint32_t SnapshotValues::lookup(const DrawValues& v) {
    if (distinct.size() * 2 >= slots_.size()) {
        // Grow (and at first make) the table; it stays at most half full.
        slots_.assign(std::max<size_t>(64, slots_.size() * 2), ~0u);
        const size_t mask = slots_.size() - 1;
        for (uint32_t k = 0; k < distinct.size(); ++k) {
            size_t s = Hash{}(distinct[k]) & mask;
            while (slots_[s] != ~0u) s = (s + 1) & mask;
            slots_[s] = k;
        }
    }
    const size_t mask = slots_.size() - 1;
    size_t s = Hash{}(v)&mask;
    while (slots_[s] != ~0u) {
        if (distinct[slots_[s]] == v) return slots_[s];
        s = (s + 1) & mask;
    }
    slots_[s] = static_cast<uint32_t>(distinct.size());
    distinct.push_back(v);
    return slots_[s];
}

int SnapRow::TypeValues::operator[](size_t pos0) const { return s_->value(row_, type_, static_cast<int>(pos0) + 1); }

Snapshot::ValuesFuture readyValues(std::shared_ptr<const SnapshotValues> v) {
    std::promise<std::shared_ptr<const SnapshotValues>> p;
    p.set_value(std::move(v));
    return p.get_future().share();
}

Snapshot::Snapshot() {
    auto none = std::make_shared<SnapshotValues>();
    none->parts = kAllParts;
    values_ = readValues_ = readyValues(std::move(none));
}

Snapshot::Snapshot(std::vector<int32_t> issues, std::vector<int32_t> ranks, std::vector<Dice> newestDice,
                   ValuesFuture values)
    : issues_(std::move(issues)),
      ranks_(std::move(ranks)),
      newestDice_(std::move(newestDice)),
      newestFrom_(issues_.size() - std::min(newestDice_.size(), issues_.size())),
      values_(std::move(values)),
      readValues_(values_) {}

Snapshot::Snapshot(const Snapshot& o)
    : issues_(o.issues_),
      ranks_(o.ranks_),
      newestDice_(o.newestDice_),
      newestFrom_(o.newestFrom_),
      values_(o.values_),
      readValues_(o.readValues_),
      appended_(o.appended_),
      token_(o.token_) {}

Snapshot::Snapshot(Snapshot&& o) noexcept
    : issues_(std::move(o.issues_)),
      ranks_(std::move(o.ranks_)),
      newestDice_(std::move(o.newestDice_)),
      newestFrom_(o.newestFrom_),
      values_(std::move(o.values_)),
      readValues_(std::move(o.readValues_)),
      appended_(std::move(o.appended_)),
      token_(o.token_) {}

Snapshot& Snapshot::operator=(Snapshot o) noexcept {
    issues_ = std::move(o.issues_);
    ranks_ = std::move(o.ranks_);
    newestDice_ = std::move(o.newestDice_);
    newestFrom_ = o.newestFrom_;
    values_ = std::move(o.values_);
    readValues_ = std::move(o.readValues_);
    appended_ = std::move(o.appended_);
    token_ = o.token_;
    return *this;
}

std::optional<size_t> Snapshot::find(int64_t sqqh) const {
    auto it = std::lower_bound(issues_.begin(), issues_.end(), sqqh);
    if (it == issues_.end() || *it != sqqh) return std::nullopt;
    return static_cast<size_t>(it - issues_.begin());
}

const SnapshotValues& Snapshot::values() const {
    const SnapshotValues& v = *values_.get();
    if (v.index.size() != size()) throw std::logic_error("the snapshot's values do not fit its draws");
    return v;
}

bool Snapshot::valuesFailed() const {
    if (!valuesReady()) return false;
    try {
        values_.get();
        return false;
    } catch (...) {
        return true;
    }
}

bool Snapshot::valuesReady() const { return values_.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }

size_t Snapshot::footprint() const {
    size_t bytes = sizeof(Snapshot) + issues_.capacity() * sizeof(int32_t) + ranks_.capacity() * sizeof(int32_t) +
                   newestDice_.capacity() * sizeof(Dice);
    if (valuesReady()) {
        const SnapshotValues& v = *values_.get();
        bytes += sizeof(SnapshotValues) + v.distinct.capacity() * sizeof(DrawValues) +
                 v.index.capacity() * sizeof(uint32_t) + v.slotBytes();
    }
    return bytes;
}

const SnapshotValues& Snapshot::values(unsigned parts) const {
    const SnapshotValues& v = values();
    if (!v.has(parts)) throw std::logic_error("the snapshot was read without the values asked for");
    return v;
}

int Snapshot::value(size_t row, int type, int pos) const {
    if (type == kNumber) return die(row, pos);
    return values(valuesPart(type)).of(row).v[static_cast<size_t>(type)][static_cast<size_t>(pos - 1)];
}

void SnapshotBuilder::add(int32_t sqqh, int32_t idx, const DrawValues& v) {
    issues_.push_back(sqqh);
    ranks_.push_back(idx);
    values_.index.push_back(values_.add(v));
}

Snapshot SnapshotBuilder::build() {
    values_.parts = kAllParts;
    auto values = std::make_shared<SnapshotValues>(std::move(values_));
    values_ = {};
    return Snapshot(std::move(issues_), std::move(ranks_), {}, readyValues(std::move(values)));
}

Snapshot snapshotOf(const std::vector<DerivedDraw>& draws) {
    SnapshotBuilder b;
    for (size_t i = 0; i < draws.size(); ++i) b.add(draws[i], static_cast<int32_t>(i + 1));
    return b.build();
}

std::shared_ptr<const Snapshot> withNewestAppended(const std::shared_ptr<const Snapshot>& snap, const DerivedDraw& d,
                                                   std::optional<int64_t> token) {
    if (!snap->empty() && d.sqqh <= snap->issues().back()) return nullptr;
    const DrawValues added = drawValues(d);
    auto grown = [n = snap->size() + 1](const std::vector<int32_t>& column) {
        std::vector<int32_t> out;
        out.reserve(n);
        out = column;
        return out;
    };
    std::vector<int32_t> issues = grown(snap->issues()), ranks = grown(snap->ranks());
    issues.push_back(d.sqqh);
    ranks.push_back(static_cast<int32_t>(snap->size()) + 1);
    // The dice of the newest draws at hand, so that the grid shows them before the values are read.
    std::vector<Snapshot::Dice> newest;
    size_t from = snap->size() - std::min(snap->size(), kNewestDice - 1);
    if (!snap->valuesReady()) from = std::max(from, snap->newestFrom());
    for (size_t i = from; i < snap->size(); ++i)
        newest.push_back({static_cast<int8_t>(snap->die(i, 1)), static_cast<int8_t>(snap->die(i, 2)),
                          static_cast<int8_t>(snap->die(i, 3))});
    newest.push_back(added.v[kNumber]);
    auto out =
        std::make_shared<Snapshot>(std::move(issues), std::move(ranks), std::move(newest), Snapshot::ValuesFuture());
    out->readValues_ = snap->readValues_;
    out->appended_ = snap->appended_;
    out->appended_.push_back(added);
    out->token_ = token;
    // The values as read, with those of the appended draws: at once when the read is done, else when
    // they are first asked for.
    auto extend = [read = out->readValues_, appended = out->appended_] {
        auto v = std::make_shared<SnapshotValues>(*read.get());
        for (const DrawValues& a : appended) v->index.push_back(v->add(a));
        return std::shared_ptr<const SnapshotValues>(std::move(v));
    };
    const bool read = out->readValues_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    out->values_ = read ? readyValues(extend()) : std::async(std::launch::deferred, extend).share();
    return out;
}

}  // namespace k3
