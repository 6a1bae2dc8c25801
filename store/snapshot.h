// The in-memory copy of the history in issue order, read by the grids and the analyses.
//
// It is kept by column. Issue and rank (IDX) of every draw, and the dice of the newest draws, are there
// from the start; the stored values (dice included) and the group bits of the pattern texts may follow
// later, read in the background: values() and die() wait for them. A draw's values are kept once per
// distinct set, so a history of a million draws holds a few hundred sets and one index per draw.
#pragma once
#include <array>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "derive.h"

namespace k3 {

// What the analyses read of one draw: the stored value of every type and position, and the group bits
// of the stored pattern texts.
struct DrawValues {
    std::array<std::array<int8_t, 3>, kTypeCount> v{};  // [type][pos-1]
    // Bit (r-1)*10+v is set when the pattern text of the type holds the group "rXv", i.e. a LIKE "*rXv*"
    // on that text is true.
    std::array<uint32_t, kTypeCount> groups{};

    // True when the pattern text of `type` shows value v at least r times (r 1..3, v 0..9).
    bool hasGroup(int type, int r, int v) const {
        if (r < 1 || r > 3 || v < 0 || v > 9) return false;
        return (groups[static_cast<size_t>(type)] >> ((r - 1) * 10 + v)) & 1u;
    }
    bool operator==(const DrawValues&) const = default;
};

// Group bits of one pattern text.
uint32_t patternGroups(std::string_view text);

// The values a derived draw is stored with.
DrawValues drawValues(const DerivedDraw& d);

// The values of every draw of a snapshot: each distinct set once, and per draw the index of its set.
struct SnapshotValues {
    std::vector<DrawValues> distinct;
    std::vector<uint32_t> index;  // per draw, into `distinct`
    unsigned parts = 0;           // what was read (the parts below); what was not is 0

    const DrawValues& of(size_t row) const { return distinct[index[row]]; }
    bool has(unsigned want) const { return (parts & want) == want; }
    // The index of a set, added when new.
    uint32_t add(const DrawValues& v);
    size_t slotBytes() const { return slots_.capacity() * sizeof(uint32_t); }

private:
    struct Hash {
        size_t operator()(const DrawValues& v) const;
    };
    uint32_t lookup(const DrawValues& v);
    std::vector<uint32_t> slots_;  // open addressing over `distinct`, sized a power of two; ~0u is empty
    // The set last found for each outcome of the dice (or, without dice, for a few bits of the group
    // bits): most draws with the same dice have the same set, so most lookups end here.
    static constexpr size_t kRecent = 216 + 256;
    std::array<uint32_t, kRecent> recent_ = emptyRecent();
    static std::array<uint32_t, kRecent> emptyRecent() {
        std::array<uint32_t, kRecent> a;
        a.fill(~0u);
        return a;
    }
};

// What a snapshot reads of each draw besides its issue and rank, as bits: the stored values of a type
// (of the number type: the dice) and the group bits of the type's pattern text.
inline constexpr unsigned valuesPart(int type) { return 1u << type; }
inline constexpr unsigned groupsPart(int type) { return 1u << (kTypeCount + type); }
inline constexpr unsigned kDicePart = valuesPart(kNumber);
inline constexpr unsigned kAllParts = (1u << (2 * kTypeCount)) - 1;
// Both parts of a search type (anything outside 0..3 reads as the number type, as the analyses take it).
inline constexpr unsigned typeParts(int type) {
    const int t = type >= 0 && type < kTypeCount ? type : kNumber;
    return valuesPart(t) | groupsPart(t);
}
// The newest draws whose dice a snapshot holds from the start, for the history grid's first view.
inline constexpr size_t kNewestDice = 256;

class Snapshot;

// One draw as the rows of a snapshot hand it out. v[type][pos-1] is the stored value; for the types
// other than the number type it waits for the snapshot's values.
struct SnapRow {
    class TypeValues {
    public:
        TypeValues(const Snapshot* s, size_t row, int type) : s_(s), row_(row), type_(type) {}
        int operator[](size_t pos0) const;

    private:
        const Snapshot* s_;
        size_t row_;
        int type_;
    };
    class Values {
    public:
        Values(const Snapshot* s, size_t row) : s_(s), row_(row) {}
        TypeValues operator[](size_t type) const { return {s_, row_, static_cast<int>(type)}; }

    private:
        const Snapshot* s_;
        size_t row_;
    };

    int32_t sqqh;
    int32_t idx;  // stored dense rank
    Values v;
    int die(int pos) const { return v[kNumber][static_cast<size_t>(pos - 1)]; }
};

class Snapshot {
public:
    using Dice = std::array<int8_t, 3>;
    using ValuesFuture = std::shared_future<std::shared_ptr<const SnapshotValues>>;

    Snapshot();
    // Issues (ascending) and ranks of every draw, the dice of the newest ones; the values as they come.
    Snapshot(std::vector<int32_t> issues, std::vector<int32_t> ranks, std::vector<Dice> newestDice,
             ValuesFuture values);
    Snapshot(const Snapshot& o);
    Snapshot(Snapshot&& o) noexcept;
    Snapshot& operator=(Snapshot o) noexcept;

