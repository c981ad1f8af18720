// Interim player: opens and probes the file for real, keeps a wall-clock
// position and produces no sound. The decoding and output engine replaces it.
#include "engine/FilePlayer.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

struct FilePlayer::Impl {
    double durationSeconds = 0;
    double positionAtStart = 0;
    std::chrono::steady_clock::time_point startedAt;
    bool playing = false;
    bool reachedEnd = false;
    float gain = 1.0f;

    double position() const
    {
        if (!playing)
            return positionAtStart;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
        return std::min(durationSeconds, positionAtStart + elapsed);
    }
};

std::unique_ptr<FilePlayer> FilePlayer::load(const QUrl& fileUrl, QString* errorDescription)
{
    auto fail = [&](const QString& reason) -> std::unique_ptr<FilePlayer> {
        if (errorDescription)
            *errorDescription = reason;
        return nullptr;
    };
    if (!fileUrl.isLocalFile())
        return fail(QStringLiteral("%1: not a local file").arg(fileUrl.toString()));
    const QString path = fileUrl.toLocalFile();
    AVFormatContext* format = nullptr;
    int status = avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr);
    if (status >= 0)
        status = avformat_find_stream_info(format, nullptr);
    if (status >= 0)
        status = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    double duration = 0;
    if (status >= 0 && format->duration > 0)
        duration = double(format->duration) / AV_TIME_BASE;
    avformat_close_input(&format);
    if (status < 0) {
        char reason[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(status, reason, sizeof reason);
        return fail(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(reason)));
    }
    auto impl = std::make_unique<Impl>();
    impl->durationSeconds = duration;
    return std::unique_ptr<FilePlayer>(new FilePlayer(std::move(impl)));
}

FilePlayer::FilePlayer(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

FilePlayer::~FilePlayer() = default;

void FilePlayer::play()
{
    if (m_impl->playing)
        return;
    m_impl->startedAt = std::chrono::steady_clock::now();
    m_impl->playing = true;
}

void FilePlayer::pause()
{
    m_impl->positionAtStart = m_impl->position();
    m_impl->playing = false;
}

bool FilePlayer::isPlaying() const
{
    return m_impl->playing && m_impl->position() < m_impl->durationSeconds;
}

double FilePlayer::currentTime() const
{
    return m_impl->position();
}

void FilePlayer::setCurrentTime(double seconds)
{
    m_impl->positionAtStart = std::clamp(std::isnan(seconds) ? 0.0 : seconds, 0.0, m_impl->durationSeconds);
    m_impl->startedAt = std::chrono::steady_clock::now();
    m_impl->reachedEnd = false;
}

double FilePlayer::duration() const
{
    return m_impl->durationSeconds;
}

float FilePlayer::volume() const
{
    return m_impl->gain;
}

void FilePlayer::setVolume(float gain)
{
    m_impl->gain = gain;
}

bool FilePlayer::hasReachedEnd() const
{
    return m_impl->playing && m_impl->position() >= m_impl->durationSeconds;
}
