#include "app/BatchPlan.hpp"

#include "app/Task_convert.hpp"
#include "app/TemporaryFile.hpp"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <cctype>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unordered_map>
#include <utility>

namespace fs = boost::filesystem;

namespace marrowvale {

namespace {

// A file's identity: device and inode when it exists, so that hard links
// and links to one file are one input; else its resolved path.
std::string IdentityOf(const fs::path& resolved) {
    struct stat info {};
    if (::stat(resolved.c_str(), &info) == 0) {
        return "#" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    }
    return resolved.string();
}

bool IsConvertibleName(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".wav" || extension == ".wave" || extension == ".bwf" ||
           extension == ".rf64";
}

// The part of `path` below `root`, or an empty path when it is not below.
fs::path Below(const fs::path& root, const fs::path& path) {
    auto p = path.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++p) {
        if (p == path.end() || *p != *r) {
            return {};
        }
    }
    fs::path rest;
    for (; p != path.end(); ++p) {
        rest /= *p;
    }
    return rest;
}

// Paths with their folder part resolved (links, "..", "."), the folders
// looked up once each.
class Resolver {
public:
    fs::path Folder(const fs::path& folder) {
        const auto found = folders.find(folder.string());
        if (found != folders.end()) {
            return found->second;
        }
        boost::system::error_code error;
        fs::path resolved = fs::weakly_canonical(fs::absolute(folder), error);
        if (error) {
            resolved = fs::absolute(folder).lexically_normal();
        }
        folders.emplace(folder.string(), resolved);
        return resolved;
    }
    // The file itself is not resolved: a link keeps its own name.
    fs::path File(const fs::path& file) { return Folder(file.parent_path()) / file.filename(); }

private:
    std::unordered_map<std::string, fs::path> folders;
};

struct Entry {
    fs::path input;
    fs::path walked_from; // the named folder a walk found the input in; empty: named itself
};

// Where outputs go for inputs placed relative to `base`: an absolute output
// folder as it is, a relative one below `base`.
fs::path OutputFolderFor(const BatchPlanSettings& settings, const fs::path& base) {
    if (IsAbsoluteFolder(settings.output_folder.generic_string())) {
        return settings.output_folder;
    }
    return base / settings.output_folder;
}

} // namespace

