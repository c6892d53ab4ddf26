#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <cstdint>
#include <span>

namespace wendmoor {

// A horizontal peak meter on a decibel scale from −60 dBFS to 0 dBFS, with a peak-hold mark
// that stays for a moment and then falls. Fed on the user-interface thread with each buffer.
class LevelMeter final : public QWidget {
    Q_OBJECT
public:
    static constexpr double kFloorDb = -60.0;

    explicit LevelMeter(QWidget* parent = nullptr);

    // Shows the peak of these 16-bit samples.
    void setSamples(std::span<const std::int16_t> samples);
    // Shows a peak given as a 16-bit magnitude (0 to 32768).
    void setPeak(int magnitude);
    // Drops back to silence (the input stopped).
    void reset();

    [[nodiscard]] double levelDb() const { return m_levelDb; }
    [[nodiscard]] double holdDb() const { return m_holdDb; }

    // The dBFS of a 16-bit peak magnitude, never below the floor.
    [[nodiscard]] static double toDb(int magnitude);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The x coordinate of a level on the bar.
    [[nodiscard]] int xFor(double db) const;

    double m_levelDb = kFloorDb;
    double m_holdDb = kFloorDb;
    QElapsedTimer m_holdAge;
};

// The tick marks below a LevelMeter: `tickCount` ticks spread over the scale, every
// `enlargeEvery`-th one longer.
class LevelScale final : public QWidget {
    Q_OBJECT
public:
    explicit LevelScale(QWidget* parent = nullptr);

    int tickCount = 11;
    int enlargeEvery = 5;
    int tickSize = 7;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace wendmoor
