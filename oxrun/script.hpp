// Scripts: what happens to a program while it runs, one step a line.
//
//   # a comment                     blank lines and comments are skipped
//   program clock.oxs               the program a test script runs (relative
//                                   to the script's folder)
//   OnClick 10 20 1                 an event and its by-value arguments
//   wait 2500                       advance the virtual clock (milliseconds);
//                                   OnInterval fires for each full interval
//   answer MessageBox 6             queue what the next call of a recorded
//   answer LineInputBox 1 "text"    function stores in its by-reference
//                                   parameters, in order
//   time 2026-12-09 15:58:30        set the virtual calendar (GetTime)
//   setting volume 3                preload a setting (int or "string"; the
//   setting "last" "12:00:00"       name a word or quoted)
//
// Numbers are decimal or 0x hexadecimal, from -2147483648 to 4294967295
// (taken modulo 2^32). Strings are double-quoted UTF-8 with the escapes
// \" \\ \n \t \r and \xHH (a byte), stored in code page 932.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "oxrun/host.hpp"

namespace oxrun {

struct EventStep {
    std::size_t row = 0;  // in the event table
    std::vector<std::int32_t> values;
};
struct WaitStep {
    std::int64_t ms = 0;
};
struct AnswerStep {
    std::uint16_t number = 0;
    std::vector<AnswerValue> values;
};
struct TimeStep {
    CalendarTime time;
};
struct SettingStep {
    std::string name;
    AnswerValue value;
};
using ScriptStep = std::variant<EventStep, WaitStep, AnswerStep, TimeStep, SettingStep>;

struct Script {
    std::optional<std::string> program;  // as written
    std::vector<ScriptStep> steps;
    std::vector<int> lines;  // each step's line
};

// A script that does not parse: "NAME(LINE): what is wrong".
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Script parse_script(std::string_view text, const std::string& name);

}  // namespace oxrun
