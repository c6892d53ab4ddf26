#pragma once

#include <QString>

#include <cstdint>

namespace wendmoor {

// Whole seconds as a time text: minutes and seconds always of two digits ("01:05"), hours only
// from one hour on, with one leading blank below ten hours (" 1:02:05"). A negative number is
// shown as "-" followed by the text of its magnitude ("-00:03").
[[nodiscard]] QString FormatSeconds(std::int32_t seconds);

} // namespace wendmoor
