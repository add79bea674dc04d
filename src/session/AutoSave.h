#pragma once
// The automatic session save: every 300 s of idle time while the document has unsaved changes,
// beside the input file, keeping the previous session as a ".bak".
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarnival {

class Profile;
class UserInterface;

// "C:/rec/side1.wav" -> "C:/rec/side1" + ext: the last four characters give way to ext.
std::string replaceExtension(const std::string& path, const std::string& ext);

class AutoSave {
  public:
    static constexpr int64_t kInterval = 300; // seconds between saves
    static constexpr int64_t kFirstDelay = 2; // seconds from switching on to the first save

    // What it needs from the document and the program.
    struct Hooks {
        std::function<bool()> busy;                   // playing or in a long operation
        std::function<bool()> modified;               // unsaved changes
        std::function<std::string()> inputPath;       // "" when nothing is open
        std::function<std::vector<uint8_t>()> encode; // the session as it stands
        std::function<void(bool)> showSaving;         // the status pane during a save
        // Writes the bytes to the (existing, empty) file; throws FileError. Tests put a failing
        // disk here.
        std::function<void(const std::string&, const std::vector<uint8_t>&)> writeFile;
        std::function<int64_t()> now; // seconds; a steady clock unless a test sets one
    };

    AutoSave(Profile& profile, UserInterface& ui, Hooks hooks);

    bool enabled() const;
    // The File menu toggle: stores "AutoSave"; switching on schedules the first save shortly.
    void setEnabled(bool on);
    // The idle loop's check; true when a save ran (whether or not it succeeded).
    bool idle();
    // One automatic save now. False when it could not run or failed (the user has been told of
    // a failure); the previous session and backup are then as they were.
    bool saveNow();
    int64_t lastSave() const { return last_; }

  private:
    Profile& profile_;
    UserInterface& ui_;
    Hooks hooks_;
    int64_t last_ = 0;
};

} // namespace tarnival
