// The elimination of SparseDeterminant: Gaussian elimination modulo p with a
// Markowitz pivot search, run in one of three modes (sparse_determinant.hpp):
// plain (the value only), record (the program its replays run) and order
// (the pivots and the size a program would have). The modes share the
// matrix's loading, the pivot search and the row updates (Elimination below);
// what a recording keeps is in its own members (record_operation,
// record_update, record_step), so a change to the search changes every mode
// alike, and a change to the recording only the recording.
#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "arithmetic/sparse_determinant.hpp"
#include "base/error.hpp"
#include "runtime/cancel.hpp"
#include "runtime/memory.hpp"

namespace skeinlab {
namespace {

// Columns examined per pivot search: a few on small matrices, where the
// recording's cost counts (diagrams typed by the thousand), many on large
// ones, where the fill decides the cost of every replay (on globules of
// thousands of crossings, 256 columns instead of 8 halve the operations and
// the time of each evaluation).
constexpr std::size_t kMarkowitzColumns = 8;
constexpr std::size_t kWideMarkowitzColumns = 256;
constexpr std::size_t kWideSearchRows = 512;

// A recording reads the memory available once it takes this much: small
// diagrams, typed by the thousand, never read it.
constexpr std::size_t kMemoryReadAbove = std::size_t{64} << 20;

}  // namespace

// One elimination's state. Arithmetic in Montgomery form. Rows are updated as
// pivot * row - a * pivot row, which needs no inverse per pivot: every such
// update multiplies the determinant by the pivot, and `scale` collects those
// factors.
struct SparseDeterminant::Elimination {
    using Item = std::pair<std::uint32_t, std::uint32_t>;  // (count, column)

    SparseDeterminant& s;
    const modular::Field& f;
    const modular::Montgomery m;
    const Mode mode;
    const bool record;
    const bool keep_zeros;  // recordings and orders keep zeros: their program holds at every point
    std::uint32_t slots = 0;
    std::size_t live = 0;  // entries in the rows
    std::size_t available = 0;  // memory available (0: not read yet)
    std::size_t check_above = 0;
    // The columns not yet eliminated, by their current count (then index):
    // a step moves only the few whose count it changes.
    std::set<Item> order;
    // Per column, its best pivot as last weighed (cost and row), weighed
    // again only after a step changed one of its rows (a pivot row or an
    // updated row holds it): the search looks at the same few hundred
    // columns step after step.
    std::vector<std::uint64_t> col_cost;
    std::vector<std::uint32_t> col_row;
    std::vector<std::uint8_t> col_changed;
    std::vector<std::uint32_t> pivot_col;  // per row, the column it was the pivot of
    std::vector<std::uint32_t> candidates;
    std::uint64_t det, scale;
    std::size_t updates_done = 0;
    // A recording's: per first slot, whether the matrix's entry there is +-1
    // and still unchanged (a pivot that needs no inverse in the replays); the
    // slots no longer read (a used factor, a finished pivot row's entries),
    // given to new entries in a compact program; per slot, 1 + the step that
    // last wrote it (0: the matrix's own entry). A batch of steps shares one
    // inversion of their pivots when none of those pivots is written within
    // the batch (each is final at its start).
    std::vector<std::uint8_t> unit_slot;
    std::vector<std::uint32_t> free_slots;
    std::vector<std::uint32_t> written_at;
    std::uint32_t tag = 0;
    std::size_t batch_start = 0;

    Elimination(SparseDeterminant& owner, const modular::Field& field, std::uint64_t x, Mode how)
        : s(owner), f(field), m(field.p), mode(how), record(how == Mode::record), keep_zeros(how != Mode::plain),
          col_cost(owner.n_, UINT64_MAX), col_row(owner.n_, kNone), col_changed(owner.n_, 1),
          pivot_col(owner.n_, 0), det(m.one()), scale(m.one()) {
        load(x);
        if (keep_zeros) check_above = std::min(kMemoryReadAbove, environment_memory_limit());
        if (record) start_recording();
        if (mode == Mode::order) {
            s.pivots_.clear();
            s.order_operations_ = 0;
        }
        for (std::size_t c = 0; c < s.n_; ++c) order.insert({s.col_count_[c], static_cast<std::uint32_t>(c)});
    }

