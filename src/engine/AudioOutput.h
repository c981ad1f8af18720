#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class PlaybackSource;

// The process's one sound output. Opened on first use; serves every attached
// stream that is playing (normally one) from the device's callback. When no
// device can be had it falls back to SDL's silent "dummy" driver, and when
// even that fails, or the device stops calling back, a wall-clock thread
// takes its place: the streams keep their pace either way, just unheard.
class AudioOutput {
public:
    enum class Driver {
        Device,     // an SDL device (possibly the dummy one)
        WallClock,  // our own thread pulling at the device's pace, silently
        Manual,     // tests pull with renderForTesting()
    };

    // The output, opened on the first call. Holders keep it alive.
    static std::shared_ptr<AudioOutput> shared();

    // Test hook, before the first shared(): no device and no thread; audio
    // is produced only by renderForTesting().
    // A latency makes rendered audio count as heard that much later, as a
    // device's buffer does.
    static void useManualOutputForTesting(int sampleRate, std::chrono::milliseconds latency = {});
    // Test hook, before the first shared(): every device fails to open, SDL's
    // silent one too, as on a machine without any sound support.
    static void refuseDevicesForTesting();

    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    int sampleRate() const { return m_sampleRate; }
    int bufferFrames() const { return m_bufferFrames; }
    Driver driver() const { return m_driver.load(); }
    // Frames rendered since the output was made, by the device or the
    // silent clock that stands in for it; never reset. Any thread.
    std::int64_t renderedFrames() const { return m_deviceFrames.load(); }

    // Main thread. After detach() returns, the audio thread no longer
    // touches the source.
    void attach(PlaybackSource* source);
    void detach(PlaybackSource* source);
    // The same, once the source is silent (a pause asked for fades out at
    // the next buffer): a stream detached while it sounds stops dead, a
    // click. Four buffers' time at most (a busy machine wakes the audio
    // thread late), and a device that stopped calling back is not waited for
    // longer; at once in manual mode, where the tests pull on this thread.
    void detachWhenSilent(PlaybackSource* source);
    // Main thread: whether the source wants to be heard. With none wanting
    // it for a while the output rests: the device is closed and no thread of
    // ours wakes until one does; it opens again the moment one does.
    void setSourceWantsSound(const PlaybackSource* source, bool wants);
    // Whether the output rests now.
    bool isResting() const;
    // Manual mode: renders frames of interleaved stereo into out and returns
    // the most frames any stream supplied (the rest is silence).
    int renderForTesting(float* out, int frames);
    // Makes the device's callback do nothing from now on, as a device that
    // hung would (the watchdog is expected to take over); false: it works again.
    void simulateDeviceStallForTesting(bool stalled = true);

private:
    AudioOutput(int manualSampleRate, std::int64_t manualLatencyNs, bool refuseDevices);
    void openDevice();
    bool tryOpenDevice(const char* driverName, QString* reason);
    bool openDeviceAs(int sampleRate, int bufferFrames, int allowedChanges, struct SDL_AudioSpec* obtained,
                      QString* reason);
    void rest();
    void wakeFromRest();
    void openLostDeviceAgain();
    bool openRealDeviceInstead();
    bool openDeviceAfresh(QString* reason);
    int render(float* out, int frames, std::int64_t nowNs);
    static void deviceCallback(void* self, unsigned char* stream, int length);
    void clockThreadLoop();

    int m_sampleRate = 48000;
    int m_bufferFrames = 1024;
    std::int64_t m_latencyNs = 0;
    std::uint32_t m_device = 0;  // SDL device id; 0 when none
    // When a lost device was last opened again; clock thread only.
    std::optional<std::chrono::steady_clock::time_point> m_reopenedAt;
    bool m_sdlAudioInitialised = false;   // through SDL_InitSubSystem; clock thread only once it runs
    bool m_sdlDriverInitialised = false;  // a driver chosen by name
    // A real device was had once: SDL's audio is worth starting again after
    // it failed to (clock thread only once it runs).
    bool m_sdlAudioWanted = false;
    bool m_refuseDevices = false;         // test hook

    std::atomic<Driver> m_driver{Driver::Device};       // atomic, written by the clock thread and the device callback
    std::atomic<std::int64_t> m_lastCallbackNs{0};      // atomic, written by the device callback
    std::atomic<bool> m_deviceStalled{false};           // atomic, test hook

    std::mutex m_renderMutex;                  // held while rendering; the audio side only try-locks it
    std::vector<PlaybackSource*> m_sources;    // guarded by m_renderMutex
    // Frames rendered since the output opened, silence given up included, so
    // that the count stays the device's own.
    std::atomic<std::int64_t> m_deviceFrames{0};  // atomic, advanced by whichever thread renders

    mutable std::mutex m_clockMutex;
    std::condition_variable m_clockWake;
    bool m_clockStopping = false;              // guarded by m_clockMutex
    std::vector<const PlaybackSource*> m_soundWanted;  // guarded by m_clockMutex
    std::chrono::steady_clock::time_point m_quietSince;  // guarded by m_clockMutex
    bool m_resting = false;                    // guarded by m_clockMutex
    std::vector<float> m_wallClockBuffer;      // clock thread only
    std::thread m_clockThread;
};