    size_t size() const { return issues_.size(); }
    bool empty() const { return issues_.empty(); }
    const std::vector<int32_t>& issues() const { return issues_; }
    const std::vector<int32_t>& ranks() const { return ranks_; }
    int32_t issue(size_t row) const { return issues_[row]; }
    int32_t rank(size_t row) const { return ranks_[row]; }
    // The first row whose dice are at hand without the values.
    size_t newestFrom() const { return newestFrom_; }
    // Bytes of memory the snapshot holds (its values once read).
    size_t footprint() const;
    // A die (pos 1..3) as stored; waits for the values unless the draw is one of the newest.
    int die(size_t row, int pos) const {
        const Dice& d = row >= newestFrom_ ? newestDice_[row - newestFrom_] : values(kDicePart).of(row).v[kNumber];
        return d[static_cast<size_t>(pos - 1)];
    }
    // Index of the row with exactly this issue.
    std::optional<size_t> find(int64_t sqqh) const;
    // The content token of the history file as read (readContentToken), when the snapshot is exactly what
    // the file held with it; nothing when unknown.
    const std::optional<int64_t>& contentToken() const { return token_; }
    void setContentToken(std::optional<int64_t> token) { token_ = token; }

    // The values of every draw, waiting until they are read. Throws what reading them threw.
    const SnapshotValues& values() const;
    // The same, for reading `parts` of them: a snapshot read without them is a fault of the caller
    // (std::logic_error).
    const SnapshotValues& values(unsigned parts) const;
    bool valuesReady() const;
    // Reading the values ended with an error.
    bool valuesFailed() const;
    // The stored value of a type at a position (1..3); waits for the values unless it is a die.
    int value(size_t row, int type, int pos) const;

    // The draws as rows: rows[i], rows.front(), rows.back(), a range-for.
    class Rows {
    public:
        class iterator {
        public:
            using iterator_category = std::random_access_iterator_tag;
            using value_type = SnapRow;
            using difference_type = std::ptrdiff_t;
            using pointer = void;
            using reference = SnapRow;
            iterator(const Snapshot* s, size_t i) : s_(s), i_(i) {}
            SnapRow operator*() const { return s_->row(i_); }
            iterator& operator++() { return ++i_, *this; }
            iterator& operator--() { return --i_, *this; }
            iterator& operator+=(difference_type n) { return i_ += static_cast<size_t>(n), *this; }
            iterator operator+(difference_type n) const { return {s_, i_ + static_cast<size_t>(n)}; }
            difference_type operator-(const iterator& o) const {
                return static_cast<difference_type>(i_) - static_cast<difference_type>(o.i_);
            }
            bool operator==(const iterator& o) const { return i_ == o.i_; }

        private:
            const Snapshot* s_;
            size_t i_;
        };
        explicit Rows(const Snapshot* s) : s_(s) {}
        SnapRow operator[](size_t i) const { return s_->row(i); }
        SnapRow front() const { return s_->row(0); }
        SnapRow back() const { return s_->row(s_->size() - 1); }
        size_t size() const { return s_->size(); }
        bool empty() const { return s_->empty(); }
        iterator begin() const { return {s_, 0}; }
        iterator end() const { return {s_, s_->size()}; }

    private:
        const Snapshot* s_;
    };
    Rows rows{this};

    SnapRow row(size_t i) const { return {issues_[i], ranks_[i], SnapRow::Values(this, i)}; }

private:
    friend std::shared_ptr<const Snapshot> withNewestAppended(const std::shared_ptr<const Snapshot>& snap,
                                                              const DerivedDraw& d, std::optional<int64_t> token);

    std::vector<int32_t> issues_;
    std::vector<int32_t> ranks_;
    std::vector<Dice> newestDice_;  // of the rows from newestFrom_ on
    size_t newestFrom_ = 0;
    ValuesFuture values_;
    // The values as they were read and those of the draws appended since (withNewestAppended), so that
    // a snapshot made by appending needs none of the snapshots before it.
    ValuesFuture readValues_;
    std::vector<DrawValues> appended_;
    std::optional<int64_t> token_;
};

// Values that are at hand, for a snapshot.
Snapshot::ValuesFuture readyValues(std::shared_ptr<const SnapshotValues> values);

// Builds a snapshot draw by draw, in issue order, with its values at hand (tests, small tables).
class SnapshotBuilder {
public:
    void add(int32_t sqqh, int32_t idx, const DrawValues& v);
    // A derived draw with its rank.
    void add(const DerivedDraw& d, int32_t idx) { add(d.sqqh, idx, drawValues(d)); }
    Snapshot build();

private:
    std::vector<int32_t> issues_, ranks_;
    SnapshotValues values_;
};

// The snapshot of derived draws in issue order, ranked 1..n.
Snapshot snapshotOf(const std::vector<DerivedDraw>& draws);

// The snapshot after a draw newer than every stored one was appended (it takes the next rank), without
// reading the history again; nothing when the draw is not the newest. Its values wait for those of
// `snap` when these are not read yet. `token`: the file's content token once the draw was stored, when
// nothing else changed it.
std::shared_ptr<const Snapshot> withNewestAppended(const std::shared_ptr<const Snapshot>& snap, const DerivedDraw& d,
                                                   std::optional<int64_t> token = std::nullopt);

}  // namespace k3
