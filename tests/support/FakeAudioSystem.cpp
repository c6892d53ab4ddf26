#include "FakeAudioSystem.h"

#include "platform/Error.h"

#include <algorithm>

namespace wendmoor::test {

std::unique_ptr<CaptureStream> FakeAudioSystem::openCapture(int device, int sampleRate)
{
    if (failOpen || device < 0 || device >= inputs.size())
        throw Error(ErrorNumber::SoundDeviceNotFound, QStringLiteral("There is no sound input number %1.").arg(device));
    ++captureOpens;
    capture->device = device;
    capture->rate = sampleRate;
    if (!supportedInputRates.empty()
        && std::find(supportedInputRates.begin(), supportedInputRates.end(), sampleRate) == supportedInputRates.end())
        capture->rate = supportedInputRates.front();
    return std::make_unique<FakeCaptureStream>(capture);
}

std::unique_ptr<PlaybackStream> FakeAudioSystem::openPlayback(int device, int sampleRate, int channels)
{
    if (failOpen || device < 0 || device >= outputs.size())
        throw Error(
            ErrorNumber::SoundDeviceNotFound, QStringLiteral("There is no sound output number %1.").arg(device));
    ++playbackOpens;
    playback->device = device;
    playback->rate = sampleRate;
    playback->channels = channels;
    playback->queued.clear();
    return std::make_unique<FakePlaybackStream>(playback);
}

void FakeAudioSystem::play(std::size_t frames)
{
    if (!playback->open || !playback->running)
        return;
    const auto ch = static_cast<std::size_t>(playback->channels);
    const std::size_t n = std::min(frames * ch, playback->queued.size());
    playback->played.insert(
        playback->played.end(), playback->queued.begin(), playback->queued.begin() + static_cast<std::ptrdiff_t>(n));
    playback->queued.erase(playback->queued.begin(), playback->queued.begin() + static_cast<std::ptrdiff_t>(n));
    playback->framesPlayed += static_cast<std::int64_t>(n / ch);
}

} // namespace wendmoor::test
