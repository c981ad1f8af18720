#include "engine/AudioOutput.h"

#include "base/Log.h"
#include "base/Threads.h"
#include "engine/PlaybackSource.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

constexpr int preferredRate = 48000;
constexpr int preferredBufferFrames = 1024;
constexpr int channels = 2;
// A device that has not called back for this long is taken for dead.
constexpr std::chrono::milliseconds stallLimit{750};
constexpr std::chrono::milliseconds watchdogInterval{100};
// Nothing wanted sound for this long: the output rests. Long enough that a
// pause to repeat a phrase and the resume do not close and reopen it.
constexpr std::chrono::seconds restAfter{3};
// A device lost again this soon after it was opened again is given up on
// until the output next wakes, rather than opened over and over.
constexpr std::chrono::seconds lostAgainWithin{5};

std::int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::mutex g_sharedMutex;
std::shared_ptr<AudioOutput> g_shared;  // guarded by g_sharedMutex
int g_manualSampleRate = 0;             // guarded by g_sharedMutex
std::int64_t g_manualLatencyNs = 0;     // guarded by g_sharedMutex
bool g_refuseDevices = false;           // guarded by g_sharedMutex

}  // namespace

std::shared_ptr<AudioOutput> AudioOutput::shared()
{
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared)
        g_shared.reset(new AudioOutput(g_manualSampleRate, g_manualLatencyNs, g_refuseDevices));
    return g_shared;
}

void AudioOutput::useManualOutputForTesting(int sampleRate, std::chrono::milliseconds latency)
{
    std::lock_guard lock(g_sharedMutex);
    g_manualSampleRate = sampleRate;
    g_manualLatencyNs = std::chrono::nanoseconds(latency).count();
}

void AudioOutput::refuseDevicesForTesting()
{
    std::lock_guard lock(g_sharedMutex);
    g_refuseDevices = true;
}

AudioOutput::AudioOutput(int manualSampleRate, std::int64_t manualLatencyNs, bool refuseDevices)
    : m_refuseDevices(refuseDevices)
{
    if (manualSampleRate > 0) {
        m_driver = Driver::Manual;
        m_sampleRate = manualSampleRate;
        m_latencyNs = manualLatencyNs;
        return;
    }
    openDevice();
    m_latencyNs = std::int64_t(m_bufferFrames) * 1'000'000'000 / m_sampleRate;
    m_lastCallbackNs = steadyNowNs();
    m_wallClockBuffer.resize(std::size_t(m_bufferFrames) * channels);
    m_clockThread = startThread("The sound output", "rivetone clock", [this] {
        clockThreadLoop();
        // SDL keeps data of its own (an error's text) for each thread that
        // calls it; one that SDL did not start hands it back itself.
        SDL_TLSCleanup();
    });
    if (m_device)
        SDL_PauseAudioDevice(m_device, 0);
}

AudioOutput::~AudioOutput()
{
    {
        std::lock_guard lock(m_clockMutex);
        m_clockStopping = true;
    }
    m_clockWake.notify_all();
    if (m_clockThread.joinable())
        m_clockThread.join();
    if (m_device)
        SDL_CloseAudioDevice(m_device);
    if (m_sdlAudioInitialised)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (m_sdlDriverInitialised)
        SDL_AudioQuit();
}

void AudioOutput::openDevice()
{
    // SDL would otherwise take over SIGINT and SIGTERM and turn them into
    // events that nobody reads here: the app could no longer be terminated.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    QString reason;
    if (tryOpenDevice(nullptr, &reason))
        return;
    // No usable device (headless, unplugged, no sound server): play silently.
    Log::line(QStringLiteral("Audio output unavailable (%1), playing silently").arg(reason));
    QString dummyReason;
    if (tryOpenDevice("dummy", &dummyReason))
        return;
    m_driver = Driver::WallClock;
    m_sampleRate = preferredRate;
    m_bufferFrames = preferredBufferFrames;
}

bool AudioOutput::tryOpenDevice(const char* driverName, QString* reason)
{
    if (m_refuseDevices) {
        *reason = QStringLiteral("no device may be opened");
        return false;
    }
    if (m_sdlAudioInitialised) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_sdlAudioInitialised = false;
    }
    const int initialised = driverName ? SDL_AudioInit(driverName) : SDL_InitSubSystem(SDL_INIT_AUDIO);
    if (initialised != 0) {
        *reason = QString::fromUtf8(SDL_GetError());
        if (driverName)
            SDL_AudioQuit();
        return false;
    }
    m_sdlAudioInitialised = !driverName;
    m_sdlDriverInitialised = driverName != nullptr;

    // Take the device's own rate: our resampler is exact on seeks, a
    // converter further down might not be.
    SDL_AudioSpec obtained{};
    if (!openDeviceAs(preferredRate, preferredBufferFrames, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE, &obtained, reason)) {
        if (driverName)
            SDL_AudioQuit();
        else
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_sdlAudioInitialised = m_sdlDriverInitialised = false;
        return false;
    }
    m_sampleRate = obtained.freq;
    m_bufferFrames = obtained.samples > 0 ? obtained.samples : preferredBufferFrames;
    m_driver = Driver::Device;
    m_sdlAudioWanted = !driverName;
    return true;
}

