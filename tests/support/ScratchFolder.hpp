#pragma once

#include "support/WaveBytes.hpp"

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path; }
    // The path of an entry; `name` may hold further folders ("out/a.wav").
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    // Names of the entries of a sub-folder ("" for the folder itself), sorted;
    // empty when the sub-folder does not exist.
    std::vector<std::string> List(const std::string& sub = "") const;

private:
    std::string path;
};

Bytes ReadFileBytes(const boost::filesystem::path& path);
void WriteFileBytes(const boost::filesystem::path& path, const Bytes& bytes);

} // namespace testsupport
