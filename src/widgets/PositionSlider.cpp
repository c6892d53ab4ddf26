#include "widgets/PositionSlider.h"

#include <QHBoxLayout>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

namespace wendmoor {

namespace {

// A click on the groove puts the thumb where the click was, instead of paging towards it.
class JumpToClickStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(
        StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

PositionSlider::PositionSlider(QWidget* parent)
    : QWidget(parent)
    , m_slider(new QSlider(Qt::Horizontal, this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->addWidget(m_slider);
    auto* style = new JumpToClickStyle();
    style->setParent(this);
    m_slider->setStyle(style);
    m_slider->setTickPosition(QSlider::NoTicks);
    m_slider->setSingleStep(1000);
    m_slider->setPageStep(10000);
    setFocusProxy(m_slider);
    // Every value change that reaches here was made by the user: the set functions block the
    // slider's signals while they bring it up to date.
    connect(m_slider, &QSlider::sliderReleased, this, &PositionSlider::refresh);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        m_position = value;
        emit moved();
    });
}

void PositionSlider::setMinimum(std::int32_t value)
{
    m_minimum = value;
    refresh();
}

void PositionSlider::setMaximum(std::int32_t value)
{
    m_maximum = value;
    refresh();
}

void PositionSlider::setPosition(std::int32_t value)
{
    m_position = value;
    refresh();
}

void PositionSlider::refresh()
{
    const QSignalBlocker block(m_slider);
    const std::int32_t low = std::min(m_minimum, m_maximum);
    const std::int32_t high = std::max(m_minimum, m_maximum);
    m_slider->setRange(low, high);
    // While the user holds the thumb it stays under the mouse; the owner's value shows on release.
    if (!m_slider->isSliderDown())
        m_slider->setValue(std::clamp(m_position, low, high));
}

} // namespace wendmoor
