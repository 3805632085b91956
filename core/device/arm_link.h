#pragma once
// The link to the controller over one open device: byte operations, packet receive and the
// controller's commands. It borrows the caller's handle and never closes it.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"
#include "core/device/device_list.h"
#include "core/device/packet.h"
#include "core/device/timeout_exception.h"
#include "core/device/timeouts.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

enum class ResponseType : std::uint8_t { FAILED = 0, SUCCESS = 1, BAD_CHECKSUM = 2, TIMED_OUT = 3 };

// What the answer to a set command says about the record sent.
enum class SetAnswer : std::uint8_t {
    Accepted,        // the controller's reply begins with the command's own number
    Refused,         // a readable reply that begins with another byte: nothing was stored
    NotAcknowledged, // the bridge answered FAILED or BAD_CHECKSUM: the controller never got it
    Unreadable,      // the acknowledge or the reply could not be read: whether the controller
                     // stored the record is not known, only a read-back can tell
};

struct SetReply {
    SetAnswer answer = SetAnswer::Unreadable;
    // NotAcknowledged: the acknowledge ("ResponseType::FAILED"); Unreadable: what could not be
    // read; empty otherwise.
    std::string detail;
};

struct FirmwareVersion {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    bool valid = false;
};

class ArmLink {
public:
    // How long the link waits for an acknowledge or a reply.
    static constexpr std::uint32_t REPLY_TIMEOUT_MS = timeouts::REPLY_MS;

    explicit ArmLink(DeviceHandle& handle)
        : handle_(handle), quietWindow_(timeouts::quietWindow(handle.timing())) {}

    // Shorten the waits of acknowledge and packet receive (tests of silent devices).
    void setReplyTimeout(std::uint32_t timeoutMs) { replyTimeoutMs_ = timeoutMs; }
    // Replace the quiet window that ends a flush, a drain or the bridge's status answer, which
    // otherwise follows the line (timeouts::quietWindow): tests and fuzzing, where every byte
    // is queued at once and waiting for more only wastes time. The drain after a failed exchange
    // waits timeouts::DRAIN_MARGIN longer than this.
    void setQuietWindow(std::chrono::microseconds window) { quietWindow_ = window; }
    std::chrono::microseconds quietWindow() const { return quietWindow_; }

    // Byte operations. write/read return the byte count, or -1 when the driver call fails.
    std::int32_t write(const std::uint8_t* data, std::uint32_t length);
    std::int32_t read(std::uint8_t* buffer, std::uint32_t count);
    // True as soon as count bytes are queued; timeout_exception when they are not there
    // within timeoutMs (on a steady clock). A device that is gone throws std::runtime_error.
    bool waitForBytes(std::uint32_t count, std::uint32_t timeoutMs);
    // Empty the receive queue: read until the line has been quiet for the quiet window.
    // Bytes that come later than that (the late reply of an exchange a killed program left
    // behind) are read through by the next command, which resynchronises on its acknowledge.
    void flush();
    // Whatever arrives from now on, until the line has been quiet for the quiet window after
    // the first byte (longer by timeouts::TEXT_MARGIN while what came does not end a line), at
    // most capacity bytes and at most limitMs in all. Returns the count received.
    std::uint32_t readUntilQuiet(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t limitMs);

    // Receive one controller packet into buffer (capacity bytes, ARM_BUFFER_SIZE by the
    // commands). Returns the payload length, 0 on a CRC failure or a refused reply.
    std::uint32_t getARM_Message(std::uint8_t* buffer, std::size_t capacity = ARM_BUFFER_SIZE);
    // Frame payload as a bridge frame of the given type and write it; returns write's result.
    std::int32_t sendMessage(messageType type, const std::uint8_t* payload, std::size_t length);
    ResponseType acknowledge(std::uint8_t type);

    FirmwareVersion ARM_getVersion();
    // The reading commands throw std::runtime_error when they cannot hand back a record
    // received intact (acknowledge not SUCCESS, bad CRC, short reply, wrong signature).
    MCConfiguration ARM_getMCConfig();
    MCConfiguration ARM_getDefaultMCConfig();
    APPConfiguration ARM_getAppConfig();
    APPConfiguration ARM_getDefaultAppConfig();
    // True only when the set was accepted (SetAnswer::Accepted).
    bool ARM_setMCConfig(const MCConfiguration& record);
    bool ARM_setAppConfig(const APPConfiguration& record);
    // The same commands, telling what their answer says. A controller that stays silent after
    // the bridge's acknowledge still throws timeout_exception.
    SetReply setMCConfig(const MCConfiguration& record);
    SetReply setAppConfig(const APPConfiguration& record);

private:
    // Silent: not one byte of the reply arrived (only seen when the receive throws).
    enum class Receipt : std::uint8_t { Intact, BadCrc, Malformed, TooLong, Silent };

