#include "common/program_options.h"

#include "common/reset.h"

namespace kavel {

namespace {

ProgramOptions current;
const bool registered = registerReset([] { current = ProgramOptions{}; });

}  // namespace

ProgramOptions& programOptions() {
    return current;
}

}  // namespace kavel
