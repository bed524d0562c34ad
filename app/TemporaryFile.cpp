#include "app/TemporaryFile.hpp"

#include <boost/filesystem/operations.hpp>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace marrowvale {

namespace {

constexpr char temporary_suffix[] = ".part";
constexpr std::size_t temporary_tag_size = 8; // hexadecimal digits

// Never destroyed, so that a forced end racing with the normal one still
// finds it whole.
struct Registry {
    std::mutex mutex;
    std::set<std::string> paths;
};

Registry& Files() {
    static Registry* registry = new Registry;
    return *registry;
}

} // namespace

TemporaryFile::TemporaryFile(boost::filesystem::path file) : path(std::move(file)) {
    Registry& files = Files();
    const std::lock_guard<std::mutex> lock(files.mutex);
    files.paths.insert(path.string());
}

TemporaryFile::~TemporaryFile() {
    if (!committed) {
        boost::system::error_code ignored;
        boost::filesystem::remove(path, ignored);
    }
    Registry& files = Files();
    const std::lock_guard<std::mutex> lock(files.mutex);
    files.paths.erase(path.string());
}

void TemporaryFile::Commit() {
    committed = true;
    Registry& files = Files();
    const std::lock_guard<std::mutex> lock(files.mutex);
    files.paths.erase(path.string());
}

boost::filesystem::path TemporaryPathFor(const boost::filesystem::path& output) {
    const boost::filesystem::path name =
        boost::filesystem::unique_path("." + output.filename().string() + "." +
                                       std::string(temporary_tag_size, '%') + temporary_suffix);
    return output.parent_path() / name;
}

std::string OutputNameOfTemporary(const std::string& name) {
    const std::size_t suffix = sizeof(temporary_suffix) - 1;
    if (name.size() < 1 + 1 + 1 + temporary_tag_size + suffix || name[0] != '.' ||
        name.compare(name.size() - suffix, suffix, temporary_suffix) != 0) {
        return {};
    }
    const std::size_t tag = name.size() - suffix - temporary_tag_size;
    if (name[tag - 1] != '.' ||
        name.find_first_not_of("0123456789abcdef", tag) != tag + temporary_tag_size) {
        return {};
    }
    return name.substr(1, tag - 2);
}

void RemoveTemporaryFiles() {
    Registry& files = Files();
    const std::lock_guard<std::mutex> lock(files.mutex);
    for (const std::string& path : files.paths) {
        std::remove(path.c_str());
    }
    files.paths.clear();
}

} // namespace marrowvale
