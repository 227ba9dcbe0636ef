// The Windows layer's folder lock and listing, and its console handler under a SignalGuard, called as
// the system calls it: a commit under way finishes first, then every temporary is removed and none is
// created any more. The handler leaves the process ending, so these tests have a program of their own.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_internal.h"
#include "tests/support/forwarding_files.h"

namespace recaster::platform {
namespace {

// A fresh folder in the temporary folder.
std::wstring MakeFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + name + L"-" + std::to_wstring(::GetCurrentProcessId());
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The names in `folder` that hold ".recaster-".
std::vector<std::wstring> Temporaries(const std::wstring& folder) {
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW data{};
  const HANDLE search = ::FindFirstFileW((folder + L"\\*.recaster-*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    found.push_back(data.cFileName);
  } while (::FindNextFileW(search, &data));
  ::FindClose(search);
  return found;
}

TEST(Win32Folders, ALockHeldIsRefusedAtOnceAndListingTellsFilesFromFolders) {
  const std::wstring folder = MakeFolder(L"recaster-lock");
  const std::u16string lock_path = win32::FromWide(folder + L"\\.recaster.lock");
  FileHandle held = kNoFile;
  ASSERT_TRUE(SystemFiles().LockFile(lock_path, &held).ok());
  FileHandle second = kNoFile;
  EXPECT_EQ(SystemFiles().LockFile(lock_path, &second).code, kLockViolation);
  SystemFiles().Close(held);
  ASSERT_TRUE(SystemFiles().LockFile(lock_path, &second).ok());
  SystemFiles().Close(second);
  ASSERT_TRUE(::CreateDirectoryW((folder + L"\\sub").c_str(), nullptr));
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(SystemFiles().ListFolder(win32::FromWide(folder), &entries).ok());
  ASSERT_EQ(entries.size(), 2u);
  for (const FolderEntry& entry : entries) {
    EXPECT_EQ(entry.kind, entry.name == u"sub" ? PathKind::kDirectory : PathKind::kRegularFile);
    EXPECT_FALSE(entry.is_link);
  }
  EXPECT_EQ(SystemFiles().ListFolder(win32::FromWide(folder + L"\\missing"), &entries).code, kPathNotFound);
  ::RemoveDirectoryW((folder + L"\\sub").c_str());
  ::DeleteFileW(win32::ToWide(lock_path).c_str());
  ::RemoveDirectoryW(folder.c_str());
}

// The file system of the writers, which tells the test what temporaries were made.
class RecordingFiles : public test::ForwardingFiles {
 public:
  OsStatus CreateTemporary(const std::u16string& destination, std::u16string* temporary, FileHandle* file) override {
    const OsStatus status = real_.CreateTemporary(destination, temporary, file);
    const std::lock_guard<std::mutex> lock(lock_);
    if (status.ok()) created_.push_back(*temporary);
    return status;
  }
  std::u16string Made(std::size_t i) {
    const std::lock_guard<std::mutex> lock(lock_);
    return created_.at(i);
  }

 private:
  std::mutex lock_;
  std::vector<std::u16string> created_;
};

std::atomic<bool> g_ended{false};
std::atomic<UINT> g_exit_code{0};
void RecordEnd(UINT exit_code) {
  g_exit_code = exit_code;
  g_ended = true;
}

// One line that the handler wrote to standard error, without its line feed; what came within 10
// seconds when no line does, so that a handler that writes nothing fails the test instead of hanging it.
std::string ReadLine(HANDLE pipe) {
  std::string line;
  for (int waited = 0; waited < 1000; ++waited) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) break;
    if (available == 0) {
      ::Sleep(10);
      continue;
    }
    char c = 0;
    DWORD read = 0;
    if (!::ReadFile(pipe, &c, 1, &read, nullptr) || read != 1 || c == '\n') break;
    line += c;
  }
  return line;
}

TEST(Win32SignalGuard, AConsoleEventWaitsForTheCommitThenRemovesEveryTemporary) {
  static RecordingFiles files;  // a late writer below waits in it for an end that never comes
  static std::atomic<bool> late_returned{false};
  const std::wstring folder = MakeFolder(L"recaster-guard");
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(::CreatePipe(&read_end, &write_end, nullptr, 0));
  const HANDLE saved_stderr = ::GetStdHandle(STD_ERROR_HANDLE);
  ::SetStdHandle(STD_ERROR_HANDLE, write_end);
  win32::EndProcessOnConsoleEvent = RecordEnd;
  SignalGuard guard;
  for (const wchar_t* name : {L"\\a.json", L"\\b.json", L"\\c.json"}) {
    std::u16string temporary;
    FileHandle file = kNoFile;
    ASSERT_TRUE(files.CreateTemporary(win32::FromWide(folder + name), &temporary, &file).ok());
    files.Close(file);
  }
  ASSERT_TRUE(guard.BeginCommit(2));
  std::thread handler([] { win32::RemoveTemporariesOnConsoleEvent(CTRL_C_EVENT); });
  EXPECT_EQ(ReadLine(read_end), "recaster: finishing: placing 2 files");
  EXPECT_FALSE(g_ended);
  EXPECT_TRUE(files.Replace(files.Made(0), win32::FromWide(folder + L"\\a.json")).ok());
  EXPECT_TRUE(files.Replace(files.Made(1), win32::FromWide(folder + L"\\b.json")).ok());
  guard.EndCommit();
  handler.join();
  ::SetStdHandle(STD_ERROR_HANDLE, saved_stderr);
  EXPECT_TRUE(g_ended);
  EXPECT_EQ(g_exit_code, static_cast<UINT>(STATUS_CONTROL_C_EXIT));
  EXPECT_TRUE(Exists(folder + L"\\a.json") && Exists(folder + L"\\b.json"));
  EXPECT_EQ(Temporaries(folder), std::vector<std::wstring>{});
  EXPECT_FALSE(guard.BeginCommit(1));
  std::thread([folder] {
    std::u16string temporary;
    FileHandle file = kNoFile;
    static_cast<void>(files.CreateTemporary(win32::FromWide(folder + L"\\d.json"), &temporary, &file));
    late_returned = true;
  }).detach();
  ::Sleep(200);
  EXPECT_FALSE(late_returned);
  EXPECT_EQ(Temporaries(folder), std::vector<std::wstring>{});
  ::CloseHandle(read_end);
  ::CloseHandle(write_end);
  for (const wchar_t* name : {L"\\a.json", L"\\b.json"}) ::DeleteFileW((folder + name).c_str());
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace recaster::platform