std::vector<fs::path> WalkFolder(const fs::path& folder, const std::vector<fs::path>& excluded,
                                 std::vector<std::string>& problems) {
    std::set<std::pair<dev_t, ino_t>> skipped;
    for (const fs::path& path : excluded) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            skipped.emplace(info.st_dev, info.st_ino);
        }
    }
    auto excluded_folder = [&skipped](const fs::path& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && skipped.count({info.st_dev, info.st_ino}) != 0;
    };
    std::vector<fs::path> files;
    std::vector<fs::path> pending;
    if (!excluded_folder(folder)) {
        pending.push_back(folder);
    }
    while (!pending.empty()) {
        const fs::path current = pending.back();
        pending.pop_back();
        boost::system::error_code error;
        for (fs::directory_iterator it(current, error), end; !error && it != end;
             it.increment(error)) {
            const fs::path& path = it->path();
            boost::system::error_code status_error;
            // A link to a folder is not followed; a link to a file is a file.
            if (fs::is_directory(it->symlink_status(status_error))) {
                if (!excluded_folder(path)) {
                    pending.push_back(path);
                }
            } else if (IsConvertibleName(path) && fs::is_regular_file(it->status(status_error))) {
                files.push_back(path);
            }
        }
        if (error) {
            problems.push_back("cannot read the folder \"" + current.generic_string() +
                               "\": " + error.message());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

BatchPlan PlanBatch(const std::vector<fs::path>& named_inputs, const BatchPlanSettings& settings) {
    BatchPlan plan;
    Resolver resolver;
    const fs::path root =
        settings.input_root.empty() ? fs::path() : resolver.Folder(settings.input_root);

    std::vector<Entry> entries;
    for (const fs::path& name : named_inputs) {
        boost::system::error_code error;
        if (!fs::is_directory(name, error)) {
            entries.push_back({name, {}});
            continue;
        }
        const fs::path base = root.empty() ? name : settings.input_root;
        for (fs::path& file : WalkFolder(name, {OutputFolderFor(settings, base)}, plan.problems)) {
            entries.push_back({std::move(file), name});
        }
    }

    // The whole table, the same on every shard.
    std::vector<BatchRow> table;
    table.reserve(entries.size());
    std::map<std::string, std::size_t> first_of_input;
    std::map<fs::path, std::size_t> first_of_output;
    std::map<fs::path, std::size_t> input_at;
    for (const Entry& entry : entries) {
        input_at.emplace(resolver.File(entry.input), table.size());
        table.push_back({entry.input, {}, RowVerdict::Convert, {}});
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        BatchRow& row = table[i];
        const Entry& entry = entries[i];
        const fs::path resolved_input = resolver.File(entry.input);
        auto skip = [&row](std::string reason) {
            row.verdict = RowVerdict::Skip;
            row.reason = std::move(reason);
        };
        const auto [first, fresh] = first_of_input.emplace(IdentityOf(resolved_input), i);
        if (!root.empty()) {
            const fs::path below = Below(root, resolved_input);
            if (below.empty()) {
                skip("is not below the input root \"" + settings.input_root.generic_string() +
                     "\"");
                continue;
            }
            row.output = OutputFolderFor(settings, settings.input_root) / below;
        } else if (!entry.walked_from.empty()) {
            row.output = OutputFolderFor(settings, entry.walked_from) /
                         entry.input.lexically_relative(entry.walked_from);
        } else {
            row.output =
                OutputFolderFor(settings, entry.input.parent_path()) / entry.input.filename();
        }
        if (!fresh) {
            skip("is the same file as \"" + table[first->second].input.generic_string() +
                 "\", converted once");
            continue;
        }
        const fs::path resolved_output = resolver.File(row.output);
        // The output replacing its own input is for the judgement to refuse.
        const auto replaced = input_at.find(resolved_output);
        if (replaced != input_at.end() && resolved_output != resolved_input &&
            IdentityOf(resolved_output) != IdentityOf(resolved_input)) {
            skip("its output \"" + row.output.generic_string() + "\" would replace the input \"" +
                 table[replaced->second].input.generic_string() + "\"");
            continue;
        }
        const auto [taken, free] = first_of_output.emplace(resolved_output, i);
        if (!free) {
            skip("its output \"" + row.output.generic_string() + "\" is taken by \"" +
                 table[taken->second].input.generic_string() + "\"");
        }
    }

    for (std::size_t i = settings.shard.index; i < table.size(); i += settings.shard.count) {
        BatchRow& row = table[i];
        boost::system::error_code error;
        if (settings.skip_existing && row.verdict == RowVerdict::Convert &&
            fs::is_regular_file(row.output, error)) {
            row.verdict = RowVerdict::Keep;
            row.reason = "the output exists";
        }
        plan.rows.push_back(std::move(row));
    }
    return plan;
}

void RemoveStaleTemporaries(const std::vector<BatchRow>& rows) {
    // Output names by folder, so that each folder is listed once.
    std::map<fs::path, std::set<std::string>> names;
    for (const BatchRow& row : rows) {
        if (row.verdict != RowVerdict::Skip) {
            names[row.output.parent_path()].insert(row.output.filename().string());
        }
    }
    for (const auto& [folder, outputs] : names) {
        boost::system::error_code error;
        std::vector<fs::path> stale;
        for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end;
             !error && it != end; it.increment(error)) {
            const std::string entry = it->path().filename().string();
            const std::string output = OutputNameOfTemporary(entry);
            if (!output.empty() && outputs.count(output) != 0) {
                stale.push_back(it->path());
            }
        }
        for (const fs::path& path : stale) {
            fs::remove(path, error);
        }
    }
}

} // namespace marrowvale
