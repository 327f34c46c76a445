#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

#include "appleevents/AEDesc.h"

// Frames that carry Apple events between the editor and the agent over a
// stream socket (see docs/apple-events.md). Every length is checked against
// the bytes that are really there before anything is allocated, and nesting
// is bounded, so hostile input is refused without deep recursion or large
// allocations.
class AEWireFormat {
  public:
    enum class FrameKind : quint16 { Event = 1, Reply = 2 };
    enum class Status { NeedMore, Frame, Malformed };

    static constexpr quint32 kMagic = AECodes::fourCC("RDAE");
    static constexpr quint16 kVersion = 1;
    static constexpr int kHeaderSize = 12;
    static constexpr quint32 kMaxPayload = 16u * 1024 * 1024;
    static constexpr int kMaxDepth = 32;

    // A whole frame; nothing when the descriptor nests deeper than kMaxDepth
    // or encodes to more than kMaxPayload bytes.
    static std::optional<QByteArray> encodeFrame(FrameKind kind, const AEDesc& event);
    static std::optional<QByteArray> encodeDescriptor(const AEDesc& desc);
    // Decodes one descriptor that must fill the bytes exactly.
    static std::optional<AEDesc> decodeDescriptor(const QByteArray& bytes,
                                                  QString* error = nullptr);

    // Takes the first complete frame off the front of buffer. NeedMore leaves
    // the buffer alone; Malformed means the stream cannot be trusted any more
    // (the caller closes it) and error says why. A frame's payload must be
    // one Apple event.
    static Status takeFrame(QByteArray& buffer, FrameKind* kind, AEDesc* event,
                            QString* error = nullptr);
};
