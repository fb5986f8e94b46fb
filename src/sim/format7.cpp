// The Format 7 registers: a mode's inquiry, its image region, colour coding and packet size.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "bcam/driver_contract.h"
#include "platform/win32_errors.h"
#include "sim/frame.h"
#include "sim/registers.h"

namespace sim::detail {

namespace drv = Bcam::driver;
namespace err = fennex::platform::err;

namespace {

std::uint32_t SetFormat7Image(Format7Mode& f7, const std::uint32_t* in) {
    const std::uint32_t left = in[1], top = in[2], width = in[3], height = in[4], mask = in[5];
    if (mask != drv::kF7MaskPosition && mask != drv::kF7MaskSize &&
        mask != (drv::kF7MaskPosition | drv::kF7MaskSize))
        return err::kInvalidParameter;
    Format7Mode next = f7;
    if (mask & drv::kF7MaskPosition) {
        if (left % f7.unitWidth || top % f7.unitHeight || left >= f7.maxWidth ||
            top >= f7.maxHeight)
            return err::kInvalidParameter;
        next.left = left;
        next.top = top;
        // The region keeps inside the sensor: a move cuts the size to what is left.
        next.width = std::min(next.width, f7.maxWidth - left) / f7.unitWidth * f7.unitWidth;
        next.height = std::min(next.height, f7.maxHeight - top) / f7.unitHeight * f7.unitHeight;
    }
    if (mask & drv::kF7MaskSize) {
        if (width == 0 || height == 0 || width % f7.unitWidth || height % f7.unitHeight ||
            width > f7.maxWidth - next.left || height > f7.maxHeight - next.top)
            return err::kInvalidParameter;
        next.width = width;
        next.height = height;
    }
    f7 = next;
    return 0;
}

}  // namespace

Reply AnswerFormat7(CameraDesc& camera, std::uint32_t code, const std::uint32_t* in, std::uint8_t* out) {
    if (in[0] > 7) return Failed(err::kInvalidParameter);
    Format7Mode& f7 = camera.format7[in[0]];
    if (!f7.present) return Failed(kNotSupported);
    switch (code) {
    case drv::kF7Inquiry:
        std::memset(out, 0, 56);
        Words(out, {f7.maxWidth, f7.maxHeight, f7.unitWidth, f7.unitHeight, f7.codings,
                    f7.unitBytes, f7.maxBytes});
        return {0, 56};
    case drv::kF7ImageGet:
        return Words(out, {f7.left, f7.top, f7.width, f7.height});
    case drv::kF7ImageSet:
        return Failed(SetFormat7Image(f7, in));
    case drv::kF7ColorCodingGet:
        return Words(out, {f7.coding});
    case drv::kF7ColorCodingSet:
        if (in[1] > 6 || (f7.codings & (1u << (31 - in[1]))) == 0)
            return Failed(err::kInvalidParameter);
        f7.coding = in[1];
        return {};
    case drv::kF7PacketGet: {
        const std::uint32_t bytes = f7.coding <= 6 ? FrameBytes(f7.width, f7.height, f7.coding) : 0;
        const std::uint32_t packets =
            f7.bytesPerPacket ? (bytes + f7.bytesPerPacket - 1) / f7.bytesPerPacket : 0;
        return Words(out, {f7.unitBytes, f7.maxBytes, f7.width * f7.height, bytes, packets,
                           f7.bytesPerPacket, f7.maxBytes});
    }
    default: {  // kF7BytePerPacketSet
        const std::uint32_t n = in[1];
        if (n < f7.unitBytes || n > f7.maxBytes || n % f7.unitBytes)
            return Failed(err::kInvalidParameter);
        f7.bytesPerPacket = n;
        return {};
    }
    }
}

}  // namespace sim::detail
