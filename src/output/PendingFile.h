#pragma once
#include "document/File.h"

#include <string>

namespace tarnival {

// An output written under a fresh temporary name beside its destination and renamed over it only
// when complete, so that a failed or abandoned encode never replaces (or truncates) an existing
// file of that name and never leaves a half-written file under the name the user chose.
class PendingFile {
  public:
    // Creates the temporary file; throws FileError when the folder does not take it.
    explicit PendingFile(std::string target);
    // Removes the temporary file unless it was committed.
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    File& file() { return file_; }
    const std::string& target() const { return target_; }
    const std::string& temporaryPath() const { return temporary_; }
    // Closes the file and puts it in place of the target; throws FileError on failure (the
    // temporary file is then removed).
    void commit();
    // Closes and removes the temporary file. Must not throw.
    void discard() noexcept;

  private:
    std::string target_;
    std::string temporary_;
    File file_;
    bool done_ = false;
};

} // namespace tarnival
