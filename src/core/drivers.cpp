#include "drivers.hpp"

#include <algorithm>
#include <new>
#include <system_error>

#include "knotsize.hpp"
#include "pool.hpp"

namespace skeinlab {
namespace {

constexpr std::uint64_t kMaxDedicatedWorkers = 65535;

// Runs step(i) for every frame on the chosen pool and reduces the outcomes in
// frame order. A step that throws becomes that frame's failure, so one broken
// frame never takes the process down and the others still run.
template <class T, class Step>
Outcome<std::vector<T>> run_frames(std::size_t count, std::optional<std::uint64_t> threads, Step step) {
    if (threads && *threads == 0) return Failure{"threads must be >= 1"};
    std::vector<std::optional<Outcome<T>>> slots(count);
    auto item = [&](std::size_t i) {
        try {
            slots[i] = step(i);
        } catch (const InternalError& e) {
            slots[i] = Outcome<T>(Failure{e.what(), Failure::Kind::Internal});
        } catch (const std::bad_alloc&) {
            slots[i] = Outcome<T>(Failure{"out of memory", Failure::Kind::OutOfMemory});
        } catch (const std::exception& e) {
            slots[i] = Outcome<T>(Failure{e.what(), Failure::Kind::Internal});
        }
    };
    if (count > 0) {
        try {
            if (threads) {
                // A dedicated pool never needs more workers than there are frames.
                const std::uint64_t workers = std::min<std::uint64_t>({*threads, kMaxDedicatedWorkers, count});
                WorkerPool pool(static_cast<std::size_t>(workers));
                pool.parallel_for(count, item);
            } else {
                WorkerPool::shared().parallel_for(count, item);
            }
        } catch (const std::system_error& e) {
            // The system refused to start a worker thread.
            return Failure{e.code().message() + " (os error " + std::to_string(e.code().value()) + ")"};
        }
    }
    std::vector<T> results;
    results.reserve(count);
    for (std::optional<Outcome<T>>& slot : slots) {
        if (auto* failure = std::get_if<Failure>(&*slot)) return std::move(*failure);
        results.push_back(std::get<T>(std::move(*slot)));
    }
    return results;
}

}  // namespace

Outcome<std::string> classify_frame(const Chain& chain, const AlexanderTable& table,
                                    const KnotTypeOptions& options) {
    Result<std::string> name = get_knottype(chain, table, options);
    if (name) return std::move(name).value();
    if (name.error().kind() == KnotError::Kind::NotFound) return name.error().message();
    return Failure{name.error().display()};
}

Outcome<std::vector<std::string>> classify_frames(const FrameSet& frames, const AlexanderTable& table,
                                                  const KnotTypeOptions& options,
                                                  std::optional<std::uint64_t> threads) {
    return run_frames<std::string>(frames.size(), threads,
                                   [&](std::size_t i) { return classify_frame(frames[i], table, options); });
}

Outcome<KnotSizes> compute_knot_size(const FrameSet& frames, const AlexanderTable& table,
                                     const KnotTypeOptions& options, std::optional<std::uint64_t> threads) {
    using Sized = std::pair<std::string, CoreTriple>;
    Outcome<std::vector<Sized>> outcome = run_frames<Sized>(
        frames.size(), threads, [&](std::size_t i) { return knot_size_of_frame(frames[i], table, options); });
    if (auto* failure = std::get_if<Failure>(&outcome)) return std::move(*failure);
    KnotSizes sizes;
    for (Sized& s : std::get<std::vector<Sized>>(outcome)) {
        sizes.names.push_back(std::move(s.first));
        sizes.cores.push_back(s.second);
    }
    return sizes;
}

}  // namespace skeinlab