    // The matrix at t = x: each row's entries (zeros left out in a plain
    // elimination), each column's rows and count.
    void load(std::uint64_t x) {
        const std::size_t n = s.n_;
        const std::uint64_t xm = m.to(x);
        s.rows_.assign(n, {});
        s.col_rows_.assign(n, {});
        s.col_count_.assign(n, 0);
        s.row_done_.assign(n, 0);
        for (std::size_t r = 0; r < n; ++r) {
            std::vector<Entry>& row = s.rows_[r];
            row.reserve(s.pattern_[r].size());
            for (const LinearEntry& e : s.pattern_[r]) {
                const std::uint64_t v = m.add(m.to(f.from_signed(e.c0)), m.mul(m.to(f.from_signed(e.c1)), xm));
                const std::uint32_t slot = slots++;
                if (record) unit_slot.push_back(e.c1 == 0 && (e.c0 == 1 || e.c0 == -1));
                if (v == 0 && !keep_zeros) continue;
                row.push_back({e.col, slot, v});
                ++live;
                s.col_rows_[e.col].push_back(static_cast<std::uint32_t>(r));
                ++s.col_count_[e.col];
            }
        }
        if (record) written_at.assign(slots, 0);
    }

    static const Entry* find(const std::vector<Entry>& row, std::uint32_t col) {
        auto it = std::lower_bound(row.begin(), row.end(), col,
                                   [](const Entry& e, std::uint32_t c) { return e.col < c; });
        return it != row.end() && it->col == col ? &*it : nullptr;
    }

    void recount(std::uint32_t col, int delta) {
        order.erase({s.col_count_[col], col});
        s.col_count_[col] = static_cast<std::uint32_t>(static_cast<int>(s.col_count_[col]) + delta);
        order.insert({s.col_count_[col], col});
    }

    // The slot of a new value a - (factor / pivot) * b (a is kNone for fill):
    // counted in a plain elimination or an order, written in a recording.
    std::uint32_t next_slot(std::uint32_t a, std::uint32_t b) {
        if (record) return record_operation(a, b);
        if (mode == Mode::order) ++s.order_operations_;
        return slots++;
    }

    // A recording, or a search for the pivot order, stops before it takes
    // more memory than there is.
    void check_memory(std::size_t step) {
        const std::size_t bytes = record ? s.recording_bytes(slots) : live * (sizeof(Entry) + sizeof(std::uint32_t));
        if (bytes <= check_above) return;
        if (available == 0) available = available_memory();
        if (bytes > available)
            throw MemoryNeeded("the exact determinant of this diagram's matrix (" + std::to_string(s.n_) +
                               " rows) needs more memory than the " + memory_text(available) + " available: its " +
                               (record ? "program and values" : "rows") + " had grown to " + memory_text(bytes) +
                               " at pivot " + std::to_string(step + 1) + " of " + std::to_string(s.n_));
    }

    // Drops stale and repeated holders of a column. With zeros kept, an entry
    // leaves a row only when its column is eliminated, and a row is added to
    // a column's holders only when it gains an entry there: the rows done are
    // the only stale holders, and none is repeated.
    void clean_holders(std::uint32_t col) {
        std::vector<std::uint32_t>& holders = s.col_rows_[col];
        if (keep_zeros) {
            std::erase_if(holders, [&](std::uint32_t r) { return s.row_done_[r] != 0; });
            return;
        }
        std::size_t kept = 0;
        for (const std::uint32_t r : holders) {
            if (s.row_done_[r] || !find(s.rows_[r], col)) continue;
            const auto end = holders.begin() + static_cast<std::ptrdiff_t>(kept);
            if (std::find(holders.begin(), end, r) != end) continue;
            holders[kept++] = r;
        }
        holders.resize(kept);
    }

