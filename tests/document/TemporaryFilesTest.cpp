// The files the program makes: working files nobody else can plant, read or share, outputs that
// are whole or absent, and free space measured where the files go.
#include "document/FileError.h"
#include "document/FreeSpace.h"
#include "document/SafeFile.h"
#include "document/Settings.h"
#include "document/TempFiles.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnival {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Sets an environment variable for a scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const FileError& e) {
        return e.what();
    }
    return "";
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(TemporaryFiles, SystemFolderGivesEachUserAPrivateFolder) {
    TempDir shared;
    ScopedEnv tmp("TMPDIR", shared.path().c_str());
    // What an attacker would plant at the old predictable name: none of it is used.
    test::writeFile(shared.file("side1~.wav"), {1, 2, 3});
    fs::create_symlink("/etc/passwd", shared.file("side2~.wav"));
    ASSERT_EQ(mkfifo(shared.file("side3~.wav").c_str(), 0666), 0);

    const std::string mine = shared.file("tarnival-" + std::to_string(geteuid()));
    for (const char* input : {"/music/a/side1.wav", "/music/b/side2.wav", "/x/side3.wav"}) {
        std::string working = workingFilePath(input, ids::kTempSystem, "");
        EXPECT_EQ(fs::path(working).parent_path(), mine);
        File file;
        createTemporaryFile(file, working);
        EXPECT_EQ(modeOf(working), 0600u);
        file.writeAt(0, "abc", 3);
    }
    EXPECT_EQ(modeOf(mine), 0700u);
    EXPECT_EQ(test::readFile(shared.file("side1~.wav")), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(fs::is_symlink(shared.file("side2~.wav")));

    // A private folder that is not private is refused, whoever made it.
    fs::permissions(mine, fs::perms::all);
    EXPECT_NE(errorOf([] {
                  workingFolder("/x/side.wav", ids::kTempSystem, "");
              }).find("is not private to you"),
              std::string::npos);
    fs::remove_all(mine);
    fs::create_directory_symlink(shared.path(), mine);
    EXPECT_NE(errorOf([] {
                  workingFolder("/x/side.wav", ids::kTempSystem, "");
              }).find("is not private to you"),
              std::string::npos);
    fs::remove(mine);
    if (geteuid() == 0) {
        ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
        ASSERT_EQ(chown(mine.c_str(), 65534, 65534), 0);
        EXPECT_NE(errorOf([] {
                      workingFolder("/x/side.wav", ids::kTempSystem, "");
                  }).find("is not private to you"),
                  std::string::npos);
    }
}

TEST(TemporaryFiles, MissingOrEmptyTemporaryFolders) {
    TempDir dir;
    {
        ScopedEnv tmp("TMPDIR", "");
        EXPECT_EQ(systemTempFolder(), "/tmp");
    }
    {
        ScopedEnv tmp("TMPDIR", dir.file("gone").c_str());
        EXPECT_EQ(errorOf([] { workingFolder("/x/side.wav", ids::kTempSystem, ""); }),
                  "No such file or directory: " + dir.file("gone"));
    }
    EXPECT_EQ(errorOf([&] { workingFolder("/x/side.wav", ids::kTempUser, dir.file("nope")); }),
              "No such file or directory: " + dir.file("nope"));
    EXPECT_EQ(workingFolder("/x/side.wav", ids::kTempUser, dir.path().string()), dir.path());
    EXPECT_EQ(workingFolder("/music/in/side1.wav", ids::kTempSameFolder, ""), "/music/in");
    EXPECT_EQ(workingFolder("side1.wav", ids::kTempSameFolder, ""), ".");
    EXPECT_EQ(workingFileName("/music/in/side1.wav"), "side1~.wav");
    EXPECT_EQ(decodedFilePath("/t/side1~.wav"), "/t/side1~.tmp");
}

TEST(TemporaryFiles, WhatAlreadyHasTheNameIsRemovedOnlyWhenAStaleFileOfOurs) {
    TempDir dir;
    const std::string path = dir.file("side~.wav");
    const struct {
        const char* what;
        std::function<void()> plant;
        const char* refusal; // empty: the name is taken over
    } cases[] = {
        {"nothing", [] {}, ""},
        {"a stale working file",
         [&] {
             test::writeFile(path, {9});
             chmod(path.c_str(), 0600);
         },
         ""},
        {"a file of the user's", [&] { test::writeFile(path, {7}); }, "was not made by Tarnival"},
        {"a link", [&] { fs::create_symlink(dir.file("target"), path); }, "is in the way"},
        {"a FIFO", [&] { mkfifo(path.c_str(), 0600); }, "is in the way"},
    };
    for (const auto& c : cases) {
        fs::remove(path);
        c.plant();
        File file;
        std::string error = errorOf([&] { createTemporaryFile(file, path); });
        if (*c.refusal) {
            EXPECT_NE(error.find(c.refusal), std::string::npos) << c.what << ": " << error;
            EXPECT_FALSE(file.isOpen()) << c.what;
        } else {
            EXPECT_EQ(error, "") << c.what;
            EXPECT_EQ(fs::file_size(path), 0u) << c.what << ": never trusted";
        }
    }
    EXPECT_FALSE(fs::exists(dir.file("target")));

    // Held by another run: refused, and the holder's file is left alone.
    fs::remove(path);
    File holder;
    createTemporaryFile(holder, path);
    holder.writeAt(0, "held", 4);
    File second;
    EXPECT_EQ(errorOf([&] { createTemporaryFile(second, path); }),
              "Another Tarnival is working on " + path + ".");
    EXPECT_EQ(fs::file_size(path), 4u);
}

TEST(SafeFile, WholeOrNothingAndNeverOverAFileUnasked) {
    TempDir dir;
    const std::string target = dir.file("out.wav");
    auto write = [](SafeFile& s, const std::string& text) {
        File f(s.temporaryPath(), File::Mode::ReadWrite);
        f.writeAt(0, text.data(), text.size());
    };
    auto contents = [&] {
        auto b = test::readFile(target);
        return std::string(b.begin(), b.end());
    };
    {
        SafeFile s(target);
        EXPECT_EQ(fs::path(s.temporaryPath()).parent_path(), dir.path());
        EXPECT_EQ(fs::path(s.temporaryPath()).filename().string().rfind(".out.wav.partial-", 0),
                  0u);
        write(s, "first");
        EXPECT_FALSE(fs::exists(target)) << "no name before it is whole";
        s.commit(false);
    }
    EXPECT_EQ(contents(), "first");
    {
        SafeFile s(target);
        write(s, "second");
        EXPECT_NE(errorOf([&] { s.commit(false); }).find("File exists"), std::string::npos);
    } // not committed: the temporary file goes
    EXPECT_EQ(contents(), "first");
    {
        SafeFile s(target);
        write(s, "half");
    } // dropped part way
    EXPECT_EQ(contents(), "first");
    {
        SafeFile s(target);
        write(s, "third");
        s.commit(true);
    }
    EXPECT_EQ(contents(), "third");
    // A link planted at the name is replaced, not written through.
    const std::string victim = dir.file("victim");
    test::writeFile(victim, {'v'});
    fs::remove(target);
    fs::create_symlink(victim, target);
    {
        SafeFile s(target);
        write(s, "fourth");
        s.commit(true);
    }
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(test::readFile(victim), std::vector<uint8_t>{'v'});
    // Nothing but the outputs is left in the folder.
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 2);
    // A folder that cannot take it says why.
    EXPECT_NE(errorOf([&] {
                  SafeFile s(dir.file("no/such/folder/x.wav"));
              }).find("No such file or directory"),
              std::string::npos);
}

TEST(FreeSpace, MeasuredAtTheNearestFolderAndFailuresSayWhy) {
    TempDir dir;
    // Folders that do not exist yet, relative ones too, are measured where they would be made.
    EXPECT_EQ(spaceShortage(dir.file("not/yet/made"), 1000), "");
    EXPECT_EQ(spaceShortage("tracks-that-do-not-exist", 1000), "");
    EXPECT_EQ(spaceShortage(dir.path().string(), std::numeric_limits<int64_t>::max() / 2),
              "Insufficient space on Drive " + dir.path().string());
    setFreeSpaceProbe([](const std::string& folder) -> int64_t {
        if (folder == "bad") throw FileError("bad", "Permission denied");
        return kFreeSpaceReserve + 500;
    });
    EXPECT_EQ(spaceShortage("here", 500), "");
    EXPECT_EQ(spaceShortage("here", 501), "Insufficient space on Drive here");
    EXPECT_EQ(spaceShortage("bad", 1), "Permission denied: bad");
    setFreeSpaceProbe({});
}

} // namespace
} // namespace tarnival
