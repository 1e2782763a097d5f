// Progress of long work over the clients of a scenario: how many are done, of how many, and the
// time left, on standard error when it is a terminal and the work has run longer than about
// two seconds (KESVAR_PROGRESS_AFTER seconds, when set). In a pipe or a file, nothing.
#ifndef KESVAR_TOOLS_PROGRESS_H
#define KESVAR_TOOLS_PROGRESS_H

#include <stddef.h>

#include <chrono>

namespace kesvar_cli {

class Progress {
  public:
    explicit Progress(size_t total);
    // Wipes the line it showed, so what follows on the terminal starts clean.
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Called as each client starts.
    void Step();

  private:
    size_t total_, done_ = 0;
    std::chrono::steady_clock::time_point start_;
    bool terminal_, shown_ = false;
    double after_ = 2.0;
};

} // namespace kesvar_cli

#endif
