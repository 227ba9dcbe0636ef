// File: platform/platform.h - the few operating-system services the core uses: files, sleeping,
// special folders and paths. Everything above this layer is free of system headers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace recaster::platform {

// A Windows system error code, on every platform; 0 is success. The POSIX layer maps errno to these.
using SystemError = std::uint32_t;

inline constexpr SystemError kSuccess = 0;
inline constexpr SystemError kFileNotFound = 2;        // ERROR_FILE_NOT_FOUND
inline constexpr SystemError kPathNotFound = 3;        // ERROR_PATH_NOT_FOUND
inline constexpr SystemError kTooManyOpenFiles = 4;    // ERROR_TOO_MANY_OPEN_FILES
inline constexpr SystemError kAccessDenied = 5;        // ERROR_ACCESS_DENIED
inline constexpr SystemError kInvalidHandle = 6;       // ERROR_INVALID_HANDLE
inline constexpr SystemError kNotEnoughMemory = 8;     // ERROR_NOT_ENOUGH_MEMORY
inline constexpr SystemError kOutOfMemory = 14;        // ERROR_OUTOFMEMORY
inline constexpr SystemError kWriteProtect = 19;       // ERROR_WRITE_PROTECT
inline constexpr SystemError kReadFault = 30;          // ERROR_READ_FAULT
inline constexpr SystemError kGenFailure = 31;         // ERROR_GEN_FAILURE
inline constexpr SystemError kSharingViolation = 32;   // ERROR_SHARING_VIOLATION
inline constexpr SystemError kLockViolation = 33;      // ERROR_LOCK_VIOLATION
inline constexpr SystemError kHandleEof = 38;          // ERROR_HANDLE_EOF
inline constexpr SystemError kNotSupported = 50;       // ERROR_NOT_SUPPORTED
inline constexpr SystemError kFileExists = 80;         // ERROR_FILE_EXISTS
inline constexpr SystemError kInvalidParameter = 87;   // ERROR_INVALID_PARAMETER
inline constexpr SystemError kDiskFull = 112;          // ERROR_DISK_FULL
inline constexpr SystemError kInvalidName = 123;       // ERROR_INVALID_NAME
inline constexpr SystemError kDirNotEmpty = 145;       // ERROR_DIR_NOT_EMPTY
inline constexpr SystemError kFilenameTooLong = 206;   // ERROR_FILENAME_EXCED_RANGE
inline constexpr SystemError kFileTooLarge = 223;      // ERROR_FILE_TOO_LARGE
inline constexpr SystemError kFileSystemLimit = 665;   // ERROR_FILE_SYSTEM_LIMITATION (past the file size limit)
inline constexpr SystemError kLinkNotFollowed = 681;   // ERROR_STOPPED_ON_SYMLINK (another's link, shared folder)
inline constexpr SystemError kDirectory = 267;         // ERROR_DIRECTORY (a folder where a file was wanted)
inline constexpr SystemError kTooManyLinks = 1142;     // ERROR_TOO_MANY_LINKS
inline constexpr SystemError kCantResolveName = 1921;  // ERROR_CANT_RESOLVE_FILENAME (symbolic link loop)

// The outcome of one system call: its code and the system's own description of it.
struct [[nodiscard]] OsStatus {
  SystemError code = kSuccess;
  std::string message;  // UTF-8; empty on success

  bool ok() const { return code == kSuccess; }
};

// A success status.
inline OsStatus Ok() { return {}; }

// An open file, as the platform's own handle value. Not owning; see FileSystem::Close.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// A file that another process holds is tried this often, each failure followed by this wait, before
// kSharingViolation is given up with.
inline constexpr int kSharingAttempts = 4;
inline constexpr std::uint32_t kSharingWaitMs = 25;

// What a path names.
enum class PathKind { kMissing, kRegularFile, kDirectory, kOther };

// One file, whatever names lead to it: the device (volume) and the file's number on it.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t file = 0;

  bool operator==(const FileId&) const = default;
};

