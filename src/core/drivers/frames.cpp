#include "drivers/frames.hpp"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

#include "analysis/knotsize.hpp"
#include "runtime/pool.hpp"

namespace skeinlab {
namespace {

constexpr std::uint64_t kMaxDedicatedWorkers = 65535;

// Runs step(i) for every item (a frame, or a block of one frame's samples) on
// the chosen pool and reduces the outcomes in item order. A step that throws
// becomes that item's failure, so one broken frame never takes the process
// down and the others still run.
//
// A dedicated pool has at most one worker per item, except when items spread
// their own work over the pool (`shared_within`, the default: the core search
// of knot_size, the determinant's evaluations of every typing): then it may
// have up to one worker per processor even for fewer items.
//
// With a control, the work runs under its token (an item not yet started
// when it is requested is not started; running ones stop at their next
// cancellation point) and the waiting caller polls; a cancelled call's
// outcome is a Cancelled failure.
template <class T, class Step>
Outcome<std::vector<T>> run_items(std::size_t count, std::optional<std::uint64_t> threads, Step step,
                                  const CallControl& control, bool shared_within = true) {
    if (threads && *threads == 0) return Failure{"threads must be >= 1"};
    std::vector<std::optional<Outcome<T>>> slots(count);
    auto item = [&](std::size_t i) {
        try {
            cancellation_point();
            slots[i] = step(i);
        } catch (const Cancelled&) {
            slots[i] = Outcome<T>(Failure{"cancelled", Failure::Kind::Cancelled});
        } catch (const InternalError& e) {
            slots[i] = Outcome<T>(Failure{e.what(), Failure::Kind::Internal});
        } catch (const MemoryNeeded& e) {
            slots[i] = Outcome<T>(Failure{e.what(), Failure::Kind::OutOfMemory});
        } catch (const std::bad_alloc&) {
            slots[i] = Outcome<T>(Failure{"", Failure::Kind::OutOfMemory});
        } catch (const std::exception& e) {
            slots[i] = Outcome<T>(Failure{e.what(), Failure::Kind::Internal});
        }
    };
    if (count > 0) {
        const TokenScope scope(control.token);
        const auto interval = std::chrono::milliseconds(50);
        try {
            if (threads) {
                const std::uint64_t useful =
                    shared_within ? std::max<std::uint64_t>(count, available_processors()) : count;
                const std::uint64_t workers = std::min<std::uint64_t>({*threads, kMaxDedicatedWorkers, useful});
                WorkerPool pool(static_cast<std::size_t>(workers));
                pool.parallel_for(count, item, control.poll, interval);
            } else {
                WorkerPool::shared().parallel_for(count, item, control.poll, interval);
            }
        } catch (const std::system_error& e) {
            // The system refused to start a worker thread.
            return Failure{e.code().message() + " (os error " + std::to_string(e.code().value()) + ")"};
        }
    }
    if (control.token && control.token->requested()) return Failure{"cancelled", Failure::Kind::Cancelled};
    std::vector<T> results;
    results.reserve(count);
    for (std::optional<Outcome<T>>& slot : slots) {
        if (auto* failure = std::get_if<Failure>(&*slot)) return std::move(*failure);
        results.push_back(std::get<T>(std::move(*slot)));
    }
    return results;
}

// Units (frames, windows) of `samples` samples each are split into this many
// blocks of samples, so that a call has about eight items per worker even
// when it has a single unit. Only the speed depends on it.
std::uint64_t blocks_per_unit(std::size_t units, std::uint64_t samples, std::optional<std::uint64_t> threads) {
    const std::uint64_t workers =
        threads ? std::min<std::uint64_t>(*threads, kMaxDedicatedWorkers) : available_processors();
    const std::uint64_t wanted = 8 * workers;
    if (units == 0 || units >= wanted) return 1;
    return std::min<std::uint64_t>(samples, (wanted + units - 1) / units);
}

// Sample range [first, last) of block b of `blocks` blocks of `samples`.
std::pair<std::uint64_t, std::uint64_t> block_range(std::uint64_t samples, std::uint64_t b, std::uint64_t blocks) {
    // floor(samples * k / blocks) without overflow: blocks is far below 2^32.
    const auto bound = [&](std::uint64_t k) { return samples / blocks * k + samples % blocks * k / blocks; };
    return {bound(b), bound(b + 1)};
}

// The count of a block of samples as an item's outcome: a KnotError becomes
// a failure carrying its display text (run_items catches what is thrown).
template <class Body>
Outcome<Spectrum> counted(Body body) {
    Result<Spectrum> part = body();
    if (!part) return Failure{part.error().display()};
    return std::move(part).value();
}

// The spectra of `units` units: unit u is the chain chain_of(u), with sample
// keys key_of(u) followed by the sample number. A unit whose samples are
// split into blocks is prepared once, before the blocks run; otherwise each
// item prepares its own unit, so that memory stays bounded by the workers.
template <class ChainOf, class KeyOf>
Outcome<std::vector<Spectrum>> run_spectra(std::size_t units, ChainOf chain_of, KeyOf key_of, bool is_ring,
                                           const AlexanderTable& table, const KnotTypeOptions& options,
                                           std::uint64_t samples, std::optional<std::uint64_t> threads,
                                           const CallControl& control) {
    const std::uint64_t blocks = blocks_per_unit(units, samples, threads);
    if (blocks == 1)
        return run_items<Spectrum>(
            units, threads,
            [&](std::size_t unit) {
                return counted([&] {
                    return sample_spectrum(SampledChain(chain_of(unit), is_ring, options), key_of(unit), 0,
                                           samples, table);
                });
            },
            control);

    Outcome<std::vector<SampledChain>> prepared = run_items<SampledChain>(
        units, threads,
        [&](std::size_t unit) -> Outcome<SampledChain> { return SampledChain(chain_of(unit), is_ring, options); },
        control);
    if (auto* failure = std::get_if<Failure>(&prepared)) return std::move(*failure);
    const std::vector<SampledChain>& chains = std::get<std::vector<SampledChain>>(prepared);
    Outcome<std::vector<Spectrum>> parts = run_items<Spectrum>(
        units * blocks, threads,
        [&](std::size_t item) {
            const std::size_t unit = item / blocks;
            const std::pair<std::uint64_t, std::uint64_t> range = block_range(samples, item % blocks, blocks);
            return counted(
                [&] { return sample_spectrum(chains[unit], key_of(unit), range.first, range.second, table); });
        },
        control);
    if (auto* failure = std::get_if<Failure>(&parts)) return std::move(*failure);
    std::vector<Spectrum>& done = std::get<std::vector<Spectrum>>(parts);
    std::vector<Spectrum> spectra(units);
    for (std::size_t item = 0; item < done.size(); ++item) spectra[item / blocks].merge(done[item]);
    return spectra;
}

}  // namespace

Outcome<std::vector<std::string>> classify_frames(const FrameSet& frames, const AlexanderTable& table,
                                                  const KnotTypeOptions& options,
                                                  std::optional<std::uint64_t> threads,
                                                  const CallControl& control) {
    return run_items<std::string>(
        frames.size(), threads, [&](std::size_t i) { return classify_frame(frames[i], table, options); }, control);
}

Outcome<std::vector<std::string>> identify_frames(const FrameSet& frames, const KnotTypeOptions& options,
                                                  std::optional<std::uint64_t> threads,
                                                  const CallControl& control) {
    return run_items<std::string>(
        frames.size(), threads, [&](std::size_t i) { return identify_frame(frames[i], options); }, control);
}

Outcome<std::vector<std::vector<PdCrossing>>> pd_frames(const FrameSet& frames, const KnotTypeOptions& options,
                                                        std::optional<std::uint64_t> threads,
                                                        const CallControl& control) {
    return run_items<std::vector<PdCrossing>>(
        frames.size(), threads, [&](std::size_t i) { return pd_frame(frames[i], options); }, control);
}

Outcome<std::vector<std::vector<Lasso>>> lasso_frames(const FrameSet& frames,
                                                      const std::vector<std::array<std::int64_t, 2>>& bridges,
                                                      std::optional<std::uint64_t> threads,
                                                      const CallControl& control) {
    return run_items<std::vector<Lasso>>(
        frames.size(), threads,
        [&](std::size_t f) -> Outcome<std::vector<Lasso>> {
            std::vector<Lasso> out;
            for (const auto& [i, j] : bridges) {
                cancellation_point();
                Result<Lasso> lasso = lasso_of(frames[f], i, j);
                if (!lasso) return Failure{"frame " + std::to_string(f) + ": " + lasso.error().message()};
                out.push_back(std::move(lasso).value());
            }
            return out;
        },
        control);
}

Outcome<std::vector<std::string>> identify_pd_codes(const std::vector<std::vector<PdCrossing>>& codes,
                                                    std::optional<std::uint64_t> threads,
                                                    const CallControl& control) {
    return run_items<std::string>(
        codes.size(), threads,
        [&](std::size_t k) -> Outcome<std::string> {
            Result<std::string> name = identify_pd_code(codes[k]);
            if (!name) return Failure{"code " + std::to_string(k) + ": " + name.error().message()};
            return name.value();
        },
        control);
}

Outcome<std::vector<std::vector<LinkingPair>>> linking_frames(const std::vector<FrameSet>& frames, bool rings,
                                                              std::optional<std::uint64_t> threads,
                                                              const CallControl& control) {
    return run_items<std::vector<LinkingPair>>(
        frames.size(), threads,
        [&](std::size_t i) { return Outcome<std::vector<LinkingPair>>(linking_pairs(frames[i], rings)); }, control);
}

Outcome<std::vector<std::vector<LinkedPair>>> linked_pair_frames(const std::vector<FrameSet>& frames,
                                                                 std::optional<std::uint64_t> threads,
                                                                 const CallControl& control) {
    return run_items<std::vector<LinkedPair>>(
        frames.size(), threads,
        [&](std::size_t f) {
            const FrameSet& rings = frames[f];
            std::vector<LinkedPair> out;
            for (const LinkingPair& p : linking_pairs(rings, true, true)) {
                cancellation_point();
                LinkedPair pair{p.i, p.j, static_cast<std::int64_t>(p.value), p.defined, "?"};
                if (p.defined) {
                    PairLink link = pair_link(rings[p.i], rings[p.j], pair.linking);
                    if (!link.linked) continue;
                    pair.name = std::move(link.name);
                }
                out.push_back(std::move(pair));
            }
            return Outcome<std::vector<LinkedPair>>(std::move(out));
        },
        control);
}

Outcome<std::vector<LinkIdentity>> link_type_frames(const std::vector<FrameSet>& frames, const KnotTypeOptions& options,
                                                    std::optional<std::uint64_t> threads, const CallControl& control) {
    return run_items<LinkIdentity>(
        frames.size(), threads, [&](std::size_t f) { return identify_link_frame(frames[f], options); }, control);
}

Outcome<std::vector<KnotInvariants>> invariants_frames(const FrameSet& frames, const KnotTypeOptions& options,
                                                       std::optional<std::uint64_t> threads,
                                                       const CallControl& control) {
    return run_items<KnotInvariants>(
        frames.size(), threads, [&](std::size_t i) { return invariants_frame(frames[i], options); }, control);
}

Outcome<KnotSizes> compute_knot_size(const FrameSet& frames, const AlexanderTable& table,
                                     const KnotTypeOptions& options, std::optional<std::uint64_t> threads,
                                     const CallControl& control) {
    using Sized = std::pair<std::string, CoreTriple>;
    Outcome<std::vector<Sized>> outcome = run_items<Sized>(
        frames.size(), threads, [&](std::size_t i) { return knot_size_of_frame(frames[i], table, options); },
        control, true);
    if (auto* failure = std::get_if<Failure>(&outcome)) return std::move(*failure);
    KnotSizes sizes;
    for (Sized& s : std::get<std::vector<Sized>>(outcome)) {
        sizes.names.push_back(std::move(s.first));
        sizes.cores.push_back(s.second);
    }
    return sizes;
}

Outcome<std::vector<std::vector<SpectrumEntry>>> compute_spectra(const FrameSet& frames, const AlexanderTable& table,
                                                                 const KnotTypeOptions& options,
                                                                 std::uint64_t samples, std::uint64_t seed,
                                                                 std::optional<std::uint64_t> threads,
                                                                 const CallControl& control,
                                                                 std::uint64_t frame_offset) {
    Outcome<std::vector<Spectrum>> spectra = run_spectra(
        frames.size(), [&](std::size_t f) -> const Chain& { return frames[f]; },
        [&](std::size_t f) { return std::vector<std::uint64_t>{seed, frame_offset + f}; }, options.is_ring, table,
        options,
        samples, threads, control);
    if (auto* failure = std::get_if<Failure>(&spectra)) return std::move(*failure);
    std::vector<std::vector<SpectrumEntry>> sorted;
    for (const Spectrum& s : std::get<std::vector<Spectrum>>(spectra)) sorted.push_back(s.sorted());
    return sorted;
}

Outcome<std::vector<FingerprintRow>> compute_fingerprint(const Chain& chain, std::size_t step,
                                                         const AlexanderTable& table,
                                                         const KnotTypeOptions& options, std::uint64_t samples,
                                                         std::uint64_t seed, std::optional<std::uint64_t> threads,
                                                         const CallControl& control) {
    const std::vector<std::array<std::size_t, 2>> windows = fingerprint_windows(chain.size(), step);
    Outcome<std::vector<Spectrum>> spectra = run_spectra(
        windows.size(),
        [&](std::size_t w) { return Chain(chain.begin() + windows[w][0], chain.begin() + windows[w][1] + 1); },
        [&](std::size_t w) { return std::vector<std::uint64_t>{seed, windows[w][0], windows[w][1]}; }, false, table,
        options, samples, threads, control);
    if (auto* failure = std::get_if<Failure>(&spectra)) return std::move(*failure);
    std::vector<FingerprintRow> rows;
    rows.reserve(windows.size());
    const std::vector<Spectrum>& done = std::get<std::vector<Spectrum>>(spectra);
    for (std::size_t w = 0; w < windows.size(); ++w)
        rows.push_back({windows[w][0], windows[w][1], done[w].sorted().front()});
    return rows;
}

}  // namespace skeinlab
