// The model host: carries out the standard functions whose meaning their
// name and parameters fix (strings, stored get/set pairs, settings, the
// interval timer and calendar on a virtual clock) and records every other
// call, whose by-reference parameters take the script's queued answers.
// It is a model for tests, not the desktop host.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "oxrun/machine.hpp"
#include "oxrun/trace.hpp"

namespace oxrun {

// One value a script queues for a by-reference parameter.
using AnswerValue = std::variant<std::int32_t, std::string>;

// The virtual calendar: a date and time of day, advanced by the clock.
struct CalendarTime {
    std::int32_t year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The calendar until a script sets it: 2000-01-01 00:00:00.
inline constexpr std::int64_t kDefaultCalendar = 946684800;

struct HostOptions {
    std::size_t max_string = std::size_t{64} << 20;  // bytes of one str value
    std::set<std::uint16_t> hidden;  // standard functions left out of the trace
};

class ModelHost final : public Host {
public:
    ModelHost(Trace& trace, HostOptions options) : trace_(trace), options_(std::move(options)) {
        for (const std::uint16_t number : options_.hidden) hidden_[number & kNumberMask] = true;
    }

    void call(std::uint16_t number, std::span<HostArg> args) override;
    bool traced(std::uint16_t number) const override { return !hidden_[number & kNumberMask]; }

    // Script steps.
    void queue_answer(std::uint16_t number, std::vector<AnswerValue> values) {
        answers_[number].push_back(std::move(values));
    }
    void set_calendar(const CalendarTime& t);
    void preload_setting(const std::string& name, std::int32_t value) { int_settings_[name] = value; }
    void preload_setting(const std::string& name, const std::string& value) { string_settings_[name] = value; }

    // The interval timer on the virtual clock (milliseconds). The time of
    // the next OnInterval when the timer runs and it falls at or before
    // until; the clock is then moved there.
    std::optional<std::int64_t> next_interval_until(std::int64_t until);
    void interval_fired() { next_fire_ += interval_; }
    void advance_clock(std::int64_t to) { now_ = to; }
    std::int64_t now() const { return now_; }

    // Handlers of the standard functions.
    void store(std::span<HostArg> args, std::size_t first, std::span<std::int32_t> to);
    void load(std::span<HostArg> args, std::size_t first, std::span<const std::int32_t> from);
    void recorded(std::uint16_t number, std::span<HostArg> args);
    void set_interval(std::int32_t ms);
    void remain_interval(std::uint32_t* out) const;
    void progress_interval(std::uint32_t* out) const;
    void get_time(std::span<HostArg> args) const;
    void settings(std::uint16_t number, std::span<HostArg> args);
    // A str& result: the whole value, or the value appended; the value may
    // be a view of the destination itself.
    void assign(std::string& to, std::string_view value) const;
    void append(std::string& to, std::string_view value) const;

    std::int32_t base_point = 0;
    std::int32_t field[4] = {0, 0, 0, 0};  // x, y, width, height

private:
    static constexpr std::uint16_t kNumberMask = 0xFF;  // standard numbers are below 256
    Trace& trace_;
    HostOptions options_;
    std::array<bool, kNumberMask + 1> hidden_{};
    std::map<std::uint16_t, std::deque<std::vector<AnswerValue>>> answers_;
    std::map<std::string, std::int32_t> int_settings_;
    std::map<std::string, std::string> string_settings_;
    std::int64_t now_ = 0;
    std::int64_t interval_ = 0;   // 0: stopped
    std::int64_t next_fire_ = 0;
    std::int64_t calendar_base_ = kDefaultCalendar;  // seconds since 1970-01-01 at clock 0
};

// Whether the model only records the standard function (and answers its
// by-reference parameters from the script) rather than carrying it out.
bool is_recorded(std::uint16_t number);

// The parts of a count of seconds since 1970-01-01, and the weekday
// (0 Sunday to 6 Saturday).
CalendarTime calendar_of(std::int64_t seconds, std::int32_t& weekday);
std::int64_t seconds_of(const CalendarTime& t);

}  // namespace oxrun
