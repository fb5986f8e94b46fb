// The feature members of CBcam: one unit per feature family.
#pragma once

#include "bcam/driver_contract.h"
#include "bcam/feature_request.h"
#include "bcam/format_seven.h"
#include "bcam/info.h"
#include "bcam/scalar_property.h"
#include "bcam/test_image.h"
#include "bcam/trigger.h"
#include "bcam/white_balance.h"