bool AudioOutput::openDeviceAs(int sampleRate, int bufferFrames, int allowedChanges, SDL_AudioSpec* obtained,
                               QString* reason)
{
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = channels;
    wanted.samples = std::uint16_t(bufferFrames);
    wanted.callback = &AudioOutput::deviceCallback;
    wanted.userdata = this;
    m_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, obtained, allowedChanges);
    if (m_device == 0) {
        *reason = QString::fromUtf8(SDL_GetError());
        return false;
    }
    return true;
}

void AudioOutput::setSourceWantsSound(const PlaybackSource* source, bool wants)
{
    {
        std::lock_guard lock(m_clockMutex);
        const auto found = std::find(m_soundWanted.begin(), m_soundWanted.end(), source);
        if (wants && found == m_soundWanted.end())
            m_soundWanted.push_back(source);
        else if (!wants && found != m_soundWanted.end())
            m_soundWanted.erase(found);
        if (m_soundWanted.empty())
            m_quietSince = std::chrono::steady_clock::now();
    }
    m_clockWake.notify_all();
}

bool AudioOutput::isResting() const
{
    std::lock_guard lock(m_clockMutex);
    return m_resting;
}

// Clock thread, m_clockMutex held. The device goes (SDL waits for a callback
// in progress to finish; callbacks never take this mutex).
void AudioOutput::rest()
{
    if (m_device) {
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
    m_resting = true;
}

// Clock thread, m_clockMutex held. A device given up on (it stopped
// responding, went away, or would not open at the last wake) is tried again
// at each wake: the sound server may be back.
void AudioOutput::wakeFromRest()
{
    m_resting = false;
    m_lastCallbackNs = steadyNowNs();
    m_reopenedAt.reset();  // a device lost before the rest is tried afresh
    if (!m_sdlAudioWanted && !m_sdlDriverInitialised)
        return;  // there never was a device: the wall clock plays
    QString reason;
    if ((!m_sdlAudioWanted && openRealDeviceInstead()) || openDeviceAfresh(&reason)) {
        m_lastCallbackNs = steadyNowNs();  // the opening may have taken a while
        m_driver = Driver::Device;
        SDL_PauseAudioDevice(m_device, 0);
        return;
    }
    if (m_driver.load() == Driver::Device)
        Log::line(QStringLiteral("Audio output unavailable (%1), playing silently").arg(reason));
    m_driver = Driver::WallClock;
}

// Clock thread, m_clockMutex held. An output that started on SDL's silent
// driver, as one autostarted at login before the sound server was up, would
// otherwise stay silent for the app's whole life: the real drivers are tried
// again at each wake, and failing that the silent one is taken back. The
// device is asked for the rate and buffer the streams were made for; SDL
// converts if it must.
bool AudioOutput::openRealDeviceInstead()
{
    SDL_AudioQuit();
    m_sdlDriverInitialised = false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        m_sdlAudioInitialised = true;
        SDL_AudioSpec obtained{};
        QString reason;
        if (openDeviceAs(m_sampleRate, m_bufferFrames, 0, &obtained, &reason)) {
            m_sdlAudioWanted = true;
            Log::line(QStringLiteral("Audio output opened"));
            return true;
        }
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_sdlAudioInitialised = false;
    }
    m_sdlDriverInitialised = SDL_AudioInit("dummy") == 0;
    return false;
}

// Clock thread, m_clockMutex held. A device that went away (unplugged, the
// sound server restarted) is not silent to us: SDL goes on calling back at
// its pace into nothing, so only its status tells. The default device is
// opened again at the same rate and buffer; one lost again straight away
// gives way to the wall clock until the next wake.
void AudioOutput::openLostDeviceAgain()
{
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
    const auto now = std::chrono::steady_clock::now();
    const bool lostJustNow = m_reopenedAt && now - *m_reopenedAt < lostAgainWithin;
    QString reason = QStringLiteral("lost again at once");
    if (!lostJustNow && openDeviceAfresh(&reason)) {
        m_reopenedAt = now;
        m_lastCallbackNs = steadyNowNs();
        SDL_PauseAudioDevice(m_device, 0);
        Log::line(QStringLiteral("Audio output lost, opened again"));
        return;
    }
    Log::line(QStringLiteral("Audio output lost (%1), playing silently").arg(reason));
    m_driver = Driver::WallClock;
}

// Clock thread, m_clockMutex held: the same device again, at the same rate
// and buffer, since the streams were made for them; SDL converts if it must.
// One that will not open may lie behind the connection to a sound server
// that restarted since, which SDL keeps from its start: SDL's audio is then
// started afresh and the device tried once more.
bool AudioOutput::openDeviceAfresh(QString* reason)
{
    SDL_AudioSpec obtained{};
    if (openDeviceAs(m_sampleRate, m_bufferFrames, 0, &obtained, reason))
        return true;
    if (!m_sdlAudioWanted)
        return false;
    if (m_sdlAudioInitialised)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    // Failing, it is tried again at the next wake: the server may be back.
    m_sdlAudioInitialised = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!m_sdlAudioInitialised) {
        *reason = QString::fromUtf8(SDL_GetError());
        return false;
    }
    return openDeviceAs(m_sampleRate, m_bufferFrames, 0, &obtained, reason);
}

