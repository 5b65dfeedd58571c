// The system floor's contract, as the Windows backend keeps it under Wine
// (and the POSIX one, built with this file): renames that never replace, the
// batch output's lock, replaced files, private folders, the console's stop
// requests.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "platform/system/files.h"
#ifdef _WIN32
#include <windows.h>

#include "platform/system/stop_requests.h"
#include "platform/system/win32_console_stops.h"
#endif

namespace quarvel::system {
namespace {

namespace fs = std::filesystem;

class SystemFloor : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / fs::path(u8"quarvel-system-");
    folder_ += std::to_string(std::random_device{}());
    fs::remove_all(folder_);
    ASSERT_TRUE(fs::create_directories(folder_));
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path At(const char8_t* name) const { return folder_ / fs::path(name); }
  static void Put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  size_t Entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  fs::path folder_;
};

TEST_F(SystemFloor, RenamingNeverReplacesWhatIsThere) {
  struct Case {
    const char* name;
    bool source;
    bool target;
    RenameResult result;
  };
  for (const Case& c : {Case{"to a free name", true, false, RenameResult::Renamed},
                        Case{"onto a file", true, true, RenameResult::TargetExists},
                        Case{"of nothing", false, false, RenameResult::Failed}}) {
    SCOPED_TRACE(c.name);
    const fs::path from = At(u8"history.sqlite"), to = At(u8"history.sqlite.damaged");
    fs::remove(from);
    fs::remove(to);
    if (c.source) Put(from, "old");
    if (c.target) Put(to, "kept");
    EXPECT_EQ(RenameWithoutReplacing(from, to), c.result);
    if (c.result == RenameResult::Failed) {
      EXPECT_FALSE(LastError().empty());
    }
    EXPECT_EQ(fs::exists(from), c.result != RenameResult::Renamed && c.source);
    if (c.source || c.target) {
      EXPECT_EQ(Content(to), c.result == RenameResult::Renamed ? "old" : "kept");
    }
  }
}

TEST_F(SystemFloor, TheBatchOutputIsLockedOnceAndStaysReadableAndWritable) {
  const fs::path path = At(u8"batch.csv");
  const int first = OpenForAppend(path);
  ASSERT_GE(first, 0) << LastError();
  EXPECT_TRUE(IsRegularFile(first));
  EXPECT_EQ(LockExclusive(first), LockResult::Locked);
  const int second = OpenForAppend(path);
  ASSERT_GE(second, 0);
  EXPECT_EQ(LockExclusive(second), LockResult::Busy);

  // Rows are appended, a cut-off one is cut back, and another handle reads
  // the rows while the lock is held.
  for (const std::string row : {"entry\r\n", "A1\r\n", "A2,cut"})
    ASSERT_EQ(Write(first, row.data(), static_cast<int64_t>(row.size())),
              static_cast<int64_t>(row.size()));
  EXPECT_EQ(Size(first), 17);
  ASSERT_TRUE(Truncate(first, 11));
  EXPECT_EQ(ReadRegularFile(path, 1 << 20), "entry\r\nA1\r\n");
  const int reader = OpenForReading(path);
  char buffer[64];
  EXPECT_EQ(Read(reader, buffer, sizeof buffer), 11);
  EXPECT_EQ(Read(reader, buffer, sizeof buffer), 0);
  Close(reader);

  // The lock goes with its descriptor; the file can be renamed over meanwhile.
  EXPECT_EQ(ReplaceContent(folder_, path.filename(), "entry\r\n").stage, ReplaceStage::Replaced);
  Close(first);
  EXPECT_EQ(LockExclusive(second), LockResult::Locked);
  Close(second);
  EXPECT_EQ(Content(path), "entry\r\n");
}

TEST_F(SystemFloor, ReplacingAFileLeavesTheNewContentOrNothingAtAll) {
  struct Case {
    const char* name;
    bool existing;
    bool folder;
    ReplaceStage stage;
  };
  for (const Case& c : {Case{"a new file", false, true, ReplaceStage::Replaced},
                        Case{"an old one", true, true, ReplaceStage::Replaced},
                        Case{"in no folder", false, false, ReplaceStage::NoFolder}}) {
    SCOPED_TRACE(c.name);
    const fs::path into = c.folder ? folder_ : At(u8"missing");
    fs::remove(folder_ / u8"picture.jpg");
    if (c.existing) Put(folder_ / u8"picture.jpg", "old picture");
    const ReplaceResult result =
        ReplaceContent(into, u8"picture.jpg", std::string("new\0picture", 11));
    EXPECT_EQ(result.stage, c.stage);
    EXPECT_EQ(result.error.empty(), c.stage == ReplaceStage::Replaced);
    if (c.folder) {
      EXPECT_EQ(ReadRegularFile(into / u8"picture.jpg", 1 << 20), std::string("new\0picture", 11));
    }
    EXPECT_EQ(Entries(), c.folder || c.existing ? 1u : 0u);  // no temporary file stays
  }
  EXPECT_EQ(ReadRegularFile(folder_ / u8"picture.jpg", 4), std::nullopt);  // larger than allowed
  EXPECT_EQ(ReadRegularFile(folder_, 1 << 20), std::nullopt);              // a folder
}

TEST_F(SystemFloor, APrivateFolderIsMadeWhenMissingAndRefusedWhenAFile) {
  Put(At(u8"file"), "x");
  struct Case {
    const char8_t* name;
    FolderState before;
    bool made;
  };
  for (const Case& c :
       {Case{u8"data", FolderState::Missing, true}, Case{u8"file", FolderState::Unusable, false}}) {
    std::string reason;
    EXPECT_EQ(CheckPrivateFolder(At(c.name), &reason), c.before);
    EXPECT_EQ(MakePrivateFolder(At(c.name), &reason), c.made) << reason;
    EXPECT_EQ(CheckPrivateFolder(At(c.name), &reason),
              c.made ? FolderState::Usable : FolderState::Unusable);
    if (!c.made) {
      EXPECT_EQ(reason.rfind("it is no folder", 0), 0u) << reason;
    }
  }
}

#ifdef _WIN32
TEST(ConsoleStops, CtrlCReachesTheCatcherAndNotTheDefaultHandler) {
  std::atomic<int> got = 0;
  ConsoleStops stops([&](int request) { got = request; });
  if (!stops.Catching() || !GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
    GTEST_SKIP() << "no console to send Ctrl+C through";
  for (int i = 0; i < 200 && !got; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(got, kInterruptRequest);  // and the process is still here
}
#endif

}  // namespace
}  // namespace quarvel::system
