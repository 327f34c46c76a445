#include "export/ThumbnailDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cmath>

#include <QFile>
#include <QTransform>

namespace {

struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

// A file whose video stream yields no frame within this many packets is
// treated as undecodable rather than read to its end.
constexpr int kMaxVideoPackets = 300;

// Clockwise rotation (0, 90, 180, 270) the stream's display matrix asks for.
int displayRotation(const AVStream* stream) {
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!data || size < 9 * sizeof(int32_t)) return 0;
    const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(data));
    if (std::isnan(counterClockwise)) return 0;
    const int quarter = static_cast<int>(std::lround(-counterClockwise / 90.0));
    return ((quarter % 4) + 4) % 4 * 90;
}

// Frame size as shown: pixel aspect applied, then the rotation.
QSize displaySize(int width, int height, AVRational sampleAspect, int rotation) {
    double shownWidth = width;
    if (sampleAspect.num > 0 && sampleAspect.den > 0) shownWidth = width * av_q2d(sampleAspect);
    const int w = std::max(1, static_cast<int>(std::lround(shownWidth)));
    return rotation % 180 == 0 ? QSize(w, height) : QSize(height, w);
}

void freeFrameOfImage(void* frame) {
    AVFrame* f = static_cast<AVFrame*>(frame);
    av_frame_free(&f);
}

// Untagged video is read as BT.601, as FFmpeg itself does (its encoders
// convert RGB with that matrix when nothing else is asked for).
int colorspaceOf(const AVFrame* frame) {
    switch (frame->colorspace) {
        case AVCOL_SPC_BT709:
            return SWS_CS_ITU709;
        case AVCOL_SPC_FCC:
            return SWS_CS_FCC;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
            return SWS_CS_ITU601;
        case AVCOL_SPC_SMPTE240M:
            return SWS_CS_SMPTE240M;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return SWS_CS_BT2020;
        default:
            return SWS_CS_DEFAULT;
    }
}

// Scales the frame straight to the thumbnail size, so a 4K frame is never
// converted at full size first. The returned image owns the scaled buffer.
QImage scaleFrame(const AVFrame* frame, const QSize& size) {
    ScalerPtr scaler(sws_alloc_context());
    if (!scaler) return {};
    SwsContext* s = scaler.get();
    av_opt_set_int(s, "srcw", frame->width, 0);
    av_opt_set_int(s, "srch", frame->height, 0);
    av_opt_set_int(s, "src_format", frame->format, 0);
    av_opt_set_int(s, "dstw", size.width(), 0);
    av_opt_set_int(s, "dsth", size.height(), 0);
    av_opt_set_int(s, "dst_format", AV_PIX_FMT_RGB0, 0);
    av_opt_set_int(s, "sws_flags", SWS_BILINEAR, 0);
    av_opt_set_int(s, "threads", 0, 0);
    if (sws_init_context(s, nullptr, nullptr) < 0) return {};

    int* inverse = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(s, &inverse, &srcRange, &table, &dstRange, &brightness, &contrast,
                                 &saturation) >= 0) {
        if (frame->color_range == AVCOL_RANGE_JPEG) srcRange = 1;
        if (frame->color_range == AVCOL_RANGE_MPEG) srcRange = 0;
        const int* coefficients = sws_getCoefficients(colorspaceOf(frame));
        sws_setColorspaceDetails(s, coefficients, srcRange, table, 1, brightness, contrast,
                                 saturation);
    }

    FramePtr scaled(av_frame_alloc());
    if (!scaled) return {};
    scaled->width = size.width();
    scaled->height = size.height();
    scaled->format = AV_PIX_FMT_RGB0;
    if (av_frame_get_buffer(scaled.get(), 64) < 0) return {};
    if (sws_scale_frame(s, scaled.get(), frame) < 0) return {};

    AVFrame* owned = scaled.release();
    return QImage(owned->data[0], owned->width, owned->height, owned->linesize[0],
                  QImage::Format_RGBX8888, freeFrameOfImage, owned);
}

}  // namespace

void ThumbnailDecoder::FormatCloser::operator()(AVFormatContext* context) const {
    avformat_close_input(&context);
}

ThumbnailDecoder::ThumbnailDecoder(const QString& path) {
    // A container must not make us read anything but local files (playlists,
    // concat lists and references could otherwise reach the network).
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // The explicit protocol keeps a path like "concat:a|b" a file name.
    const QByteArray url = "file:" + QFile::encodeName(path);
    AVFormatContext* context = nullptr;
    const int result = avformat_open_input(&context, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) return;  // FFmpeg frees the context on failure
    format_.reset(context);
}

ThumbnailDecoder::~ThumbnailDecoder() = default;

