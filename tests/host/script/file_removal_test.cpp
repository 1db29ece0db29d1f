// Deleting files and pruning the folders they empty, on the in-memory drive.
#include "script/file_removal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "fakes/files_fake.h"
#include "support/bytes_file.h"
#include "support/log_file.h"

namespace {

using Paths = std::vector<std::string>;

class FileRemoval : public testing::Test {
  protected:
    void SetUp() override {
        files_fake_reset();
        log_path_ = open_test_log(test_file_name("log"), LOG_FILE);
    }
    void TearDown() override { log_close(); }
    std::string log() const { return read_file(log_path_); }

    std::string log_path_;
};

TEST_F(FileRemoval, TheLastFileTakesItsEmptiedFoldersUpToTheFirstThatHoldsEntries) {
    files_fake_add_file("C:\\Program Files\\Other\\keep.txt");
    files_fake_add_file("C:\\Program Files\\Acme\\Tool\\readme.txt");
    EXPECT_EQ(1, delete_file("C:\\Program Files\\Acme\\Tool\\readme.txt"));
    EXPECT_EQ(Paths({"C:\\Program Files", "C:\\Program Files\\Other",
                     "C:\\Program Files\\Other\\keep.txt"}),
              files_fake_paths());
    EXPECT_EQ("Delete file 'C:\\Program Files\\Acme\\Tool\\readme.txt'\n"
              "Deleting 'C:\\Program Files\\Acme\\Tool\\'\n"
              "Deleting 'C:\\Program Files\\Acme'\n",
              log());
}

TEST_F(FileRemoval, AFolderThatStillHoldsAnEntryStaysWithItsParents) {
    files_fake_add_file("C:\\Acme\\Tool\\a.txt");
    files_fake_add_folder("C:\\Acme\\Tool\\empty sub folder");
    EXPECT_EQ(1, delete_file("C:\\Acme\\Tool\\a.txt"));
    EXPECT_TRUE(files_fake_exists("C:\\Acme\\Tool"));
    EXPECT_EQ("Delete file 'C:\\Acme\\Tool\\a.txt'\n", log());
}

TEST_F(FileRemoval, AFileThatCannotBeDeletedIsLoggedAndItsFolderStays) {
    files_fake_add_file("C:\\Acme\\held.txt");
    files_fake_hold("C:\\Acme\\held.txt");
    EXPECT_EQ(1, delete_file("C:\\Acme\\held.txt"));
    EXPECT_TRUE(files_fake_exists("C:\\Acme\\held.txt"));
    EXPECT_EQ("Delete file 'C:\\Acme\\held.txt'\n"
              "Unable to delete file 'C:\\Acme\\held.txt'\n",
              log());
}

TEST_F(FileRemoval, AMissingFileStillPrunesItsEmptyFolder) {
    files_fake_add_folder("C:\\Acme\\Tool");
    files_fake_add_file("C:\\Acme\\other.txt");
    delete_file("C:\\Acme\\Tool\\gone.txt");
    EXPECT_FALSE(files_fake_exists("C:\\Acme\\Tool"));
    EXPECT_EQ("Delete file 'C:\\Acme\\Tool\\gone.txt'\n"
              "Unable to delete file 'C:\\Acme\\Tool\\gone.txt'\n"
              "Deleting 'C:\\Acme\\Tool\\'\n",
              log());
}

TEST_F(FileRemoval, ADriveRootIsNeverRemoved) {
    files_fake_add_file("C:\\Only\\x.txt");
    delete_file("C:\\Only\\x.txt");
    EXPECT_TRUE(files_fake_paths().empty());
    EXPECT_EQ(Paths({"delete C:\\Only\\x.txt", "cd \\", "list C:\\Only\\", "remove C:\\Only\\"}),
              files_fake_calls())
        << "C: is not tried";
    EXPECT_EQ("Delete file 'C:\\Only\\x.txt'\nDeleting 'C:\\Only\\'\n", log());
}

TEST_F(FileRemoval, EachFolderIsTriedFromTheRootOfTheDrive) {
    files_fake_add_file("C:\\Acme\\Tool\\x.txt");
    files_fake_add_file("C:\\keep.txt");
    delete_file("C:\\Acme\\Tool\\x.txt");
    EXPECT_EQ(Paths({"delete C:\\Acme\\Tool\\x.txt", "cd \\", "list C:\\Acme\\Tool\\",
                     "remove C:\\Acme\\Tool\\", "cd \\", "list C:\\Acme", "remove C:\\Acme"}),
              files_fake_calls());
}

TEST_F(FileRemoval, DotNamesDoNotCountButOtherEntriesDo) {
    // A name beginning with ".." is passed over like "." and "..", so the
    // folder counts as empty and its removal then fails.
    files_fake_add_file("C:\\Acme\\..hidden");
    EXPECT_EQ(0, remove_empty_dirs("C:\\Acme"));
    EXPECT_EQ("Deleting 'C:\\Acme'\nUnable to delete dir 'C:\\Acme'\n", log());

    files_fake_reset();
    files_fake_add_file("C:\\Tool\\.profile");
    EXPECT_EQ(1, remove_empty_dirs("C:\\Tool"));
    EXPECT_TRUE(files_fake_exists("C:\\Tool\\.profile"));
}

TEST_F(FileRemoval, ListingStopsAtTheFirstEntryThatKeepsTheFolder) {
    for (int i = 0; i < 500; ++i) {
        files_fake_add_file("C:\\Big\\file" + std::to_string(i) + ".dat");
    }
    for (int i = 0; i < 100; ++i) {
        delete_file(("C:\\Big\\file" + std::to_string(i) + ".dat").c_str());
    }
    // ".", ".." and the first remaining file for each deletion: linear work.
    EXPECT_EQ(300, files_fake_entries_visited());
}

TEST_F(FileRemoval, AFolderThatCannotBeListedOrRemovedEndsTheWayUp) {
    files_fake_add_folder("C:\\Acme\\Tool");
    files_fake_hold("C:\\Acme\\Tool");
    EXPECT_EQ(0, remove_empty_dirs("C:\\Acme\\Tool\\"));
    EXPECT_EQ(0, remove_empty_dirs("C:\\Missing\\"));
    EXPECT_EQ("Error opening 'C:\\Acme\\Tool\\'\nError opening 'C:\\Missing\\'\n", log());

    // Only the given folder's outcome is told.
    files_fake_reset();
    files_fake_add_folder("C:\\Acme\\Tool");
    files_fake_hold("C:\\Acme");
    EXPECT_EQ(1, remove_empty_dirs("C:\\Acme\\Tool"));
    EXPECT_FALSE(files_fake_exists("C:\\Acme\\Tool"));
}

TEST_F(FileRemoval, ForwardSlashesSeparateToo) {
    files_fake_add_file("C:/Acme/Tool/x.txt");
    files_fake_add_file("C:/keep.txt");
    delete_file("C:/Acme/Tool/x.txt");
    EXPECT_EQ(Paths({"C:/keep.txt"}), files_fake_paths());
    EXPECT_EQ("Delete file 'C:/Acme/Tool/x.txt'\nDeleting 'C:/Acme/Tool/'\nDeleting 'C:/Acme'\n",
              log());
}

TEST_F(FileRemoval, AFolderPathTooLongForTheBufferIsRefused) {
    std::string folder = "C:\\" + std::string(REMOVAL_FOLDER_SIZE, 'f');
    EXPECT_EQ(0, remove_empty_dirs(folder.c_str()));
    EXPECT_TRUE(files_fake_calls().empty());
    EXPECT_EQ(0u, log().find("Path too long 'C:\\fff"));
}

TEST_F(FileRemoval, OnlyWholeFullPathsAreUsable) {
    struct Case {
        const char* path;
        int whole;
        int usable;
        const char* line;
    } cases[] = {
        {"C:\\Acme\\a.txt", 1, 1, ""},
        {"d:/Acme/a.txt", 1, 1, ""},
        {"\\\\server\\share\\a.txt", 1, 1, ""},
        {"C:\\Acme\\a.t", 0, 0, "Path too long 'C:\\Acme\\a.t'\n"},
        {"a.txt", 1, 0, "Not a full path 'a.txt'\n"},
        {"\\Acme\\a.txt", 1, 0, "Not a full path '\\Acme\\a.txt'\n"},
        {"C:a.txt", 1, 0, "Not a full path 'C:a.txt'\n"},
        {"", 1, 0, "Not a full path ''\n"},
    };
    std::string expected;
    for (const Case& c : cases) {
        EXPECT_EQ(c.usable, path_is_usable(c.path, c.whole)) << c.path;
        expected += c.line;
    }
    EXPECT_EQ(expected, log());
}

} // namespace
