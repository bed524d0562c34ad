#pragma once

#include <boost/filesystem.hpp>
#include <string>

namespace wavetest {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDirectory {
public:
    TempDirectory()
        : root(boost::filesystem::temp_directory_path() /
               boost::filesystem::unique_path("marrowvale-wave-%%%%-%%%%-%%%%")) {
        boost::filesystem::create_directories(root);
    }
    ~TempDirectory() {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(root, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    boost::filesystem::path operator/(const std::string& name) const { return root / name; }

private:
    boost::filesystem::path root;
};

} // namespace wavetest
