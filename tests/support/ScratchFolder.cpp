#include "support/ScratchFolder.hpp"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = boost::filesystem;

namespace testsupport {

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "marrowvale-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder from " + pattern);
    }
    path = pattern;
}

ScratchFolder::~ScratchFolder() {
    boost::system::error_code ignored;
    fs::remove_all(path, ignored);
}

std::vector<std::string> ScratchFolder::List(const std::string& sub) const {
    std::vector<std::string> names;
    boost::system::error_code error;
    for (fs::directory_iterator entry(sub.empty() ? path : path + "/" + sub, error), end;
         !error && entry != end; entry.increment(error)) {
        names.push_back(entry->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReadFileBytes(const fs::path& path) {
    std::ifstream in(path.string(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path.string(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace testsupport
