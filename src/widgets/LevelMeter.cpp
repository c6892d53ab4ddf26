#include "widgets/LevelMeter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace wendmoor {

namespace {
constexpr int kHoldMs = 1500;
constexpr double kFallDbPerUpdate = 1.5;
} // namespace

LevelMeter::LevelMeter(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_holdAge.start();
}

double LevelMeter::toDb(int magnitude)
{
    if (magnitude <= 0)
        return kFloorDb;
    return std::max(kFloorDb, 20.0 * std::log10(magnitude / 32768.0));
}

void LevelMeter::setSamples(std::span<const std::int16_t> samples)
{
    int peak = 0;
    for (std::int16_t s : samples)
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    setPeak(peak);
}

void LevelMeter::setPeak(int magnitude)
{
    const int barBefore = xFor(m_levelDb);
    const int holdBefore = xFor(m_holdDb);
    const double db = toDb(magnitude);
    // The bar rises at once and falls gently, as the eye expects of a meter.
    m_levelDb = db >= m_levelDb ? db : std::max(db, m_levelDb - kFallDbPerUpdate);
    if (db >= m_holdDb || m_holdAge.elapsed() > kHoldMs) {
        m_holdDb = db;
        m_holdAge.restart();
    }
    // A recorder shows its meter all day: a repaint only when a pixel would change.
    if (xFor(m_levelDb) != barBefore || xFor(m_holdDb) != holdBefore)
        update();
}

int LevelMeter::xFor(double db) const
{
    const QRect r = rect();
    return r.left() + static_cast<int>((db - kFloorDb) / -kFloorDb * r.width());
}

void LevelMeter::reset()
{
    m_levelDb = kFloorDb;
    m_holdDb = kFloorDb;
    update();
}

void LevelMeter::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, QColor(24, 24, 24));
    const int x = xFor(m_levelDb);
    const int yellowX = xFor(-12.0);
    const int redX = xFor(-3.0);
    p.fillRect(QRect(r.left(), r.top(), std::min(x, yellowX) - r.left(), r.height()), QColor(0, 200, 0));
    if (x > yellowX)
        p.fillRect(QRect(yellowX, r.top(), std::min(x, redX) - yellowX, r.height()), QColor(230, 220, 0));
    if (x > redX)
        p.fillRect(QRect(redX, r.top(), x - redX, r.height()), QColor(230, 0, 0));
    if (m_holdDb > kFloorDb) {
        const int hx = std::min(xFor(m_holdDb), r.right() - 1);
        p.fillRect(QRect(hx, r.top(), 2, r.height()), Qt::white);
    }
}

LevelScale::LevelScale(QWidget* parent)
    : QWidget(parent)
{
}

void LevelScale::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const QRect r = rect();
    if (tickCount < 2)
        return;
    for (int i = 0; i < tickCount; ++i) {
        const int x = r.left() + i * (r.width() - 1) / (tickCount - 1);
        const bool large = enlargeEvery > 0 && i % enlargeEvery == 0;
        const int len = std::min(r.height(), large ? tickSize : (tickSize + 1) / 2);
        p.drawLine(x, r.top(), x, r.top() + len - 1);
    }
}

} // namespace wendmoor
