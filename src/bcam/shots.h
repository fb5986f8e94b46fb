// The shot members of CBcam: one frame on request, or continuous delivery.
#pragma once

namespace Bcam {

class CBcam;

class COneShot {
public:
    explicit COneShot(CBcam& owner) : m_Bcam(owner) {}
    COneShot(const COneShot&) = delete;
    COneShot& operator=(const COneShot&) = delete;

    // Asks for one frame without waiting; the request's completion comes out of
    // CBcam::WaitForCompletion with function code 22 and `context`.
    void SetAsync(void* context = nullptr);

private:
    CBcam& m_Bcam;
};

class CContinuousShot {
public:
    explicit CContinuousShot(CBcam& owner) : m_Bcam(owner) {}
    CContinuousShot(const CContinuousShot&) = delete;

    // Starts (true) or stops (false) continuous image delivery; synchronous.
    CContinuousShot& operator=(bool on);

private:
    CBcam& m_Bcam;
};

}  // namespace Bcam
