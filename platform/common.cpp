// The parts of the platform layer that every operating system shares.
#include "platform/platform.h"

namespace recaster::platform {
namespace {

FileSystem* g_file_system = nullptr;  // a test's fake, when one is in place

OsStatus NotSupported() { return OsStatus{kNotSupported, DescribeSystemError(kNotSupported)}; }

}  // namespace

OsStatus FileSystem::Inspect(const std::u16string&, PathInfo*) { return NotSupported(); }

OsStatus FileSystem::CreateTemporary(const std::u16string&, std::u16string*, FileHandle*) { return NotSupported(); }

OsStatus FileSystem::Flush(FileHandle) { return NotSupported(); }

OsStatus FileSystem::Replace(const std::u16string&, const std::u16string&) { return NotSupported(); }

OsStatus FileSystem::Discard(const std::u16string&) { return NotSupported(); }

OsStatus FileSystem::FlushFiles(std::span<const std::u16string>) { return NotSupported(); }

OsStatus FileSystem::ReplaceInBatch(const std::u16string&, const std::u16string&) { return NotSupported(); }

OsStatus FileSystem::FlushFolder(const std::u16string&) { return NotSupported(); }

OsStatus FileSystem::CreateFolder(const std::u16string&) { return NotSupported(); }

OsStatus FileSystem::LockFile(const std::u16string&, FileHandle*) { return NotSupported(); }

OsStatus FileSystem::ListFolder(const std::u16string&, std::vector<FolderEntry>*) { return NotSupported(); }

FileSystem& Files() { return g_file_system != nullptr ? *g_file_system : SystemFiles(); }

ScopedFileSystem::ScopedFileSystem(FileSystem& fake) : previous_(g_file_system) { g_file_system = &fake; }

ScopedFileSystem::~ScopedFileSystem() { g_file_system = previous_; }

PathKind GetPathKind(const std::u16string& path) {
  PathInfo info;
  return Files().Inspect(path, &info).ok() ? info.kind : PathKind::kMissing;
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  PathInfo first;
  PathInfo second;
  if (!Files().Inspect(a, &first).ok() || !Files().Inspect(b, &second).ok()) return false;
  if (first.kind == PathKind::kMissing || second.kind == PathKind::kMissing) return false;
  return first.id == second.id && first.id != FileId{};
}

}  // namespace recaster::platform
