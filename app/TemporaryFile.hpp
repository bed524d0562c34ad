#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

namespace marrowvale {

// A file written under a temporary name, removed again unless the writer
// commits it (after moving it into place). Every such file the process holds
// is known, so that a forced end can remove them all.
class TemporaryFile {
public:
    explicit TemporaryFile(boost::filesystem::path file);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const boost::filesystem::path& Path() const { return path; }
    void Commit();

private:
    boost::filesystem::path path;
    bool committed = false;
};

// A hidden name beside `output` for its unfinished bytes.
boost::filesystem::path TemporaryPathFor(const boost::filesystem::path& output);

// The output name a file name is the temporary of (".take.wav.0a1b2c3d.part"
// for "take.wav"), or an empty text when it is not a temporary of ours.
std::string OutputNameOfTemporary(const std::string& name);

// Removes every temporary file not yet committed or removed. For a program
// that must end at once; safe to call from any thread.
void RemoveTemporaryFiles();

} // namespace marrowvale
