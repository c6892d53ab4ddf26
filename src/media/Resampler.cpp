#include "media/Resampler.h"

#include "platform/Error.h"

#include <soxr.h>

namespace wendmoor {

Resampler::Resampler(int inputRate, int outputRate)
    : m_inRate(inputRate)
    , m_outRate(outputRate)
{
    create();
}

Resampler::~Resampler()
{
    soxr_delete(m_soxr);
}

void Resampler::create()
{
    soxr_error_t err = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    m_soxr = soxr_create(m_inRate, m_outRate, 1, &err, &io, &quality, nullptr);
    if (err || !m_soxr) {
        soxr_delete(m_soxr);
        m_soxr = nullptr;
        throw Error(ErrorNumber::Resampler,
            QStringLiteral("Audio at %1 Hz cannot be converted to %2 Hz: %3")
                .arg(m_inRate)
                .arg(m_outRate)
                .arg(QString::fromLatin1(err ? err : "no resampler")));
    }
}

void Resampler::process(std::span<const std::int16_t> in, std::vector<std::int16_t>& out)
{
    if (in.empty())
        return;
    std::size_t consumed = 0;
    while (consumed < in.size()) {
        const std::size_t start = out.size();
        const std::size_t room
            = (in.size() - consumed) * static_cast<std::size_t>(m_outRate) / static_cast<std::size_t>(m_inRate) + 64;
        out.resize(start + room);
        std::size_t idone = 0;
        std::size_t odone = 0;
        const soxr_error_t err = soxr_process(
            m_soxr, in.data() + consumed, in.size() - consumed, &idone, out.data() + start, room, &odone);
        out.resize(start + odone);
        if (err) {
            throw Error(ErrorNumber::Resampler,
                QStringLiteral("Converting audio from %1 Hz to %2 Hz failed: %3")
                    .arg(m_inRate)
                    .arg(m_outRate)
                    .arg(QString::fromLatin1(err)));
        }
        consumed += idone;
        if (idone == 0 && odone == 0)
            break; // cannot happen with room to spare; never spin
    }
}

void Resampler::flush(std::vector<std::int16_t>& out)
{
    for (;;) {
        const std::size_t start = out.size();
        constexpr std::size_t room = 4096;
        out.resize(start + room);
        std::size_t odone = 0;
        const soxr_error_t err = soxr_process(m_soxr, nullptr, 0, nullptr, out.data() + start, room, &odone);
        out.resize(start + odone);
        if (err || odone == 0)
            break;
    }
    soxr_delete(m_soxr);
    m_soxr = nullptr;
    create();
}

} // namespace wendmoor