// What Inspect found at a path.
struct PathInfo {
  PathKind kind = PathKind::kMissing;  // of the file the path ends at, once links are followed
  bool is_link = false;                // the path is a symbolic link (possibly dangling)
  std::u16string target;               // where the links end: the path to write; the path itself if no link
  FileId id;                           // zero when missing
  std::uint64_t size = 0;              // of a regular file, in bytes, when it was looked at
};

// One entry of a folder (FileSystem::ListFolder).
struct FolderEntry {
  std::u16string name;                 // the last component only
  PathKind kind = PathKind::kMissing;  // of what it leads to, a link at its end followed
  bool is_link = false;
};

// The file calls of the core. The operating system's implementation is the default; tests put a fake
// in place with ScopedFileSystem to force what a disk can do (denied, missing folder, full, held).
// Inspect and the calls after it are refused with kNotSupported unless a file system provides them.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an existing file for reading. Other readers are welcome; a file that another process is
  // writing is tried kSharingAttempts times, kSharingWaitMs apart, then gives kSharingViolation.
  // On POSIX, anything but a regular file (a FIFO, a device) is refused at once, never waited for:
  // kAccessDenied, with the text "not a regular file" (a folder's text is the system's own).
  virtual OsStatus OpenForReading(const std::u16string& path, FileHandle* file) = 0;
  // The size of an open file in bytes.
  virtual OsStatus FileSize(FileHandle file, std::uint64_t* size) = 0;
  // One read request of at most `size` bytes; `*read` receives the count delivered.
  virtual OsStatus Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t* read) = 0;
  // Opens a file to be written in place: created, or emptied when it is a regular file (a device or
  // FIFO is written as it is). A regular file is held shared with nobody; one that another process
  // holds gives kSharingViolation and is left untouched.
  virtual OsStatus CreateForWriting(const std::u16string& path, FileHandle* file) = 0;
  // Writes the bytes; `*written` receives the count written (all of them unless the status says why not).
  // A write past the process's file size limit fails with kFileSystemLimit (SIGXFSZ is ignored meanwhile).
  virtual OsStatus Write(FileHandle file, const void* data, std::uint32_t size, std::uint32_t* written) = 0;
  // Closes a handle returned by one of the open calls.
  virtual void Close(FileHandle file) = 0;
  // Suspends the calling thread.
  virtual void Sleep(std::uint32_t milliseconds) = 0;

  // What `path` names, following symbolic links at its end. A path whose last component alone is
  // missing succeeds with kMissing; a missing or denied folder on the way, a name too long or a loop of
  // links is an error with the system's code and text.
  // On POSIX, a link in a sticky folder that everyone may write is followed only when it belongs to the
  // process's effective user or to the folder's owner (the rule the kernel may apply to its own
  // following); any other link met on the way gives kLinkNotFollowed, with the text "a link owned by
  // USER in a shared folder; not followed" and `target` set to the link's path.
  virtual OsStatus Inspect(const std::u16string& path, PathInfo* info);
  // Creates a new, empty file ".NAME.recaster-XXXXXX" in the folder of `destination` (NAME being its
  // last component), with the destination's permissions when it exists (its mode, and its owner where
  // the process may set it). Until Replace or Discard, the file is removed if a signal or console event
  // ends the process (POSIX: HUP, INT, QUIT, TERM, USR1, USR2, ALRM, VTALRM, PROF, XCPU, PIPE, POLL,
  // PWR, SYS; Windows: Ctrl+C, Ctrl+Break, closing the console). Refused with kLinkNotFollowed when a
  // link on the way is one Inspect would not follow; a link at the end is never followed.
  virtual OsStatus CreateTemporary(const std::u16string& destination, std::u16string* temporary, FileHandle* file);
  // Makes what was written to an open file durable on the disk.
  virtual OsStatus Flush(FileHandle file);
  // Puts the closed `temporary` in place of `destination` in one step, so that a reader sees the old
  // file or the new one, never a mix, and makes the change durable. A destination that the user may
  // not write gives kAccessDenied, one that another process holds gives kSharingViolation; on any
  // failure both files are left as they were. The links on the way are checked again as Inspect
  // checks them; a link at `destination` itself is replaced, never followed.
  virtual OsStatus Replace(const std::u16string& temporary, const std::u16string& destination);
  // Removes a temporary file that will not be put in place.
  virtual OsStatus Discard(const std::u16string& temporary);

  // For a batch of replacements, whose files are flushed together before any takes its place and whose
  // folders are flushed once after all of them (FlushFiles, ReplaceInBatch, FlushFolder):
  // Makes the content of the closed files durable, together where the system can (POSIX on Linux: one
  // flush of each file system that holds them; elsewhere and on Windows, file by file).
  virtual OsStatus FlushFiles(std::span<const std::u16string> paths);
  // Replace, except that the change becomes durable only with FlushFolder (on Windows it already is).
  virtual OsStatus ReplaceInBatch(const std::u16string& temporary, const std::u16string& destination);
  // Makes the names changed in the folder durable (a success on Windows, whose renames are written through).
  virtual OsStatus FlushFolder(const std::u16string& folder);
  // Creates the folder, whose parent must exist; one that exists already is a success.
  virtual OsStatus CreateFolder(const std::u16string& path);

  // Takes the advisory lock of the file `path` (created empty when missing, never emptied), which one
  // process at a time may hold, and returns it open in `*lock` for Close to let go. The system lets go
  // of it when the process ends, however it ends (POSIX: flock; Windows: LockFileEx). Another process's
  // lock gives kLockViolation at once, without waiting.
  virtual OsStatus LockFile(const std::u16string& path, FileHandle* lock);
  // The entries of a folder, "." and ".." left out, in no particular order. Each names what it leads
  // to once a link at its end is followed (is_link tells a link; a dangling one is kMissing).
  virtual OsStatus ListFolder(const std::u16string& folder, std::vector<FolderEntry>* entries);
};

