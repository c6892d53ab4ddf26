#pragma once

#include <QWidget>

#include <cstdint>

class QSlider;

namespace wendmoor {

// A horizontal position slider in milliseconds of a file. Its minimum, maximum and position are
// plain values that the owner sets in any order (the minimum may pass the maximum for a moment);
// the thumb shows the position within them. moved() comes only from the user: dragging the
// thumb, clicking the groove (the thumb jumps there) or the keys, never from the set functions,
// so that an owner who follows a player with setPosition() does not seek it to where it is.
class PositionSlider final : public QWidget {
    Q_OBJECT
public:
    explicit PositionSlider(QWidget* parent = nullptr);

    [[nodiscard]] std::int32_t minimum() const { return m_minimum; }
    [[nodiscard]] std::int32_t maximum() const { return m_maximum; }
    [[nodiscard]] std::int32_t position() const { return m_position; }
    void setMinimum(std::int32_t value);
    void setMaximum(std::int32_t value);
    void setPosition(std::int32_t value);

    // The inner slider, for tests that drive it with the mouse and keys.
    [[nodiscard]] QSlider* slider() const { return m_slider; }

signals:
    void moved();

private:
    void refresh();

    QSlider* m_slider;
    std::int32_t m_minimum = 0;
    std::int32_t m_maximum = 0;
    std::int32_t m_position = 0;
};

} // namespace wendmoor
