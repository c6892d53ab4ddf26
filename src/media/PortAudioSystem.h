#pragma once

#include "media/AudioSystem.h"

#include <memory>

namespace wendmoor {

// The real sound devices, through PortAudio. The library is initialised for the life of the
// object; device lists are read afresh whenever no stream is open. Any thread may call it.
class PortAudioSystem final : public AudioSystem {
public:
    PortAudioSystem();
    ~PortAudioSystem() override;
    PortAudioSystem(const PortAudioSystem&) = delete;
    PortAudioSystem& operator=(const PortAudioSystem&) = delete;

    [[nodiscard]] QStringList inputDeviceNames() override;
    [[nodiscard]] QStringList outputDeviceNames() override;
    [[nodiscard]] std::unique_ptr<CaptureStream> openCapture(int device, int sampleRate) override;
    [[nodiscard]] std::unique_ptr<PlaybackStream> openPlayback(int device, int sampleRate, int channels) override;

    struct Library;

    // Why the library could not start, or empty.
    [[nodiscard]] QString initError() const { return m_initError; }

private:
    void refreshDevices();

    bool m_initialised = false;
    QString m_initError;
    // Counts open streams (the library may only be restarted, to see new devices, when none is)
    // and serialises the calls into it from the recording and user-interface threads.
    std::shared_ptr<Library> m_library;
};

} // namespace wendmoor
