#include "oxdump/byte_cursor.hpp"

namespace oxdump {

void fail(Offset offset, const std::string& what) { throw FormatError(offset, what); }

std::string hex(std::uint32_t value, int digits) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0 || static_cast<int>(text.size()) < digits);
    return "0x" + text;
}

Cursor::Cursor(std::span<const std::uint8_t> file, Offset begin, Offset end, std::string_view window_name)
    : file_(file), begin_(begin), end_(end), at_(begin), window_name_(window_name) {
    if (begin > end || end > file.size()) fail(begin, "internal: window outside the file");
}

Cursor::Cursor(std::span<const std::uint8_t> file) : Cursor(file, 0, file.size(), "the file") {}

std::string count_of(std::uint64_t count, std::string_view noun) {
    std::string text = std::to_string(count);
    text += ' ';
    text += noun;
    if (count != 1) text += 's';
    return text;
}

void Cursor::need(Offset size, std::string_view field) const {
    if (size > remaining())
        fail(at_, std::string(field) + " needs " + std::to_string(size) + " bytes, but " + window_name_ + " ends at " +
                      std::to_string(end_));
}

void Cursor::seek(Offset offset, std::string_view field) {
    if (offset < begin_ || offset > end_)
        fail(at_, std::string(field) + " at " + std::to_string(offset) + " lies outside " + window_name_ + " (" +
                      std::to_string(begin_) + " to " + std::to_string(end_) + ")");
    at_ = offset;
}

void Cursor::require(Offset count, Offset size, std::string_view field) const {
    // Compared by division so that a huge count cannot overflow the product.
    if (size != 0 && count > remaining() / size)
        fail(at_, std::string(field) + ": " + std::to_string(count) + " of " + std::to_string(size) +
                      " bytes each do not fit before " + window_name_ + " ends at " + std::to_string(end_));
}

std::uint8_t Cursor::byte(std::string_view field) {
    need(1, field);
    return file_[at_++];
}

std::uint16_t Cursor::word(std::string_view field) {
    need(2, field);
    const auto value = static_cast<std::uint16_t>(file_[at_] | (file_[at_ + 1] << 8));
    at_ += 2;
    return value;
}

std::uint32_t Cursor::dword(std::string_view field) {
    need(4, field);
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | file_[at_ + static_cast<Offset>(i)];
    at_ += 4;
    return value;
}

Offset Cursor::expected_offset(std::string_view field, Offset expected) {
    const Offset field_at = at_;
    const Offset value = dword(field);
    if (value != expected)
        fail(field_at, std::string(field) + " " + std::to_string(value) + " is not " + std::to_string(expected));
    return value;
}

std::span<const std::uint8_t> Cursor::bytes(Offset count, std::string_view field) {
    need(count, field);
    const auto span = file_.subspan(at_, count);
    at_ += count;
    return span;
}

std::string Cursor::zero_terminated(std::string_view field) {
    const Offset start = at_;
    Offset zero = at_;
    while (zero < end_ && file_[zero] != 0) ++zero;
    if (zero == end_)
        fail(start, std::string(field) + " has no terminating zero before " + window_name_ + " ends at " +
                        std::to_string(end_));
    std::string text(reinterpret_cast<const char*>(file_.data() + start), zero - start);
    at_ = zero + 1;
    return text;
}

Cursor Cursor::window(Offset begin, Offset end, std::string_view window_name, std::string_view field) const {
    if (begin < begin_ || begin > end || end > end_)
        fail(at_, std::string(field) + " (" + std::to_string(begin) + " to " + std::to_string(end) + ") lies outside " +
                      window_name_ + " (" + std::to_string(begin_) + " to " + std::to_string(end_) + ")");
    return Cursor(file_, begin, end, window_name);
}

}  // namespace oxdump