void AudioOutput::attach(PlaybackSource* source)
{
    std::lock_guard lock(m_renderMutex);
    m_sources.push_back(source);
}

void AudioOutput::detach(PlaybackSource* source)
{
    std::lock_guard lock(m_renderMutex);
    m_sources.erase(std::remove(m_sources.begin(), m_sources.end(), source), m_sources.end());
}

void AudioOutput::detachWhenSilent(PlaybackSource* source)
{
    const auto deadline = std::chrono::steady_clock::now()
        + std::chrono::microseconds(4'000'000LL * m_bufferFrames / m_sampleRate);
    const auto waiting = [&] {
        return driver() != Driver::Manual && source->audible() && std::chrono::steady_clock::now() < deadline;
    };
    for (;;) {
        while (waiting())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // A render holds the lock throughout: one under way when the source
        // was read silent may have begun before the pause was asked for, and
        // sound. Read again once it is over.
        std::lock_guard lock(m_renderMutex);
        if (waiting())
            continue;
        m_sources.erase(std::remove(m_sources.begin(), m_sources.end(), source), m_sources.end());
        return;
    }
}

int AudioOutput::render(float* out, int frames, std::int64_t nowNs)
{
    std::fill(out, out + std::size_t(frames) * channels, 0.0f);
    const std::int64_t firstFrame = m_deviceFrames.fetch_add(frames, std::memory_order_relaxed);
    // The main thread holds this lock only for a moment, to attach or detach
    // a track; rather than wait for it, the audio side gives this buffer up
    // as silence.
    std::unique_lock lock(m_renderMutex, std::try_to_lock);
    if (!lock.owns_lock())
        return 0;
    int supplied = 0;
    for (PlaybackSource* source : m_sources)
        supplied = std::max(supplied, source->mixInto(out, frames, firstFrame, nowNs, m_latencyNs));
    return supplied;
}

int AudioOutput::renderForTesting(float* out, int frames)
{
    const int supplied = render(out, frames, steadyNowNs());
    std::lock_guard lock(m_renderMutex);
    for (const PlaybackSource* source : m_sources)
        source->wakeProducer();
    return supplied;
}

void AudioOutput::simulateDeviceStallForTesting(bool stalled)
{
    m_deviceStalled = stalled;
}

void AudioOutput::deviceCallback(void* self, unsigned char* stream, int length)
{
    auto* output = static_cast<AudioOutput*>(self);
    auto* out = reinterpret_cast<float*>(stream);
    const int frames = length / int(sizeof(float) * channels);
    if (output->m_deviceStalled.load(std::memory_order_relaxed)) {
        std::memset(stream, 0, std::size_t(length));
        return;
    }
    // A device that calls back again after the watchdog gave up on it (a
    // long hiccup rather than a death) takes its place back.
    Driver wallClock = Driver::WallClock;
    output->m_driver.compare_exchange_strong(wallClock, Driver::Device);
    const std::int64_t now = steadyNowNs();
    output->m_lastCallbackNs.store(now, std::memory_order_relaxed);
    output->render(out, frames, now);
}

// While a device plays, watches that it keeps calling back; in wall-clock
// mode, pulls the streams at the device's pace itself.
void AudioOutput::clockThreadLoop()
{
    using namespace std::chrono;
    const auto period = nanoseconds(m_latencyNs);
    auto next = steady_clock::now();
    std::unique_lock lock(m_clockMutex);
    m_quietSince = steady_clock::now();
    while (!m_clockStopping) {
        if (m_soundWanted.empty()) {
            if (!m_resting && steady_clock::now() - m_quietSince >= restAfter)
                rest();
            if (m_resting) {
                m_clockWake.wait(lock);
                continue;
            }
        } else if (m_resting) {
            wakeFromRest();
            next = steady_clock::now();
        }
        if (m_driver.load() == Driver::Device) {
            m_clockWake.wait_for(lock, watchdogInterval);
            const auto silentFor = nanoseconds(steadyNowNs() - m_lastCallbackNs.load(std::memory_order_relaxed));
            if (!m_clockStopping && !m_resting && m_device && SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_STOPPED) {
                openLostDeviceAgain();
                next = steady_clock::now();
            } else if (!m_clockStopping && !m_resting && silentFor > stallLimit) {
                Log::line(QStringLiteral("Audio output stopped responding, playing silently"));
                m_driver = Driver::WallClock;
                next = steady_clock::now();
            }
            continue;
        }
        next += period;
        m_clockWake.wait_until(lock, next);
        if (m_clockStopping)
            break;
        if (m_driver.load() != Driver::WallClock)
            continue;  // the device took over again
        const auto now = steady_clock::now();
        if (now - next > 10 * period)
            next = now;  // fell far behind (suspended machine): do not race to catch up
        lock.unlock();
        render(m_wallClockBuffer.data(), m_bufferFrames, steadyNowNs());
        lock.lock();
    }
}
