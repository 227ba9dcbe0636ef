// File: tests/support/forwarding_files.h - a file system that passes every call to the operating
// system's; tests derive from it and change only the calls they watch or break.
#pragma once

#include <string>

#include "platform/platform.h"

namespace recaster::test {

class ForwardingFiles : public platform::FileSystem {
 public:
  using FileHandle = platform::FileHandle;
  using OsStatus = platform::OsStatus;

  OsStatus OpenForReading(const std::u16string& path, FileHandle* file) override {
    return real_.OpenForReading(path, file);
  }
  OsStatus FileSize(FileHandle file, std::uint64_t* size) override { return real_.FileSize(file, size); }
  OsStatus Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t* read) override {
    return real_.Read(file, buffer, size, read);
  }
  OsStatus CreateForWriting(const std::u16string& path, FileHandle* file) override {
    return real_.CreateForWriting(path, file);
  }
  OsStatus Write(FileHandle file, const void* data, std::uint32_t size, std::uint32_t* written) override {
    return real_.Write(file, data, size, written);
  }
  void Close(FileHandle file) override { real_.Close(file); }
  void Sleep(std::uint32_t ms) override { real_.Sleep(ms); }
  OsStatus Inspect(const std::u16string& path, platform::PathInfo* info) override { return real_.Inspect(path, info); }
  OsStatus CreateTemporary(const std::u16string& destination, std::u16string* temporary, FileHandle* file) override {
    return real_.CreateTemporary(destination, temporary, file);
  }
  OsStatus Flush(FileHandle file) override { return real_.Flush(file); }
  OsStatus Replace(const std::u16string& temporary, const std::u16string& destination) override {
    return real_.Replace(temporary, destination);
  }
  OsStatus Discard(const std::u16string& temporary) override { return real_.Discard(temporary); }
  OsStatus FlushFiles(std::span<const std::u16string> paths) override { return real_.FlushFiles(paths); }
  OsStatus ReplaceInBatch(const std::u16string& temporary, const std::u16string& destination) override {
    return real_.ReplaceInBatch(temporary, destination);
  }
  OsStatus FlushFolder(const std::u16string& folder) override { return real_.FlushFolder(folder); }
  OsStatus CreateFolder(const std::u16string& path) override { return real_.CreateFolder(path); }
  OsStatus LockFile(const std::u16string& path, FileHandle* lock) override { return real_.LockFile(path, lock); }
  OsStatus ListFolder(const std::u16string& folder, std::vector<platform::FolderEntry>* entries) override {
    return real_.ListFolder(folder, entries);
  }

 protected:
  platform::FileSystem& real_ = platform::SystemFiles();
};

}  // namespace recaster::test
