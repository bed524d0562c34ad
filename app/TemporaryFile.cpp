#include "app/TemporaryFile.hpp"

#include <boost/filesystem/operations.hpp>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace marrowvale {

namespace {

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
        boost::filesystem::unique_path("." + output.filename().string() + ".%%%%%%%%.part");
    return output.parent_path() / name;
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