    // A column's own best pivot: the least cost (r - 1)(c - 1), then the first
    // row, among its non-zero entries (weighed without their values first:
    // the best is almost never zero).
    void weigh(std::uint32_t col) {
        clean_holders(col);
        const std::vector<std::uint32_t>& holders = s.col_rows_[col];
        const auto weigh_rows = [&](bool nonzero_only) {
            col_cost[col] = UINT64_MAX;
            col_row[col] = kNone;
            for (const std::uint32_t r : holders) {
                if (nonzero_only && find(s.rows_[r], col)->value == 0) continue;
                const std::uint64_t cost = static_cast<std::uint64_t>(holders.size() - 1) * (s.rows_[r].size() - 1);
                if (cost < col_cost[col] || (cost == col_cost[col] && r < col_row[col])) {
                    col_cost[col] = cost;
                    col_row[col] = r;
                }
            }
        };
        weigh_rows(false);
        if (col_row[col] != kNone && find(s.rows_[col_row[col]], col)->value == 0) weigh_rows(true);
        col_changed[col] = 0;
    }

    // Markowitz: among the few columns with the fewest entries, the non-zero
    // entry whose row and column lengths promise the least fill. False when
    // the columns looked at hold only zeros.
    bool choose_pivot(std::uint32_t& c, std::uint32_t& pivot) {
        const std::size_t columns = s.n_ >= kWideSearchRows ? kWideMarkowitzColumns : kMarkowitzColumns;
        c = pivot = kNone;
        std::uint64_t best_cost = UINT64_MAX;
        std::size_t looked = 0;
        for (auto it = order.begin(); looked < columns && it != order.end(); ++it) {
            const std::uint32_t count = it->first, col = it->second;
            if (best_cost != UINT64_MAX && static_cast<std::uint64_t>(count) * count > best_cost * 4 + 4) break;
            ++looked;
            if (col_changed[col]) weigh(col);
            if (col_row[col] != kNone && (col_cost[col] < best_cost || (col_cost[col] == best_cost && col < c))) {
                best_cost = col_cost[col];
                c = col;
                pivot = col_row[col];
            }
            if (best_cost == 0) break;
        }
        return pivot != kNone;
    }

    // Eliminates column c with the pivot row `pivot`: every other row holding
    // c is updated (fill added, cancelled entries dropped unless zeros are
    // kept); a recording records the step.
    void eliminate_column(std::size_t step, std::uint32_t c, std::uint32_t pivot) {
        std::vector<std::uint32_t>& holders = s.col_rows_[c];
        candidates.assign(holders.begin(), holders.end());
        holders.clear();
        const std::vector<Entry>& prow = s.rows_[pivot];
        const Entry& pe_c = *find(prow, c);
        const std::uint64_t pv = pe_c.value;
        det = m.mul(det, pv);
        pivot_col[pivot] = c;
        if (keep_zeros) s.pivots_.push_back({pivot, c});
        s.row_done_[pivot] = 1;
        order.erase({s.col_count_[c], c});
        for (const Entry& e : prow) {
            if (e.col == c) continue;
            col_changed[e.col] = 1;
            recount(e.col, -1);
        }
        for (const std::uint32_t r : candidates) {
            if (r == pivot) continue;
            if (++updates_done % 256 == 0) cancellation_point();
            update_row(r, c, prow, pv);
        }
        if (record) record_step(step, pe_c, prow);
    }