QImage ThumbnailDecoder::artwork() const {
    if (!format_) return {};
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const AVStream* stream = format_->streams[i];
        if (!(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        const AVPacket& picture = stream->attached_pic;
        if (!picture.data || picture.size <= 0) continue;
        QImage image = QImage::fromData(picture.data, picture.size);
        if (!image.isNull()) return image;
    }
    return {};
}

int ThumbnailDecoder::videoStreamIndex() {
    auto find = [this]() {
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            const AVStream* stream = format_->streams[i];
            if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
            if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
            return static_cast<int>(i);
        }
        return -1;
    };
    int index = find();
    // Probing the streams decodes frames, so it is done only when the
    // container's header does not already tell the codec and picture size.
    const bool incomplete =
        index < 0 ? (format_->ctx_flags & AVFMTCTX_NOHEADER) != 0
                  : (format_->streams[index]->codecpar->codec_id == AV_CODEC_ID_NONE ||
                     format_->streams[index]->codecpar->width <= 0 ||
                     format_->streams[index]->codecpar->height <= 0);
    if (incomplete && !streamInfoRead_) {
        streamInfoRead_ = true;
        if (avformat_find_stream_info(format_.get(), nullptr) < 0) return -1;
        index = find();
    }
    return index;
}

QImage ThumbnailDecoder::firstVideoFrame(const SizeFunction& sizeFor) {
    if (!format_) return {};
    const int index = videoStreamIndex();
    if (index < 0) return {};
    AVStream* stream = format_->streams[index];
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != index) format_->streams[i]->discard = AVDISCARD_ALL;

    const AVCodecParameters* parameters = stream->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) return {};
    CodecPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), parameters) < 0) return {};
    // One frame is wanted: frame threading would only delay it, slices help.
    decoder->thread_count = 0;
    decoder->thread_type = FF_THREAD_SLICE;

    const int rotation = displayRotation(stream);
    const AVRational streamAspect = stream->sample_aspect_ratio.num > 0
                                        ? stream->sample_aspect_ratio
                                        : parameters->sample_aspect_ratio;
    // Codecs that can decode at a fraction of the size do so, as long as the
    // result still covers the thumbnail.
    const QSize planned =
        sizeFor(displaySize(parameters->width, parameters->height, streamAspect, rotation));
    if (codec->max_lowres > 0 && planned.isValid()) {
        const QSize inStream = rotation % 180 == 0 ? planned : planned.transposed();
        int lowres = 0;
        while (lowres < codec->max_lowres &&
               (parameters->width >> (lowres + 1)) >= inStream.width() &&
               (parameters->height >> (lowres + 1)) >= inStream.height())
            ++lowres;
        decoder->lowres = lowres;
    }
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return {};

    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) return {};

    bool gotFrame = false;
    bool draining = false;
    int packets = 0;
    while (!gotFrame) {
        int result = avcodec_receive_frame(decoder.get(), frame.get());
        if (result == 0) {
            // A frame decoded from damaged data would show garbage.
            if ((frame->flags & AV_FRAME_FLAG_CORRUPT) || frame->decode_error_flags) {
                av_frame_unref(frame.get());
                continue;
            }
            gotFrame = true;
            break;
        }
        if (result != AVERROR(EAGAIN) || draining) break;
        if (packets >= kMaxVideoPackets) break;
        result = av_read_frame(format_.get(), packet.get());
        if (result < 0) {
            draining = true;
            if (avcodec_send_packet(decoder.get(), nullptr) < 0) break;
            continue;
        }
        if (packet->stream_index == index) {
            ++packets;
            // A packet cut short by the end of the file is not decoded; an
            // error of one packet leaves the next ones a chance.
            if (!(packet->flags & AV_PKT_FLAG_CORRUPT))
                avcodec_send_packet(decoder.get(), packet.get());
        }
        av_packet_unref(packet.get());
    }
    if (!gotFrame || frame->width <= 0 || frame->height <= 0) return {};

    // The size before lowres decoding gives the exact aspect.
    int width = frame->width, height = frame->height;
    if (decoder->lowres > 0 && AV_CEIL_RSHIFT(parameters->width, decoder->lowres) == width &&
        AV_CEIL_RSHIFT(parameters->height, decoder->lowres) == height) {
        width = parameters->width;
        height = parameters->height;
    }
    const AVRational aspect = av_guess_sample_aspect_ratio(format_.get(), stream, frame.get());
    const QSize target = sizeFor(displaySize(width, height, aspect, rotation));
    if (target.width() <= 0 || target.height() <= 0) return {};
    const QSize scaledSize = rotation % 180 == 0 ? target : target.transposed();
    QImage image = scaleFrame(frame.get(), scaledSize);
    if (image.isNull() || rotation == 0) return image;
    return image.transformed(QTransform().rotate(rotation));
}
