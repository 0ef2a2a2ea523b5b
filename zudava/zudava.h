// Everything the zudava library offers.
#pragma once

#include "zudava/Export.h"
#include "zudava/foundation/Text.h"
#include "zudava/foundation/WmiException.h"
#include "zudava/wmi/WmiArray.h"
#include "zudava/wmi/WmiDateTime.h"
#include "zudava/wmi/WmiType.h"
#include "zudava/wmi/WmiValue.h"