    // Row r becomes pv * row - factor * prow, its entry in column c gone.
    void update_row(std::uint32_t r, std::uint32_t c, const std::vector<Entry>& prow, std::uint64_t pv) {
        std::vector<Entry>& row = s.rows_[r];
        const Entry& fe = *find(row, c);
        const std::uint64_t factor = fe.value;
        scale = m.mul(scale, pv);
        std::vector<Entry>& out = s.scratch_;
        out.clear();
        for (const Entry& e : row) col_changed[e.col] = 1;
        std::size_t a = 0, b = 0;
        while (a < row.size() || b < prow.size()) {
            if (b == prow.size() || (a < row.size() && row[a].col < prow[b].col)) {
                // Untouched by the pivot row: the replay (which divides by the
                // pivot) keeps this value where it is.
                if (row[a].col != c) out.push_back({row[a].col, row[a].slot, m.mul(pv, row[a].value)});
                ++a;
            } else if (a == row.size() || prow[b].col < row[a].col) {
                const Entry& pe = prow[b++];
                if (pe.col == c) continue;
                // Fill: a new entry in this row.
                out.push_back({pe.col, next_slot(kNone, pe.slot), m.sub(0, m.mul(factor, pe.value))});
                s.col_rows_[pe.col].push_back(r);
                recount(pe.col, +1);
            } else {
                const std::uint32_t col = row[a].col;
                if (col != c) {
                    const std::uint64_t v = m.sub(m.mul(pv, row[a].value), m.mul(factor, prow[b].value));
                    if (v != 0 || keep_zeros) {
                        out.push_back({col, next_slot(row[a].slot, prow[b].slot), v});
                    } else {
                        recount(col, -1);
                    }
                }
                ++a;
                ++b;
            }
        }
        const std::uint32_t factor_slot = fe.slot;
        live = live - row.size() + out.size();
        row.swap(out);
        if (record) record_update(factor_slot);
    }

    // det(A) = sign(row -> pivot column) * product of the pivots / scale.
    std::uint64_t determinant() {
        std::vector<std::uint8_t> seen(s.n_, 0);
        std::size_t cycles = 0;
        for (std::size_t r = 0; r < s.n_; ++r) {
            if (seen[r]) continue;
            ++cycles;
            for (std::size_t k = r; !seen[k]; k = pivot_col[k]) seen[k] = 1;
        }
        const bool odd = (s.n_ - cycles) % 2;
        if (record) {
            s.odd_permutation_ = odd;
            s.total_slots_ = slots;
            s.have_program_ = true;
        }
        const std::uint64_t value = f.mul(m.from(det), f.inv(m.from(scale)));
        return odd ? f.neg(value) : value;
    }

    // --- What only a recording keeps.

    // Until this recording ends, there is no program to replay.
    void start_recording() {
        s.have_program_ = false;
        s.initial_slots_ = slots;
        s.ops_.clear();
        s.op_slots_.clear();
        s.pivots_.clear();
        s.updates_.clear();
        s.steps_.clear();
        s.inverse_batches_.assign(1, 0);
    }

    // A plain recording whose values would pass its budget stops (the caller
    // records the program compact instead, before its values are ever
    // allocated).
    bool outgrown() const {
        return record && !s.compact_ &&
               s.program_lanes() * std::size_t{slots} * sizeof(std::uint64_t) > s.plain_program_bytes_;
    }

    std::uint32_t record_operation(std::uint32_t a, std::uint32_t b) {
        s.ops_.push_back({a, b});
        std::uint32_t dst = a;
        if (!s.compact_) {
            dst = slots++;
        } else {
            if (dst == kNone) {
                if (free_slots.empty()) {
                    dst = slots++;
                } else {
                    dst = free_slots.back();
                    free_slots.pop_back();
                }
            }
            s.op_slots_.push_back(dst);
            if (dst < unit_slot.size()) unit_slot[dst] = 0;
        }
        if (dst >= written_at.size()) written_at.resize(std::size_t{dst} + 1, 0);
        written_at[dst] = tag;
        return dst;
    }

    void record_update(std::uint32_t factor_slot) {
        s.updates_.push_back({factor_slot, static_cast<std::uint32_t>(s.ops_.size())});
        if (s.compact_) free_slots.push_back(factor_slot);
    }

