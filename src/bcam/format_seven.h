// Format 7, the scalable image format: region of interest, colour coding and packet size of
// each of the eight Format 7 modes. Values are sent as given; the driver and the camera refuse
// what they cannot do.
#pragma once

#include <cstdint>

#include "settings/property_bag.h"

namespace Bcam {

class CBcam;

struct CPoint {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    friend bool operator==(const CPoint&, const CPoint&) = default;
};

struct CSize {
    std::uint32_t cx = 0;
    std::uint32_t cy = 0;
    friend bool operator==(const CSize&, const CSize&) = default;
};

class CFormatSeven {
public:
    class CImagePosition {
    public:
        explicit CImagePosition(const CFormatSeven& owner) : m_Owner(owner) {}
        CImagePosition(const CImagePosition&) = delete;
        CImagePosition& operator=(const CImagePosition&) = delete;

        CPoint operator()();
        CImagePosition& operator=(CPoint position);

    private:
        const CFormatSeven& m_Owner;
    };

    class CImageSize {
    public:
        explicit CImageSize(const CFormatSeven& owner) : m_Owner(owner) {}
        CImageSize(const CImageSize&) = delete;
        CImageSize& operator=(const CImageSize&) = delete;

        CSize operator()();
        CImageSize& operator=(CSize size);

    private:
        const CFormatSeven& m_Owner;
    };

    // IIDC colour coding ID: 0 Mono8, 1 YUV 4:1:1, 2 YUV 4:2:2, 3 YUV 4:4:4, 4 RGB8, 5 Mono16,
    // 6 RGB16. A read outside 0..6 raises 0xCFF0000D.
    class CColorCoding {
    public:
        explicit CColorCoding(const CFormatSeven& owner) : m_Owner(owner) {}
        CColorCoding(const CColorCoding&) = delete;
        CColorCoding& operator=(const CColorCoding&) = delete;

        std::uint32_t operator()();
        CColorCoding& operator=(std::uint32_t id);

    private:
        const CFormatSeven& m_Owner;
    };

    class CBytePerPacket {
    public:
        explicit CBytePerPacket(const CFormatSeven& owner) : m_Owner(owner) {}
        CBytePerPacket(const CBytePerPacket&) = delete;
        CBytePerPacket& operator=(const CBytePerPacket&) = delete;

        std::uint32_t operator()();
        CBytePerPacket& operator=(std::uint32_t bytes);

    private:
        const CFormatSeven& m_Owner;
    };

    CFormatSeven(CBcam& device, std::uint32_t mode);
    CFormatSeven(const CFormatSeven&) = delete;
    CFormatSeven& operator=(const CFormatSeven&) = delete;

    // Maximum width and height of the mode.
    CSize MaxSize();

    // Packet size and colour coding go to the camera before the region, the position before
    // the size.
    void Save(CPropertyBagPtr bag);
    void Restore(CPropertyBagPtr bag);

    std::uint32_t ModeNumber() const { return m_Mode; }

private:
    friend class CImagePosition;
    friend class CImageSize;
    friend class CColorCoding;
    friend class CBytePerPacket;

    std::uint32_t m_Mode;
    CBcam* m_pBcam;

public:
    CImagePosition ImagePosition;
    CImageSize ImageSize;
    CColorCoding ColorCoding;
    CBytePerPacket BytePerPacket;
};

// The eight Format 7 modes, indexed by mode number.
class CFormatSevenModes {
public:
    explicit CFormatSevenModes(CBcam& device);
    CFormatSevenModes(const CFormatSevenModes&) = delete;
    CFormatSevenModes& operator=(const CFormatSevenModes&) = delete;

    // A mode above 7 raises 0xCFF00007 ("Mode not defined").
    CFormatSeven& operator[](std::uint32_t mode);

    static constexpr std::uint32_t kModeCount = 8;

private:
    CFormatSeven m_Modes[kModeCount];
};

}  // namespace Bcam
