// oxrun's command line, runnable in process:
//   oxrun [OPTION]... PROGRAM [SCRIPT]     run once, the trace on out
//   oxrun --test [OPTION]... PATH...       run the test scripts found
// Exit status: 0 a normal end (every test passed); 1 a runtime error (a
// test failed); 2 a wrong command line, a broken module or script, or a
// source with errors.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace oxrun {

int run_oxrun(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace oxrun
