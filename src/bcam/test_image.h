// The camera's test images: up to seven pictures it can send in place of the live image.
#pragma once

#include <cstdint>

#include "settings/property_bag.h"

namespace Bcam {

class CBcam;

class CTestImage {
public:
    explicit CTestImage(CBcam& device) : m_pBcam(&device) {}
    CTestImage(const CTestImage&) = delete;
    CTestImage& operator=(const CTestImage&) = delete;

    // Image 0 is the live image, 1..7 the test images. Outside 0..7 raises 0xCFF00005 before
    // any request. A driver or camera without test images gives false, not an error.
    bool IsSupported(int image);
    // Selects an available image; otherwise raises 0xCFF0000E and writes nothing.
    CTestImage& operator=(int image);
    // The selected image.
    int operator()();

    void Save(CPropertyBagPtr bag);
    void Restore(CPropertyBagPtr bag);

private:
    CBcam* m_pBcam;
};

}  // namespace Bcam
