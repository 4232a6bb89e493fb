#include <signal.h>
#include <sys/resource.h>

#include "cli/interrupts.h"
#include "cli/run_cli.h"

namespace {

// The folders held open down a deep walk and the files read ahead need
// descriptors: the soft limit (often 1,024) goes up to the hard one.
void raise_descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const quadrell::RunStop& stop = quadrell::catch_interrupts();
  // A closed pipe is a write that fails (EPIPE): the run stops before the
  // next file and says what could not be written, as for a full disk.
  ::signal(SIGPIPE, SIG_IGN);
  // Past the file-size limit a write fails (EFBIG) instead of ending the
  // program: a journal that can grow no more stops the run with its message.
  ::signal(SIGXFSZ, SIG_IGN);
  raise_descriptor_limit();
  std::vector<quadrell::NativePath> arguments(argv + 1, argv + argc);
  quadrell::ConsoleOutput output;
  const int status = quadrell::run_cli(arguments, output, &stop);
  if (status == quadrell::kExitInterrupted) quadrell::end_as_interrupted();
  return status;
}
