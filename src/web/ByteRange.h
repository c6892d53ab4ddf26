#pragma once

#include <cstdint>
#include <string_view>

namespace wendmoor {

// What a request's Range header asks of a body of `length` bytes. Only a single range is
// answered as such: a header that cannot be read, or that asks for several ranges, is ignored
// and the whole body sent, as HTTP allows; a range that starts at or beyond the end is refused.
struct ByteRange {
    enum class Kind { Whole, Part, Unsatisfiable };
    Kind kind = Kind::Whole;
    std::int64_t first = 0; // inclusive
    std::int64_t last = -1; // inclusive; first..last lie within the body for Part
    [[nodiscard]] std::int64_t size() const { return last - first + 1; }
};

[[nodiscard]] ByteRange resolveRange(std::string_view header, std::int64_t length);

} // namespace wendmoor
