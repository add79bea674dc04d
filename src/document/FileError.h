#pragma once
#include <stdexcept>
#include <string>

namespace tarnival {

// A read, write or open failure on a file: carries the path and the system's error text so the
// user sees which file failed and why. The text shown is "reason: path" unless a whole sentence
// is given.
class FileError : public std::runtime_error {
  public:
    FileError(std::string path, std::string reason)
        : std::runtime_error(reason + ": " + path), path_(std::move(path)),
          reason_(std::move(reason)) {}
    FileError(std::string path, std::string reason, const std::string& sentence)
        : std::runtime_error(sentence), path_(std::move(path)), reason_(std::move(reason)) {}
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

  private:
    std::string path_;
    std::string reason_;
};

} // namespace tarnival
