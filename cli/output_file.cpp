#include "cli/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace tavrin::cli {
namespace {

// The temporary files not yet committed, for the signal handler: a run writes at most the list
// and the snapshot.
std::array<std::atomic<const char*>, 2> g_temporaries{};

extern "C" void RemoveTemporaries(int signal) {
  for (std::atomic<const char*>& slot : g_temporaries)
    if (const char* path = slot.load()) unlink(path);
  ::signal(signal, SIG_DFL);
  raise(signal);  // delivered as the handler returns: the program ends as the signal asks
}

// The handler goes in once, and not for a signal the user ignores (nohup).
void InstallSignalHandler() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction current {};
      if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
      struct sigaction action {};
      action.sa_handler = RemoveTemporaries;
      sigemptyset(&action.sa_mask);
      sigaction(signal, &action, nullptr);
    }
  });
}

int Register(const std::string& temporary) {
  InstallSignalHandler();
  for (std::size_t i = 0; i < g_temporaries.size(); ++i) {
    const char* expected = nullptr;
    if (g_temporaries[i].compare_exchange_strong(expected, temporary.c_str()))
      return static_cast<int>(i);
  }
  throw std::logic_error("more outputs pending than the signal handler knows");
}

void Unregister(int slot) {
  if (slot >= 0) g_temporaries[static_cast<std::size_t>(slot)].store(nullptr);
}

[[noreturn]] void ThrowWriteError(int error, const std::string& path) {
  throw std::system_error(error, std::generic_category(), "cannot write " + path);
}

void WriteAll(int fd, const TextPieces& pieces, int& error) {
  for (std::string_view content : pieces) {
    while (error == 0 && !content.empty()) {
      const ssize_t written = write(fd, content.data(), content.size());
      if (written >= 0)
        content.remove_prefix(static_cast<std::size_t>(written));
      else if (errno != EINTR)
        error = errno;
    }
  }
}

// Writes into what is at `path` (a terminal, device or pipe, or a file that cannot be replaced
// without losing its owner), as a shell's redirection does.
void WriteInto(const std::string& path, const TextPieces& pieces, int flags) {
  const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | flags);
  if (fd < 0) ThrowWriteError(errno, path);
  int error = 0;
  WriteAll(fd, pieces, error);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ThrowWriteError(error, path);
}

// Where a chain of symbolic links ends, whether or not anything is there.
std::string LinkTarget(const std::string& path) {
  constexpr int kMaxLinks = 40;
  std::filesystem::path current(path);
  for (int i = 0; i < kMaxLinks; ++i) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error)))
      return current.string();
    const std::filesystem::path next = std::filesystem::read_symlink(current, error);
    if (error) ThrowWriteError(error.value(), path);
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  ThrowWriteError(ELOOP, path);
}

bool IsStream(const struct stat& status) {
  return S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode);
}

}  // namespace

CPreparedOutput::CPreparedOutput(const std::string& path, TextPieces pieces) {
  struct stat existing {};
  const bool exists = stat(path.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) ThrowWriteError(errno, path);
  if (exists && IsStream(existing)) {
    m_strPath = path;
    m_pieces = std::move(pieces);
    m_bStream = true;
    return;
  }
  if (exists && S_ISDIR(existing.st_mode))
    throw std::runtime_error("cannot write " + path + ": is a folder");
  if (exists && !S_ISREG(existing.st_mode))
    throw std::runtime_error("cannot write " + path + ": not a regular file");
  // The shell would not open it for writing either.
  if (exists && access(path.c_str(), W_OK) != 0) ThrowWriteError(errno, path);
  m_strPath = LinkTarget(path);

  const std::filesystem::path target(m_strPath);
  std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    if (!exists) ThrowWriteError(errno, path);
    // A folder the user may not write: the file itself is written into, as the shell would.
    m_pieces = std::move(pieces);
    return;
  }
  m_strTemporary = std::move(temporary);
  m_nSlot = Register(m_strTemporary);
  int error = 0;
  if (exists) {
    // A file whose owner or group this user cannot give is written into, as by the shell.
    if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      close(fd);
      unlink(m_strTemporary.c_str());
      Unregister(m_nSlot);
      m_nSlot = -1;
      m_strTemporary.clear();
      m_pieces = std::move(pieces);
      return;
    }
    if (fchmod(fd, existing.st_mode & 07777) != 0) error = errno;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) error = errno;
  }
  WriteAll(fd, pieces, error);
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ThrowWriteError(error, path);
}

CPreparedOutput::~CPreparedOutput() {
  if (m_strTemporary.empty()) return;
  unlink(m_strTemporary.c_str());
  Unregister(m_nSlot);
}

void CPreparedOutput::Commit() {
  if (m_strTemporary.empty()) return WriteInto(m_strPath, m_pieces, m_bStream ? 0 : O_TRUNC);
  if (std::rename(m_strTemporary.c_str(), m_strPath.c_str()) != 0)
    ThrowWriteError(errno, m_strPath);
  Unregister(m_nSlot);
  m_strTemporary.clear();
}

bool SameOutputFile(const std::string& path, const std::string& other) {
  std::error_code error;
  if (std::filesystem::equivalent(path, other, error)) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && !S_ISCHR(status.st_mode);
  }
  auto canonical = [&error](const std::string& name) {
    return std::filesystem::weakly_canonical(std::filesystem::absolute(name), error);
  };
  const std::filesystem::path first = canonical(path);
  return !error && first == canonical(other) && !error;
}

}  // namespace tavrin::cli
