#pragma once

#include <string>

namespace varnel {

// A downloaded file is written under a side name and takes the place of the
// local copy only once it is complete, so a broken transfer never leaves a
// file that looks whole and an earlier good copy survives it. The side file
// is a new file of a name nobody else uses, beside the copy so the commit is
// a rename within one folder; it goes with the guard unless it was committed.
class LocalCopy {
public:
    explicit LocalCopy(std::string path);
    ~LocalCopy();
    LocalCopy(const LocalCopy&) = delete;
    LocalCopy& operator=(const LocalCopy&) = delete;

    const std::string& path() const { return target; }
    // Empty when no side file could be created (or the copy has no name).
    const std::string& partialPath() const { return partial; }
    // Puts the side file in the copy's place; false leaves the copy as it was.
    bool commit();

private:
    std::string target;
    std::string partial;
    bool committed = false;
};

} // namespace varnel