    // The acknowledge bytes as they were read: count of them, at most three.
    struct AckSeen {
        protocol::Acknowledge bytes{};
        std::size_t count = 0;
    };
    ResponseType takeAcknowledge(std::uint8_t type, AckSeen& seen);

    // getARM_Message with the reason of a failure and the payload length the packet declared.
    std::uint32_t receivePacket(std::uint8_t* buffer, std::size_t capacity, Receipt& receipt,
                                std::uint32_t* declaredLength = nullptr);
    // A reply as receivePacket left it: its length, the payload length it declared and how it
    // arrived.
    struct Reply {
        std::uint32_t length = 0;
        std::uint32_t declared = 0;
        Receipt receipt = Receipt::Silent;
    };
    // After the acknowledge of command's exchange: while it is SUCCESS, receive the reply into
    // buffer, and on an unsettled line read through the late acknowledges and replies of
    // earlier exchanges (at most MAX_LATE_REPLIES) to this command's own. Returns the
    // acknowledge that counted; the reply is filled when it is SUCCESS. receivePacket's
    // timeout_exception passes through, with reply.receipt telling how far the reply came.
    ResponseType receiveOwnReply(std::uint8_t command, ResponseType acknowledged, AckSeen& seen,
                                 std::uint8_t* buffer, std::size_t capacity, Reply& reply);
    // What the acknowledge and the reply to a set command say; on an unsettled line, past the
    // late answers of earlier exchanges.
    SetReply setAnswer(std::uint8_t command, ResponseType acknowledged, AckSeen& seen, std::uint8_t* buffer);
    // Before a command's frame goes out: on a line that is not known to be clean (just opened,
    // or after a failed exchange) drop what is queued and read this exchange's answers through
    // whatever else arrives; count this exchange as failed until its reply is taken.
    void beginExchange();
    // On an unsettled line: the acknowledge, past stray bytes and late replies of earlier
    // exchanges.
    ResponseType resynchronisedAcknowledge(std::uint8_t type, AckSeen& seen);
    // Whether count bytes are queued before the deadline while the line keeps bringing more.
    bool arriveWhileStreaming(std::uint32_t count, std::chrono::steady_clock::time_point deadline);
    // The acknowledge's three bytes as a result, with its log line.
    static ResponseType classifyAcknowledge(const AckSeen& seen, std::uint8_t type);
    // Whether an intact reply to command belongs to an earlier exchange instead: on an
    // unsettled line, a reply that carries another command's number.
    bool isLateReply(std::uint8_t command, const std::uint8_t* reply, std::uint32_t length,
                     Receipt receipt) const;
    // Frame a controller packet as ARM_MESSAGE, write it and read the acknowledge.
    ResponseType exchange(const std::uint8_t* packet, std::size_t length, AckSeen& seen);
    // The reply payload of a reading command (command byte first); throws std::runtime_error
    // when it cannot hand back recordSize intact bytes after the command byte.
    std::uint32_t readRecordReply(std::uint8_t command, std::uint8_t* buffer, std::size_t recordSize,
                                  std::uint32_t signature, const char* recordName);
    void drain(std::size_t count);
    // Read and drop what is queued and whatever follows without a pause of window; returns the
    // number of bytes dropped.
    std::size_t discardUntilQuiet(std::chrono::microseconds window);
    // Waits for count bytes until the deadline; the number queued. Throws std::runtime_error
    // when the device is gone.
    std::uint32_t waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline);

    DeviceHandle& handle_;
    std::uint32_t replyTimeoutMs_ = REPLY_TIMEOUT_MS;
    std::chrono::microseconds quietWindow_;
    // This exchange began on an unsettled line: its answers are read through stray bytes.
    bool resyncing_ = false;
    // How many late replies one command reads through before it gives up on its own.
    static constexpr int MAX_LATE_REPLIES = 4;
};
