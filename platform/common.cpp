// The parts of the platform layer that every operating system shares.
#include "platform/platform.h"

namespace recaster::platform {
namespace {

FileSystem* g_file_system = nullptr;  // a test's fake, when one is in place

}  // namespace

FileSystem& Files() { return g_file_system != nullptr ? *g_file_system : SystemFiles(); }

ScopedFileSystem::ScopedFileSystem(FileSystem& fake) : previous_(g_file_system) { g_file_system = &fake; }

ScopedFileSystem::~ScopedFileSystem() { g_file_system = previous_; }

}  // namespace recaster::platform
