#include "bcam/format_seven.h"

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "errors/error_codes.h"
#include "errors/exception.h"

namespace Bcam {

namespace {

driver::F7ImageOut ReadImage(CBcam& device, std::uint32_t mode, const char* context) {
    const driver::F7ModeIn in{mode};
    driver::F7ImageOut out{};
    device.Transmit(context, driver::kF7ImageGet, &in, sizeof in, &out, sizeof out);
    return out;
}

void WriteImage(CBcam& device, const driver::F7ImageSetIn& in, const char* context) {
    device.Transmit(context, driver::kF7ImageSet, &in, sizeof in, nullptr, 0);
}

}  // namespace

CFormatSeven::CFormatSeven(CBcam& device, std::uint32_t mode)
    : m_Mode(mode), m_pBcam(&device), ImagePosition(*this), ImageSize(*this), ColorCoding(*this),
      BytePerPacket(*this) {}

CSize CFormatSeven::MaxSize() {
    const driver::F7ModeIn in{m_Mode};
    driver::F7InquiryOut out{};
    m_pBcam->Transmit("CBcam::FormatSeven::MaxSize()", driver::kF7Inquiry, &in, sizeof in, &out,
                      sizeof out);
    return {out.words[0], out.words[1]};
}

void CFormatSeven::Save(CPropertyBagPtr bag) {
    bag->WriteLong("BytePerPacket", static_cast<std::int32_t>(BytePerPacket()));
    bag->WriteLong("ColorCoding", static_cast<std::int32_t>(ColorCoding()));
    const CPoint position = ImagePosition();
    const CSize size = ImageSize();
    bag->WriteLong("Pos_x", static_cast<std::int32_t>(position.x));
    bag->WriteLong("Pos_y", static_cast<std::int32_t>(position.y));
    bag->WriteLong("Size_cx", static_cast<std::int32_t>(size.cx));
    bag->WriteLong("Size_cy", static_cast<std::int32_t>(size.cy));
}

void CFormatSeven::Restore(CPropertyBagPtr bag) {
    BytePerPacket = static_cast<std::uint32_t>(bag->ReadLong("BytePerPacket"));
    ColorCoding = static_cast<std::uint32_t>(bag->ReadLong("ColorCoding"));
    CPoint position;
    position.y = static_cast<std::uint32_t>(bag->ReadLong("Pos_y"));
    position.x = static_cast<std::uint32_t>(bag->ReadLong("Pos_x"));
    ImagePosition = position;
    CSize size;
    size.cy = static_cast<std::uint32_t>(bag->ReadLong("Size_cy"));
    size.cx = static_cast<std::uint32_t>(bag->ReadLong("Size_cx"));
    ImageSize = size;
}

CPoint CFormatSeven::CImagePosition::operator()() {
    const driver::F7ImageOut image = ReadImage(*m_Owner.m_pBcam, m_Owner.m_Mode,
                                               "CBcam::FormatSeven::CImagePosition::operator()()");
    return {image.left, image.top};
}

CFormatSeven::CImagePosition& CFormatSeven::CImagePosition::operator=(CPoint position) {
    WriteImage(*m_Owner.m_pBcam,
               {m_Owner.m_Mode, position.x, position.y, 0, 0, driver::kF7MaskPosition},
               "CBcam::FormatSeven::CImagePosition::operator=()");
    return *this;
}

CSize CFormatSeven::CImageSize::operator()() {
    const driver::F7ImageOut image = ReadImage(*m_Owner.m_pBcam, m_Owner.m_Mode,
                                               "CBcam::FormatSeven::CImageSize::operator()()");
    return {image.width, image.height};
}

CFormatSeven::CImageSize& CFormatSeven::CImageSize::operator=(CSize size) {
    WriteImage(*m_Owner.m_pBcam, {m_Owner.m_Mode, 0, 0, size.cx, size.cy, driver::kF7MaskSize},
               "CBcam::FormatSeven::CImageSize::operator=()");
    return *this;
}

std::uint32_t CFormatSeven::CColorCoding::operator()() {
    const driver::F7ModeIn in{m_Owner.m_Mode};
    std::uint32_t id = 0;
    m_Owner.m_pBcam->Transmit("CBcam::FormatSeven::CColorCoding::operator()()",
                              driver::kF7ColorCodingGet, &in, sizeof in, &id, sizeof id);
    if (id > 6)
        throw BcamException(codes::kBadColorCoding, "CBcam::FormatSeven::ColorCoding::operator()",
                            {static_cast<std::uintptr_t>(id)});
    return id;
}

CFormatSeven::CColorCoding& CFormatSeven::CColorCoding::operator=(std::uint32_t id) {
    const driver::F7ColorCodingSetIn in{m_Owner.m_Mode, id};
    m_Owner.m_pBcam->Transmit("CBcam::FormatSeven::CColorCoding::operator=()",
                              driver::kF7ColorCodingSet, &in, sizeof in, nullptr, 0);
    return *this;
}

std::uint32_t CFormatSeven::CBytePerPacket::operator()() {
    const driver::F7ModeIn in{m_Owner.m_Mode};
    driver::F7PacketOut out{};
    m_Owner.m_pBcam->Transmit("CBcam::CFormatSeven::CBytePerPacket::operator()()",
                              driver::kF7PacketGet, &in, sizeof in, &out, sizeof out);
    return out.words[5];
}

CFormatSeven::CBytePerPacket& CFormatSeven::CBytePerPacket::operator=(std::uint32_t bytes) {
    const driver::F7BytePerPacketSetIn in{m_Owner.m_Mode, bytes};
    m_Owner.m_pBcam->Transmit("CBcam::FormatSeven::CBytePerPacket::operator=()",
                              driver::kF7BytePerPacketSet, &in, sizeof in, nullptr, 0);
    return *this;
}

CFormatSevenModes::CFormatSevenModes(CBcam& device)
    : m_Modes{{device, 0}, {device, 1}, {device, 2}, {device, 3},
              {device, 4}, {device, 5}, {device, 6}, {device, 7}} {}

CFormatSeven& CFormatSevenModes::operator[](std::uint32_t mode) {
    if (mode >= kModeCount)
        throw BcamException(codes::kBadVideoMode, "Mode not defined",
                            {static_cast<std::uintptr_t>(mode)});
    return m_Modes[mode];
}

}  // namespace Bcam
