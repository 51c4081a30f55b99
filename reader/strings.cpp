#include "strings.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vox::legacy {

namespace {

bool same_word(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

string_framing string_framing_of(std::string_view word, bool binary) {
    if (same_word(word, "string") || same_word(word, "utf8_string")) {
        return binary ? string_framing::lengths : string_framing::lines;
    }
    return same_word(word, "variant") ? string_framing::word_pairs : string_framing::none;
}

std::size_t string_framer::take(const char* data, std::size_t size, std::uint64_t, bool last) {
    if (done()) {
        return 0;
    }
    switch (how_) {
    case string_framing::lines:
        return lines(data, size, last);
    case string_framing::lengths:
        return lengths(data, size);
    case string_framing::word_pairs:
        return word_pairs(data, size, last);
    case string_framing::none:
        break;
    }
    return size;
}

std::size_t string_framer::lines(const char* data, std::size_t size, bool last) {
    std::size_t at = 0;
    while (at < size) {
        const void* lf = std::memchr(data + at, '\n', size - at);
        if (lf == nullptr) {
            partial_ += size - at;
            at = size;
            break;
        }
        at = static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
        ++line_feeds_;
        ++found_;
        partial_ = 0;
        if (done()) {
            return at;
        }
    }
    // A last line without its line feed is a string all the same, as VTK's getline has it.
    if (last && partial_ > 0) {
        ++found_;
        partial_ = 0;
    }
    return at;
}

std::size_t string_framer::lengths(const char* data, std::size_t size) {
    std::size_t at = 0;
    while (at < size && !done()) {
        if (in_string_) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, size - at));
            at += n;
            left_ -= n;
            if (left_ == 0) {
                in_string_ = false;
                ++found_;
            }
            continue;
        }
        const auto byte = static_cast<unsigned char>(data[at++]);
        if (length_bytes_ == 0) {
            // The first byte: its top two bits say how long the length is.
            const unsigned kind = byte >> 6U;
            length_bytes_ = kind == 3 ? 1 : kind == 2 ? 2 : kind == 1 ? 4 : 8;
            length_ = kind == 0 ? byte : byte & 0x3fU;
        } else {
            length_ = length_ << 8U | byte;
        }
        if (--length_bytes_ == 0) {
            left_ = length_;
            in_string_ = left_ > 0;
            found_ += in_string_ ? 0 : 1;
        }
    }
    return at;
}

std::size_t string_framer::word_pairs(const char* data, std::size_t size, bool last) {
    for (std::size_t at = 0; at < size; ++at) {
        if (is_blank(data[at])) {
            line_feeds_ += data[at] == '\n' ? 1 : 0;
            if (in_word_) {
                in_word_ = false;
                found_ = words_ / 2;
                if (done()) {
                    return at;
                }
            }
        } else if (!in_word_) {
            in_word_ = true;
            ++words_;
        }
    }
    if (last && in_word_) {
        in_word_ = false;
        found_ = words_ / 2;
    }
    return size;
}

} // namespace vox::legacy
