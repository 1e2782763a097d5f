#include "scenario/progress.h"

#include <math.h>
#include <stdlib.h>
#include <unistd.h>

#include <iostream>
#include <string>

#include "scenario/text.h"

namespace kesvar_cli {

Progress::Progress(size_t total)
    : total_(total), start_(std::chrono::steady_clock::now()), terminal_(isatty(2) != 0) {
    const char* after = getenv("KESVAR_PROGRESS_AFTER");
    if (after) after_ = atof(after);
}

Progress::~Progress() {
    if (shown_) std::cerr << "\r" << std::string(60, ' ') << "\r" << std::flush;
}

void Progress::Step() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (terminal_ && done_ > 0 && elapsed >= after_) {
        const double left = elapsed / double(done_) * double(total_ - done_);
        std::cerr << Sprintf("\rkesvar: %zu of %zu clients, about %.0f s left ", done_, total_,
                             ceil(left))
                  << std::flush;
        shown_ = true;
    }
    ++done_;
}

} // namespace kesvar_cli