// Runs `attempt` until it gives anything but kSharingViolation, at most kSharingAttempts times, with
// `files`' wait of kSharingWaitMs after each sharing violation (the last one too); its last status.
template <class Attempt>
OsStatus RetryWhileShared(FileSystem& files, Attempt attempt) {
  OsStatus status;
  for (int i = 0; i < kSharingAttempts; ++i) {
    status = attempt();
    if (status.code != kSharingViolation) break;
    files.Sleep(kSharingWaitMs);
  }
  return status;
}

// The file system in use: the operating system's, unless a ScopedFileSystem is alive.
FileSystem& Files();

// The operating system's file system, whatever is in use.
FileSystem& SystemFiles();

// Puts `fake` in place of the file system while it lives (tests only; not thread-safe).
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(FileSystem& fake);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  FileSystem* previous_;
};

// Owns an open file and closes it through the file system that opened it.
class ScopedFile {
 public:
  ScopedFile() = default;
  ScopedFile(FileSystem& fs, FileHandle file) : fs_(&fs), file_(file) {}
  ~ScopedFile() { reset(); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;

  FileHandle get() const { return file_; }
  void reset() {
    if (fs_ != nullptr && file_ != kNoFile) fs_->Close(file_);
    file_ = kNoFile;
  }

 private:
  FileSystem* fs_ = nullptr;
  FileHandle file_ = kNoFile;
};

// The system's own text for a system error code (UTF-8, no trailing line break). On POSIX, the text of
// kLinkNotFollowed is the one of the last refusal of a link on the calling thread, which names the
// link's owner, so that a caller that kept only the code says what the refusal said.
std::string DescribeSystemError(SystemError code);
// The same text with its inserts ("%1", "%2", ...) filled with `insert`, for a code whose text names the
// thing it failed on (the file that could not be opened, say). A text without inserts is unchanged.
std::string DescribeSystemError(SystemError code, std::string_view insert);

// The folders the default paths start from.
enum class SpecialFolder {
  kCommonAppData,  // machine-wide application data (/var/lib on POSIX)
  kDocuments,      // the user's documents
};

// The folder's path, or false when the system cannot tell it.
bool GetSpecialFolder(SpecialFolder folder, std::u16string* path);

// `left`, the platform's separator, then `right`; the separator is left out where `left` is empty or
// already ends in one (and, on Windows, after a bare drive designator such as "C:").
std::u16string JoinPath(std::u16string_view left, std::u16string_view right);

// What the path names (Files().Inspect); kMissing also when it cannot be inspected.
PathKind GetPathKind(const std::u16string& path);

// True when both paths name one existing file (the same device and file number), however named:
// through symbolic links, hard links, or different spellings of the path.
[[nodiscard]] bool SameFile(const std::u16string& a, const std::u16string& b);

// The path made absolute (the current folder before a relative path, the folders on the way
// resolved where they exist), for telling a person where a file went.
std::u16string AbsolutePath(const std::u16string& path);

// True when the path ends in a separator of the platform, and so can only name a folder.
bool EndsWithSeparator(std::u16string_view path);

// A path given on the command line (the system's narrow encoding) as wide text, and back.
std::u16string PathFromNative(std::string_view native);
std::string PathToNative(std::u16string_view path);

// True when standard input is an interactive terminal.
bool StdinIsTerminal();

// True when standard error is an interactive terminal (a console on Windows).
bool StderrIsTerminal();

// Reads standard input, in binary mode, to its end or until `limit` bytes are read (what follows them
// is left unread), into `bytes`.
OsStatus ReadStandardInput(std::size_t limit, std::string* bytes);

// Makes sure the standard streams 0, 1 and 2 are open, so that no file the program opens takes the
// place of one; a closed stream is opened on the null device for reading only, so that writing to a
// closed standard output still fails.
void GuardStandardStreams();

// The system's text for the last failed call of the C library's streams (errno), for a failed write
// to standard output.
std::string DescribeLastStreamError();

// Guards a call that writes many files from many threads against the signals that end a process
// (POSIX: the signals of FileSystem::CreateTemporary; Windows: Ctrl+C, Ctrl+Break, closing the console,
// logging off, shutting down). While a guard lives, such a signal is taken by a thread of the guard's
// own, never by a thread that is writing:
// - before BeginCommit, or when no commit is under way: every temporary is removed (none is created
//   after that) and the process ends as the signal would have ended it;
// - during a commit: "recaster: finishing: placing N files" ("1 file" for one) goes to standard error,
//   the commit goes on to EndCommit, then what is left is removed and the process ends as the signal
//   would (on Windows, with the exit code of a Ctrl+C, STATUS_CONTROL_C_EXIT, whatever the event).
// A second signal changes nothing. A thread that creates a temporary once the end has begun waits for
// the end and never returns. Only one guard lives at a time; construct it before the threads that
// write are started (on POSIX they inherit the blocked signals) and destroy it on the thread that
// constructed it, once they are done. On POSIX a signal that the process ignores or that someone
// else handles is left to them, so is one that a thread brings on itself (SIGPIPE, SIGSYS), and
// SIGURG is the guard's own while it lives.
class SignalGuard {
 public:
  SignalGuard();
  ~SignalGuard();
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

  // The commit of `files` files begins; false when a signal came first (the process is ending then:
  // the caller places nothing and returns).
  [[nodiscard]] bool BeginCommit(std::size_t files);
  // The commit is over; a signal taken during it now ends the process.
  void EndCommit();
};

// Gives the memory that the process has freed back to the system where its allocator keeps it (glibc
// keeps what each thread's arena once held); nothing elsewhere. For a call that lets go of a large
// conversion, so that what it holds does not grow with the number of threads that once held one.
void ReleaseFreedMemory();

// The full path of the running program's file; empty when the system cannot tell it.
std::u16string ProgramPath();

}  // namespace recaster::platform
