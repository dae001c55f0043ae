// Output files written as carefully as a shell's redirection, and more: a file appears complete
// or not at all, and only once every output of the run is ready.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavrin::cli {

// The text of an output in pieces of about a mebibyte: a large list never needs one block of its
// whole size, nor twice that while a growing string moves.
using TextPieces = std::vector<std::string>;
constexpr std::size_t kTextPieceSize = std::size_t{1} << 20;

// One output made ready to take the place of PATH. A regular file (or none yet) is written whole
// beside its target and replaces it on Commit(), keeping its owner, group and mode; a symbolic
// link keeps being a link and its target is replaced; a terminal, device or pipe is written into
// on Commit(). A file the user may not write, a folder or anything else is refused. Until it is
// committed, the file beside the target goes with the object, and with SIGINT, SIGTERM and SIGHUP.
class CPreparedOutput {
 public:
  // Throws std::runtime_error (std::system_error for a failed call) saying why PATH is refused.
  CPreparedOutput(const std::string& path, TextPieces pieces);
  ~CPreparedOutput();
  CPreparedOutput(const CPreparedOutput&) = delete;
  CPreparedOutput& operator=(const CPreparedOutput&) = delete;

  // Puts the output in its place. Throws as the constructor does.
  void Commit();

 private:
  std::string m_strPath;       // the file that is replaced or written into
  std::string m_strTemporary;  // the complete file beside it; empty when written into
  TextPieces m_pieces;         // what is written into m_strPath on Commit()
  bool m_bStream = false;      // m_strPath is a terminal, device or pipe: written, not truncated
  int m_nSlot = -1;            // the temporary file's entry for the signal handler
};

// True when PATH and OTHER name one file that a run would replace (both, or a link to it).
bool SameOutputFile(const std::string& path, const std::string& other);

}  // namespace tavrin::cli
