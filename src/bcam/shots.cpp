#include "bcam/shots.h"

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "errors/exception.h"
#include "platform/last_error.h"
#include "platform/win32_errors.h"

namespace Bcam {

void COneShot::SetAsync(void* context) {
    // The record belongs to us until the driver has accepted the request.
    BcamOLPtr record{CBcam::GetBcamOL(kFunctionOneShot, context)};
    const driver::ShotIn in{driver::kShotOne, 0};
    if (!m_Bcam.TransmitAsync(driver::kShot, &in, sizeof in, nullptr, 0, record.get())) {
        const std::uint32_t error = fennex::platform::LastError();
        if (error != fennex::platform::err::kIoPending)
            throw BcamException(error, "CBcam::COneShot::SetAsync()");
    }
    record.release();
}

CContinuousShot& CContinuousShot::operator=(bool on) {
    const driver::ShotIn in{on ? driver::kShotContinuous : driver::kShotStop, 0};
    m_Bcam.Transmit("CBcam::CContinuousShot::operator=()", driver::kShot, &in, sizeof in, nullptr, 0);
    return *this;
}

}  // namespace Bcam
