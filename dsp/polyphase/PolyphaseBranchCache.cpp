#include "dsp/polyphase/PolyphaseBranchCache.hpp"

#include "dsp/polyphase/FilterDesign.hpp"

#include <iterator>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace {

using Key = StageFilterDesign;

struct Cache {
    std::mutex mutex;
    std::map<Key, std::weak_ptr<const PolyphaseBranches>> in_use;
    std::map<Key, std::shared_ptr<const PolyphaseBranches>> kept;
    std::size_t kept_bytes = 0;
};

Cache& TheCache() {
    static Cache cache;
    return cache;
}

std::shared_ptr<const PolyphaseBranches> Design(const StageFilterDesign& design) {
    return std::make_shared<const PolyphaseBranches>(design.up, DesignStageFilter(design));
}

} // namespace

std::shared_ptr<const PolyphaseBranches> PolyphaseBranchCache::For(int up, int down) {
    const StageFilterShape shape = StageFilter(up, down);
    return For(StageFilterDesign{up, down, shape.length, shape.cutoff, FilterWindow::Nuttall, 0.0});
}

std::shared_ptr<const PolyphaseBranches>
PolyphaseBranchCache::For(const StageFilterDesign& design) {
    Cache& cache = TheCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    const Key& key = design;
    const auto kept = cache.kept.find(key);
    if (kept != cache.kept.end()) {
        return kept->second;
    }
    const auto used = cache.in_use.find(key);
    if (used != cache.in_use.end()) {
        if (std::shared_ptr<const PolyphaseBranches> table = used->second.lock()) {
            return table;
        }
    }

    std::shared_ptr<const PolyphaseBranches> table = Design(design);
    // Forget the tables nobody holds any more, so that the map stays small.
    for (auto it = cache.in_use.begin(); it != cache.in_use.end();) {
        it = it->second.expired() ? cache.in_use.erase(it) : std::next(it);
    }
    cache.in_use[key] = table;
    const std::size_t bytes = table->Bytes();
    if (bytes <= max_kept_bytes) {
        if (cache.kept_bytes + bytes > max_kept_bytes) {
            // Stages holding the dropped tables keep them; later ones design
            // them again.
            cache.kept.clear();
            cache.kept_bytes = 0;
        }
        cache.kept.emplace(key, table);
        cache.kept_bytes += bytes;
    }
    return table;
}
