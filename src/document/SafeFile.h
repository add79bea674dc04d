#pragma once
#include <string>

namespace tarnival {

// A file the user keeps (a track, a list, a session), written under a fresh hidden name in its
// own folder and moved to its name only when complete: an interrupted or failed write never
// leaves a file that looks finished, and never costs the file it was to replace.
class SafeFile {
  public:
    // Creates the temporary file (exclusively, never through a link) beside target. Throws
    // FileError when the folder cannot take it.
    explicit SafeFile(std::string target);
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Where to write; it exists, empty, until commit or discard.
    const std::string& temporaryPath() const { return temporary_; }
    const std::string& target() const { return target_; }

    // Flushes the written file to the disk and gives it its name. Without replace an existing
    // file of that name is never touched: FileError (EEXIST) instead.
    void commit(bool replace);
    // Removes the temporary file; called by the destructor unless committed.
    void discard() noexcept;

  private:
    std::string target_;
    std::string temporary_;
    bool open_ = false;
};

// Renames from to to; without replace, fails (EEXIST) rather than replace an existing file.
// Throws FileError naming to.
void renameFile(const std::string& from, const std::string& to, bool replace);

} // namespace tarnival
