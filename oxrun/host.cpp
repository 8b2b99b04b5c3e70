#include "oxrun/host.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "oxrun/expression.hpp"
#include "symbols/host_tables.hpp"

namespace oxrun {

namespace {

// Standard-function numbers, as the host tables give them.
enum : std::uint16_t {
    kSetBasePoint = 0x00, kSetField = 0x01, kSetFieldPos = 0x02, kSetFieldSize = 0x03,
    kGetBasePoint = 0x04, kGetField = 0x05, kGetFieldPos = 0x06, kGetFieldSize = 0x07,
    kSetInterval = 0x20, kGetRemainInterval = 0x21, kGetProgressInterval = 0x22,
    kSetSettingInt = 0x30, kGetSettingInt = 0x31, kSetSettingString = 0x32, kGetSettingString = 0x33,
    kGetTime = 0x71,
    kStrcpy = 0x80, kStrcat = 0x81, kStrcmp = 0x82, kStrlen = 0x83, kStrcut = 0x84, kStrint = 0x85,
    kIntToStrHex = 0x90, kIntToStrhex = 0x91, kIntToStrOct = 0x92, kStrHexToInt = 0x93, kStrOctToInt = 0x94,
    kIntToStrDec = 0x95, kStrDecToInt = 0x96,
};

constexpr std::int32_t kMaxWidth = 255;  // the model's reading: widths above are taken as this
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kMillisecondsPerSecond = 1000;
constexpr std::int32_t kDaysToThursday = 4;  // 1970-01-01 was a Thursday

std::string_view name_of(std::uint16_t number) {
    for (const oxbuild::StandardFunction& f : oxbuild::standard_functions())
        if (f.number == number) return f.name;
    return "?";
}

void put(const HostArg& a, std::int32_t value) { *a.cell = static_cast<std::uint32_t>(value); }

std::int32_t compare_bytes(std::string_view a, std::string_view b) {
    const int c = a.compare(b);  // char_traits<char> compares as unsigned char
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// The model's reading of strcut: count bytes from 0-based start, within the string.
std::string cut(std::string_view s, std::int32_t start, std::int32_t count) {
    const std::size_t from = std::min(static_cast<std::size_t>(std::max(start, 0)), s.size());
    const std::size_t n = static_cast<std::size_t>(std::max(count, 0));
    return std::string(s.substr(from, n));
}

// The model's reading of IntToStr*: the value in the base, zero-padded to
// at least width digits (hexadecimal and octal show the value's 32 bits).
std::string number_text(std::uint16_t number, std::int32_t value, std::int32_t width) {
    const int w = std::clamp(width, 0, kMaxWidth);
    const char* form = number == kIntToStrHex ? "%0*X" : number == kIntToStrhex ? "%0*x" : number == kIntToStrOct ? "%0*o" : "%0*d";
    std::array<char, kMaxWidth + 16> buffer{};
    if (number == kIntToStrDec) std::snprintf(buffer.data(), buffer.size(), form, w, value);
    else std::snprintf(buffer.data(), buffer.size(), form, w, static_cast<unsigned>(static_cast<std::uint32_t>(value)));
    return buffer.data();
}

// The model's reading of Str*ToInt: blanks, an optional sign, then digits
// of the base (hexadecimal may begin 0x) up to the first other byte;
// wraps modulo 2^32; 0 when there are no digits.
std::int32_t parse_number(std::string_view s, unsigned base) {
    std::size_t at = 0;
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
    bool negative = false;
    if (at < s.size() && (s[at] == '-' || s[at] == '+')) negative = s[at++] == '-';
    if (base == 16 && at + 1 < s.size() && s[at] == '0' && (s[at + 1] == 'x' || s[at + 1] == 'X')) at += 2;
    std::uint32_t value = 0;
    for (; at < s.size(); ++at) {
        const char c = s[at];
        unsigned digit = c >= '0' && c <= '9' ? unsigned(c - '0') : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10) : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10) : 99;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t days_of(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

bool is_recorded(std::uint16_t number) {
    static constexpr std::uint16_t kCarriedOut[] = {
        kSetBasePoint, kSetField, kSetFieldPos, kSetFieldSize, kGetBasePoint, kGetField, kGetFieldPos, kGetFieldSize,
        kSetInterval, kGetRemainInterval, kGetProgressInterval, kSetSettingInt, kGetSettingInt, kSetSettingString,
        kGetSettingString, kGetTime, kStrcpy, kStrcat, kStrcmp, kStrlen, kStrcut, kStrint, kIntToStrHex,
        kIntToStrhex, kIntToStrOct, kStrHexToInt, kStrOctToInt, kIntToStrDec, kStrDecToInt};
    return std::find(std::begin(kCarriedOut), std::end(kCarriedOut), number) == std::end(kCarriedOut);
}

CalendarTime calendar_of(std::int64_t seconds, std::int32_t& weekday) {
    const std::int64_t days = floor_div(seconds, kSecondsPerDay);
    const std::int64_t rest = seconds - days * kSecondsPerDay;
    const std::int64_t z = days + 719468;
    const std::int64_t era = floor_div(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    CalendarTime t;
    t.year = static_cast<std::int32_t>(yoe + era * 400 + (m <= 2));
    t.month = static_cast<std::int32_t>(m);
    t.day = static_cast<std::int32_t>(d);
    t.hour = static_cast<std::int32_t>(rest / 3600);
    t.minute = static_cast<std::int32_t>(rest / 60 % 60);
    t.second = static_cast<std::int32_t>(rest % 60);
    weekday = static_cast<std::int32_t>(((days + kDaysToThursday) % 7 + 7) % 7);
    return t;
}

std::int64_t seconds_of(const CalendarTime& t) {
    return days_of(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
}

void ModelHost::set_calendar(const CalendarTime& t) { calendar_base_ = seconds_of(t) - now_ / kMillisecondsPerSecond; }

std::optional<std::int64_t> ModelHost::next_interval_until(std::int64_t until) {
    if (interval_ <= 0 || next_fire_ > until) return std::nullopt;
    now_ = next_fire_;
    return next_fire_;
}

namespace {

bool overlaps(const std::string& s, std::string_view v) {
    return !v.empty() && v.data() >= s.data() && v.data() < s.data() + s.capacity() + 1;
}

}  // namespace

void ModelHost::assign(std::string& to, std::string_view value) const {
    if (value.size() > options_.max_string)
        raise("a string of " + std::to_string(value.size()) + " bytes passes the model's limit of " +
              std::to_string(options_.max_string) + " bytes (--max-string)");
    if (overlaps(to, value)) to = std::string(value);
    else to.assign(value);
}

void ModelHost::append(std::string& to, std::string_view value) const {
    const std::size_t size = to.size() + value.size();
    if (size > options_.max_string)
        raise("a string of " + std::to_string(size) + " bytes passes the model's limit of " +
              std::to_string(options_.max_string) + " bytes (--max-string)");
    if (overlaps(to, value)) to += std::string(value);
    else to.append(value);
}

void ModelHost::store(std::span<HostArg> args, std::size_t first, std::span<std::int32_t> to) {
    for (std::size_t k = 0; k < to.size(); ++k) to[k] = args[first + k].value;
}

void ModelHost::load(std::span<HostArg> args, std::size_t first, std::span<const std::int32_t> from) {
    for (std::size_t k = 0; k < from.size(); ++k) put(args[first + k], from[k]);
}

// Recorded only: the by-reference parameters take the next queued answer.
void ModelHost::recorded(std::uint16_t number, std::span<HostArg> args) {
    auto queue = answers_.find(number);
    if (queue == answers_.end() || queue->second.empty()) return;
    const std::vector<AnswerValue> values = std::move(queue->second.front());
    queue->second.pop_front();
    std::size_t next = 0;
    for (HostArg& a : args) {
        if ((a.type & oxbuild::TYPE_BY_REFERENCE) == 0 || next >= values.size()) continue;
        const AnswerValue& v = values[next++];
        if (a.str != nullptr && std::holds_alternative<std::string>(v)) assign(*a.str, std::get<std::string>(v));
        if (a.cell != nullptr && std::holds_alternative<std::int32_t>(v)) put(a, std::get<std::int32_t>(v));
    }
}

// SetInterval(ms): the first OnInterval one period from now; 0 (or less) stops.
void ModelHost::set_interval(std::int32_t ms) {
    interval_ = std::max<std::int64_t>(ms, 0);
    next_fire_ = now_ + interval_;
}

void ModelHost::remain_interval(std::uint32_t* out) const {
    *out = static_cast<std::uint32_t>(interval_ > 0 ? next_fire_ - now_ : 0);
}

void ModelHost::progress_interval(std::uint32_t* out) const {
    *out = static_cast<std::uint32_t>(interval_ > 0 ? now_ - (next_fire_ - interval_) : 0);
}

void ModelHost::get_time(std::span<HostArg> args) const {
    std::int32_t weekday = 0;
    const CalendarTime t = calendar_of(calendar_base_ + now_ / kMillisecondsPerSecond, weekday);
    const std::int32_t parts[] = {t.year, t.month, t.day, t.hour, t.minute, t.second, weekday};
    for (std::size_t k = 0; k < args.size() && k < std::size(parts); ++k) put(args[k], parts[k]);
}

// Settings by name (exact bytes), ints and strings apart; a missing one
// reads as the call's third argument (the model's reading).
void ModelHost::settings(std::uint16_t number, std::span<HostArg> args) {
    const std::string name(args[0].text);
    switch (number) {
        case kSetSettingInt: int_settings_[name] = args[1].value; break;
        case kSetSettingString: string_settings_[name] = std::string(args[1].text); break;
        case kGetSettingInt: {
            const auto found = int_settings_.find(name);
            put(args[1], found != int_settings_.end() ? found->second : args[2].value);
            break;
        }
        default: {
            const auto found = string_settings_.find(name);
            assign(*args[1].str, found != string_settings_.end() ? found->second : args[2].text);
            break;
        }
    }
}

void ModelHost::call(std::uint16_t number, std::span<HostArg> a) {
    switch (number) {
        case kSetBasePoint: base_point = a[0].value; break;
        case kGetBasePoint: put(a[0], base_point); break;
        case kSetField: store(a, 0, field); break;
        case kSetFieldPos: store(a, 0, std::span(field).first(2)); break;
        case kSetFieldSize: store(a, 0, std::span(field).last(2)); break;
        case kGetField: load(a, 0, field); break;
        case kGetFieldPos: load(a, 0, std::span(field).first(2)); break;
        case kGetFieldSize: load(a, 0, std::span(field).last(2)); break;
        case kSetInterval: set_interval(a[0].value); break;
        case kGetRemainInterval: remain_interval(a[0].cell); break;
        case kGetProgressInterval: progress_interval(a[0].cell); break;
        case kSetSettingInt: case kGetSettingInt: case kSetSettingString: case kGetSettingString:
            settings(number, a);
            break;
        case kGetTime: get_time(a); break;
        case kStrcpy: assign(*a[0].str, a[1].text); break;
        case kStrcat: append(*a[0].str, a[1].text); break;
        case kStrcmp: put(a[0], compare_bytes(a[1].text, a[2].text)); break;
        case kStrlen: put(a[0], static_cast<std::int32_t>(std::min<std::size_t>(a[1].text.size(), INT32_MAX))); break;
        case kStrcut: assign(*a[0].str, cut(a[1].text, a[2].value, a[3].value)); break;
        case kStrint: {
            const std::string_view s = a[1].text;
            const std::int32_t at = a[2].value;
            put(a[0], at >= 0 && static_cast<std::size_t>(at) < s.size() ? static_cast<unsigned char>(s[static_cast<std::size_t>(at)]) : 0);
            break;
        }
        case kIntToStrHex: case kIntToStrhex: case kIntToStrOct: case kIntToStrDec:
            assign(*a[0].str, number_text(number, a[1].value, a[2].value));
            break;
        case kStrHexToInt: put(a[0], parse_number(a[1].text, 16)); break;
        case kStrDecToInt: put(a[0], parse_number(a[1].text, 10)); break;
        case kStrOctToInt: put(a[0], parse_number(a[1].text, 8)); break;
        default: recorded(number, a); break;
    }
    if (traced(number)) trace_.line(call_line(name_of(number), a));
}

}  // namespace oxrun
