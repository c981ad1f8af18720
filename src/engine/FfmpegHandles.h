#pragma once

#include <QString>

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

// Owning handles for the FFmpeg objects the decoder uses; each frees its
// object the way FFmpeg asks for.
namespace Ffmpeg {

struct FormatCloser {
    void operator()(AVFormatContext* context) const noexcept { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const noexcept { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const noexcept { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const noexcept { swr_free(&context); }
};
struct DictionaryFreer {
    void operator()(AVDictionary* dictionary) const noexcept { av_dict_free(&dictionary); }
};

using FormatHandle = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecHandle = std::unique_ptr<AVCodecContext, CodecFreer>;
using PacketHandle = std::unique_ptr<AVPacket, PacketFreer>;
using FrameHandle = std::unique_ptr<AVFrame, FrameFreer>;
using ResamplerHandle = std::unique_ptr<SwrContext, ResamplerFreer>;
using DictionaryHandle = std::unique_ptr<AVDictionary, DictionaryFreer>;

// FFmpeg's own wording for an error code ("Invalid data found when processing input").
QString errorText(int errorCode);

}  // namespace Ffmpeg