    void record_step(std::size_t step, const Entry& pivot_entry, const std::vector<Entry>& prow) {
        const bool unit = pivot_entry.slot < unit_slot.size() && unit_slot[pivot_entry.slot];
        const std::size_t updates_from = s.steps_.empty() ? 0 : s.steps_.back().end;
        if (!unit && s.updates_.size() != updates_from && written_at[pivot_entry.slot] > batch_start) {
            batch_start = step;
            s.inverse_batches_.push_back(static_cast<std::uint32_t>(step));
        }
        s.steps_.push_back({pivot_entry.slot, static_cast<std::uint32_t>(s.updates_.size()), unit});
        if (s.compact_)
            for (const Entry& e : prow) free_slots.push_back(e.slot);
    }
};

std::uint64_t SparseDeterminant::eliminate(const modular::Field& f, std::uint64_t x, bool record) {
    // (compact_ describes the recorded program: only a recording changes it.)
    if (record) compact_ = false;
    outgrown_ = false;
    const std::uint64_t value = eliminate_once(f, x, record ? Mode::record : Mode::plain);
    if (!record || (!outgrown_ && (!have_program_ || program_lanes() * std::size_t{total_slots_} * sizeof(std::uint64_t) <=
                                                         plain_program_bytes_)))
        return value;
    // The plain recording stopped when its operations outgrew the budget, or
    // finished above it: release what it made before recording again, with
    // the slots reused (only what is alive kept) and the same pivot search.
    // (Nested dissection, tried here, made ten times more operations than the
    // pivot search on simplified diagrams, whose long strands join distant
    // rows.)
    std::vector<Op>().swap(ops_);
    compact_ = true;
    return eliminate_once(f, x, Mode::record);
}

bool SparseDeterminant::find_pivot_order(const modular::Field& f, std::uint64_t x) {
    if (recorded_) throw InternalError("a pivot order is found before the first evaluation");
    eliminate_once(f, x, Mode::order);
    have_order_ = pivots_.size() == n_;
    if (!have_order_) pivots_.clear();
    // The rows, now the factors' size, are not needed until an evaluation.
    std::vector<std::vector<Entry>>().swap(rows_);
    std::vector<std::vector<std::uint32_t>>().swap(col_rows_);
    return have_order_;
}

std::size_t SparseDeterminant::recording_bytes(std::size_t slots) const {
    // The program (its operations, their slots, updates and steps), the
    // elimination's work space (at most every live value with its column
    // list place) and one replay buffer of the values.
    const std::size_t program = ops_.size() * (sizeof(Op) + (compact_ ? sizeof(std::uint32_t) : 0)) +
                                updates_.size() * sizeof(Update) + steps_.size() * sizeof(Step);
    return program + slots * (sizeof(Entry) + sizeof(std::uint32_t) + program_lanes() * sizeof(std::uint64_t));
}

std::uint64_t SparseDeterminant::eliminate_once(const modular::Field& f, std::uint64_t x, Mode mode) {
    cancellation_point();
    Elimination e(*this, f, x, mode);
    for (std::size_t step = 0; step < n_; ++step) {
        cancellation_point();
        e.tag = static_cast<std::uint32_t>(step + 1);
        if (e.outgrown()) {
            outgrown_ = true;
            return 0;
        }
        if (e.keep_zeros) e.check_memory(step);
        std::uint32_t c = kNone, pivot = kNone;
        if (!e.choose_pivot(c, pivot)) {
            // Only zeros in the columns looked at. Without kept zeros an empty
            // column makes the matrix singular; otherwise a recording gives up
            // and leaves later evaluations to the plain elimination, and an
            // order search ends short (no order).
            if (mode == Mode::record) return eliminate(f, x, false);
            return 0;
        }
        e.eliminate_column(step, c, pivot);
    }
    return e.determinant();
}

}  // namespace skeinlab
