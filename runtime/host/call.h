// call: runs another program on posix_spawn, its standard streams from and to values or
// files through pipes served together by poll, and reaps every child it started by pid.
// Text crosses as UTF-8; captured text has CR LF and a lone CR turned into LF.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "runtime/cell.h"

namespace vyr::call {

// The command text cut into program arguments: blanks (space, tab) outside double quotes
// separate; a piece's leading quote is dropped, and its trailing quote unless that is the
// one just dropped; quotes inside stay; a piece of two quotes is an empty argument.
std::vector<std::string> split_command_line(const std::string& text);

// One standard stream of the child.
struct stream {
  enum kind_t { NONE, FILE, DATA };  // NONE: /dev/null
  kind_t kind = NONE;
  std::string path;                  // FILE: opened for reading (input) or appended to
  std::string bytes;                 // DATA: the input to feed
  // DATA output: the capture in chunks of at most CHUNK bytes (no regrowth copies, and
  // each chunk can go as soon as it is stored), their total, and whether all is ASCII.
  static constexpr size_t CHUNK = 1 << 20;
  std::vector<std::pair<std::unique_ptr<char[]>, size_t>> chunks;
  size_t total = 0;
  bool ascii = true;
  std::string joined();  // the capture as one string, the chunks given up
};

// Starts argv[0] (looked up on PATH) with its streams; waits when asked or when any stream
// is redirected. Answers the exit status (128 + the signal's number when one ended it), the
// process id when not waiting, or -1 when nothing started (no argument, a file that cannot
// be opened, a pipe or spawn failure). Output and error captures land in the chunks of out
// and err. Every descriptor but the three standard streams is closed in the child, which
// starts with default signal dispositions and an empty signal mask.
i64 spawn(const std::vector<std::string>& argv, bool wait, stream& in, stream& out,
          stream& err);

// The native's body: cmd (string! or file!), the flags, and the /input, /output and /error
// values (null when absent). The integer! result goes to the native's result cell.
void run(const cell* cmd, bool wait, bool show, bool console, bool shell, const cell* input,
         const cell* output, const cell* error);

// Starts a program without waiting (its streams on /dev/null); the child is reaped when it
// ends. Answers the pid or -1.
i64 start_detached(const std::vector<std::string>& argv);

// Reaps the children started without waiting that have ended (also done on SIGCHLD).
void reap_detached();

}  // namespace vyr::call
