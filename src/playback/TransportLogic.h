#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace wendmoor::transport {

// The arithmetic of the playback window's transport and slider, apart from any widget.
// Positions, lengths and widths are milliseconds of the loaded file.

// Range indexes: 0 the whole file, 1 to 5 the range options, 6 to 8 the last-N-seconds modes.
inline constexpr int kTotal = 0;
inline constexpr int kLastRangeOption = 5;
inline constexpr int kRangeCount = 9;
// Widths of the range options 1 to 5, set each time the window opens.
inline constexpr std::array<std::int32_t, 5> kRangeOptionWidths { 10000, 60000, 300000, 1800000, 3600000 };

// The slider's window: its minimum and maximum.
struct SliderWindow {
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    friend bool operator==(const SliderWindow&, const SliderWindow&) = default;
};

// a + b, held within the 32-bit range instead of wrapping.
[[nodiscard]] std::int32_t addMs(std::int64_t a, std::int64_t b);

// What loading a file of `length` does to the slider for range index `rangeIndex` of width
// `width`: the whole file for "Total", 0 to the width for a range option, the last `width`
// ms for a last-N mode, where playback also starts at the window's minimum.
struct LoadPlan {
    SliderWindow window;
    std::optional<std::int32_t> startAt;
};
[[nodiscard]] LoadPlan planLoad(int rangeIndex, std::int32_t width, std::int32_t length);

// Whether range option `option` (1 to 5) can be chosen for a file of `length`: only when the
// file is strictly longer than the option's width. "Total" (0) always can.
[[nodiscard]] bool rangeOptionEnabled(int option, std::int32_t length);

// Fast forward by one width from `position`: the new position, or nothing when it would not
// stay strictly before the end.
[[nodiscard]] std::optional<std::int32_t> fastForward(std::int32_t position, std::int32_t width, std::int32_t length);
// Rewind by one width: the new position, or nothing when it would reach or pass the start.
[[nodiscard]] std::optional<std::int32_t> rewind(std::int32_t position, std::int32_t width);

// The window after one tick: when the player has reached or passed the window's end, a window
// of `width` starting at the player; otherwise nothing changes.
[[nodiscard]] std::optional<SliderWindow> page(std::int32_t playerPosition, SliderWindow window, std::int32_t width);

// Whole seconds for the time labels, an exact half going to the even number.
[[nodiscard]] std::int32_t elapsedSeconds(std::int32_t position);
[[nodiscard]] std::int32_t remainingSeconds(std::int32_t length, std::int32_t position);

// A last-N-seconds command: the range index it selects and the width it writes there.
struct LastN {
    int rangeIndex;
    std::int32_t width;
};
// The buttons "5", "10", "20" (indexes 1 to 3).
[[nodiscard]] LastN endButton(int index);
// The pop-up menu items, by the seconds in their captions (5, 10, 20). The 10 and 20 items
// use the entries 8 and 7, the other way round from the buttons.
[[nodiscard]] LastN popupItem(int seconds);

} // namespace wendmoor::transport
